#pragma once
// A window coloured like the main window with one aqua button on it, for the tests of the button
// and of the look the main window gives it.

#include "controls/XAquaButton.h"

#include <QColor>
#include <QPalette>
#include <QWidget>

namespace quill::test {

struct AquaWindow {
    AquaWindow() {
        QPalette palette = host.palette();
        palette.setColor(QPalette::Window, QColor(235, 235, 235));
        host.setPalette(palette);
        host.resize(200, 100);
        host.move(400, 300); // away from where the offscreen platform keeps its pointer
        button = new TXAquaButton(&host);
        button->move(8, 8);
    }
    QWidget host;
    TXAquaButton* button = nullptr;
};

inline QColor rgb(int r, int g, int b) {
    return QColor(r, g, b);
}

} // namespace quill::test
