#include "controls/Modal.h"

#include <utility>

namespace quill {
namespace {

DialogRunner& currentRunner() {
    static DialogRunner runner;
    return runner;
}

} // namespace

int execDialog(QDialog& dialog) {
    DialogRunner runner = currentRunner();
    if (runner) {
        return runner(dialog);
    }
    return dialog.exec();
}

DialogRunner setDialogRunner(DialogRunner runner) {
    return std::exchange(currentRunner(), std::move(runner));
}

} // namespace quill
