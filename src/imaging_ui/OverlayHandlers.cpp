#include "imaging_ui/OverlayHandlers.h"

#include "controls/Modal.h"
#include "imaging_ui/Unit2.h"
#include "platform/Fonts.h"

#include <QColorDialog>
#include <QFontDialog>
#include <QWidget>

namespace quill {

OverlayHandlers::OverlayHandlers(TForm2* form2, QWidget* dialogParent)
    : form2_(form2), dialogParent_(dialogParent), overlayFont_(defaultOverlaySettings().font),
      overlayColor_(defaultOverlaySettings().color), fontDialogFont_(uiFont(11)),
      colorDialogColor_(Qt::black) {}

void OverlayHandlers::Button3Click() {
    // The overlay colour is kept apart from the font, so no colour picked here can replace it.
    QFontDialog dialog(fontDialogFont_, dialogParent_);
    if (execDialog(dialog) == QDialog::Accepted) {
        fontDialogFont_ = dialog.currentFont();
    }
    overlayFont_ = fontDialogFont_;
}

void OverlayHandlers::Button4Click() {
    QColorDialog dialog(colorDialogColor_, dialogParent_);
    if (execDialog(dialog) == QDialog::Accepted) {
        colorDialogColor_ = dialog.currentColor();
    }
    overlayColor_ = colorDialogColor_;
}

void OverlayHandlers::Button5Click() {
    // A dialog with a parent is centred on it by Qt; one made without is centred here.
    if (dialogParent_ && !form2_->parentWidget()) {
        form2_->move(dialogParent_->geometry().center() - form2_->rect().center());
    }
    execDialog(*form2_);
}

OverlaySettings OverlayHandlers::settings() const {
    return {form2_->overlayText(), overlayFont_, overlayColor_};
}

bool OverlayHandlers::useOverlay() const {
    return form2_->useOverlay();
}

} // namespace quill
