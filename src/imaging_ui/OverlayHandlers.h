#pragma once
// The main window's handlers for the text overlay: "Text Font", "Text Farbe" and "Text". They
// keep the overlay font and colour; the text and the use flag live in the "Text Eingabe" dialog.

#include "imaging/Overlay.h"

#include <QColor>
#include <QFont>

class QWidget;

namespace quill {

class TForm2;

class OverlayHandlers {
public:
    // `dialogParent` (the main window) centres the font and colour dialogs; may be null.
    OverlayHandlers(TForm2* form2, QWidget* dialogParent);

    // "Text Font": the overlay font becomes the font dialog's font, confirmed or not (its last
    // confirmed font, else its starting font); the overlay colour stays.
    void Button3Click();
    // "Text Farbe": the overlay colour becomes the colour dialog's colour, confirmed or not (its
    // last confirmed colour, else black).
    void Button4Click();
    // "Text": the dialog, modal; its result is not used.
    void Button5Click();

    const QFont& overlayFont() const { return overlayFont_; }
    const QColor& overlayColor() const { return overlayColor_; }
    // What a run reads at its start: text, font and colour.
    OverlaySettings settings() const;
    // The use flag, read from the dialog's check box whenever a picture is stamped.
    bool useOverlay() const;

private:
    TForm2* form2_;
    QWidget* dialogParent_;
    QFont overlayFont_;
    QColor overlayColor_;
    // What each dialog shows when it opens: its last confirmed choice, for the program's life.
    QFont fontDialogFont_;
    QColor colorDialogColor_;
};

} // namespace quill
