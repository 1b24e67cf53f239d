#pragma once
// The look and the language of Qt's own parts of the program, the same on every desktop.

#include <QString>

class QCoreApplication;

namespace quill {

// Qt's own texts (the font and colour dialogs, the edit fields' menus) in German whatever the
// user's locale, since the program speaks German throughout. False when Qt's German
// translation is not installed: those texts then stay English.
bool installGermanQtTexts(QCoreApplication& app);

// Where Qt's German translation is looked for.
QString qtTranslationsFolder();

// The widget style the fixed layout was measured in. A desktop's own style (other indicator
// sizes and margins) would cut captions that fit here.
void useLayoutStyle();

} // namespace quill
