#include "controls/LayoutPalette.h"

#include <QWidget>

namespace quill {
namespace {

QPalette makeLayoutPalette() {
    const QColor window(239, 239, 239);
    const QColor disabledText(190, 190, 190);
    QPalette palette;
    // Every role of every group is set, so none is taken from the application's palette.
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::WindowText, Qt::black);
        palette.setColor(group, QPalette::Text, Qt::black);
        palette.setColor(group, QPalette::ButtonText, Qt::black);
    }
    palette.setColor(QPalette::Disabled, QPalette::WindowText, disabledText);
    palette.setColor(QPalette::Disabled, QPalette::Text, disabledText);
    palette.setColor(QPalette::Disabled, QPalette::ButtonText, disabledText);
    const struct {
        QPalette::ColorRole role;
        QColor colour;
    } shared[] = {{QPalette::Window, window},
                  {QPalette::Button, window},
                  {QPalette::Base, Qt::white},
                  {QPalette::AlternateBase, QColor(247, 247, 247)},
                  {QPalette::Light, Qt::white},
                  {QPalette::Midlight, QColor(202, 202, 202)},
                  {QPalette::Mid, QColor(184, 184, 184)},
                  {QPalette::Dark, QColor(159, 159, 159)},
                  {QPalette::Shadow, QColor(118, 118, 118)},
                  {QPalette::BrightText, Qt::white},
                  {QPalette::Highlight, QColor(48, 140, 198)},
                  {QPalette::HighlightedText, Qt::white},
                  {QPalette::Link, Qt::blue},
                  {QPalette::LinkVisited, Qt::magenta},
                  {QPalette::ToolTipBase, QColor(255, 255, 220)},
                  {QPalette::ToolTipText, Qt::black},
                  {QPalette::PlaceholderText, QColor(0, 0, 0, 128)}};
    for (const auto& [role, colour] : shared) {
        palette.setColor(QPalette::All, role, colour);
    }
    palette.setColor(QPalette::Disabled, QPalette::Base, window);
    palette.setColor(QPalette::Disabled, QPalette::Highlight, QColor(145, 145, 145));
    return palette;
}

} // namespace

const QPalette& layoutPalette() {
    static const QPalette palette = makeLayoutPalette();
    return palette;
}

void useLayoutPalette(QWidget& window) {
    window.setPalette(layoutPalette());
}

} // namespace quill
