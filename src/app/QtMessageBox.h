#pragma once

namespace quill {

// Makes every message box of the program a real modal QMessageBox.
void installQtMessageBoxes();

} // namespace quill
