// The main window and the program's own dialogs on a desktop of today: a dark palette, the
// keyboard alone, a screen reader.

#include "WindowFixture.h"
#include "app/Appearance.h"
#include "browse/RenameDialog.h"
#include "browse/TargetFolderDialog.h"
#include "imaging_ui/Unit2.h"
#include "imaging_ui/Unit4.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <gtest/gtest.h>
#include <map>

using namespace quill;

namespace {

// Where a caption's letters are: a label's contents, a button's text beside its indicator.
QRect textArea(const QWidget& widget) {
    if (const auto* button = qobject_cast<const QAbstractButton*>(&widget)) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        const QStyle::SubElement element =
            qobject_cast<const QCheckBox*>(button)      ? QStyle::SE_CheckBoxContents
            : qobject_cast<const QRadioButton*>(button) ? QStyle::SE_RadioButtonContents
                                                        : QStyle::SE_PushButtonContents;
        return button->style()->subElementRect(element, &option, button);
    }
    return widget.contentsRect();
}

// The caption's contrast on a grab: its most frequent colour is the background, its letters are
// the pixels furthest from it.
double captionContrast(const QImage& grab, const QRect& area) {
    std::map<QRgb, int> counts;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            ++counts[grab.pixel(x, y)];
        }
    }
    const auto background = std::max_element(counts.begin(), counts.end(), [](auto& a, auto& b) {
                                return a.second < b.second;
                            })->first;
    double best = 1;
    for (const auto& [colour, count] : counts) {
        best = std::max(best, test::contrastRatio(QColor(background), QColor(colour)));
    }
    return best;
}

class DesktopTest : public test::WindowTest {
protected:
    void SetUp() override {
        test::WindowTest::SetUp();
        useLayoutStyle();
    }
};

} // namespace

TEST_F(DesktopTest, EveryCaptionStaysReadableUnderADarkPalette) {
    const QPalette before = QApplication::palette();
    QApplication::setPalette(test::darkPalette());
    start();
    QWidget* const windows[] = {&window(), Form2, OKBottomDlg, Form4, OKBottomDlg1};
    int measured = 0;
    for (QWidget* shown : windows) {
        const QImage grab = shown->grab().toImage();
        for (QWidget* widget : shown->findChildren<QWidget*>()) {
            const bool caption =
                qobject_cast<QLabel*>(widget) || qobject_cast<QCheckBox*>(widget) ||
                qobject_cast<QRadioButton*>(widget) || qobject_cast<QPushButton*>(widget);
            const auto* label = qobject_cast<QLabel*>(widget);
            const auto* button = qobject_cast<QAbstractButton*>(widget);
            const QString text = label ? label->text() : button ? button->text() : QString();
            if (!caption || text.trimmed().isEmpty() || !widget->isVisibleTo(shown) ||
                !widget->isEnabled()) {
                continue;
            }
            const QRect area = textArea(*widget).translated(widget->mapTo(shown, QPoint(0, 0)));
            const double contrast = captionContrast(grab, area & grab.rect());
            ++measured;
            EXPECT_GE(contrast, 7.0)
                << shown->metaObject()->className() << " \"" << qPrintable(text) << "\"";
        }
    }
    QApplication::setPalette(before);
    EXPECT_GT(measured, 25);
}
