// Every caption of every window shown whole, in the face and style the program draws it with;
// the numbers of the main window in full; the size boxes on white.

#include "WindowFixture.h"
#include "app/Appearance.h"
#include "app/Forms.h"
#include "browse/RenameDialog.h"
#include "browse/TargetFolderDialog.h"
#include "controls/LabelFX.h"
#include "controls/XAquaButton.h"
#include "imaging/SizeRules.h"
#include "imaging_ui/Unit2.h"
#include "imaging_ui/Unit4.h"
#include "platform/Fonts.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionButton>
#include <gtest/gtest.h>
#include <map>

using namespace quill;

namespace {

// The room a caption's text is drawn in, as the widget's style lays it out.
QRect captionRoom(const QWidget& widget) {
    if (const auto* label = qobject_cast<const QLabel*>(&widget)) {
        const int margin = label->margin();
        return label->contentsRect().adjusted(margin, margin, -margin, -margin);
    }
    if (const auto* button = qobject_cast<const QAbstractButton*>(&widget)) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        option.rect = button->rect();
        const QStyle::SubElement element =
            qobject_cast<const QCheckBox*>(button)      ? QStyle::SE_CheckBoxContents
            : qobject_cast<const QRadioButton*>(button) ? QStyle::SE_RadioButtonContents
                                                        : QStyle::SE_PushButtonContents;
        return button->style()->subElementRect(element, &option, button);
    }
    // The aqua buttons centre their caption on the whole face.
    return widget.rect();
}

QFont captionFace(const QWidget& widget) {
    if (const auto* aqua = qobject_cast<const TXAquaButton*>(&widget)) {
        return captionFont(aqua->PaintFont().Font());
    }
    return widget.font();
}

// The size a text needs: its advance or its ink, whichever reaches further, and a whole line;
// a word-wrapped label needs the height of its lines at its width.
QSize needed(const QWidget& widget, const QString& text, int wrapWidth) {
    const QFontMetrics metrics(captionFace(widget));
    if (wrapWidth > 0) {
        const QRect wrapped =
            metrics.boundingRect(QRect(0, 0, wrapWidth, 10000), Qt::TextWordWrap, text);
        return {wrapped.width(), wrapped.height()};
    }
    const int ink = metrics.boundingRect(text).right() + 1;
    return {std::max(metrics.horizontalAdvance(text), ink), metrics.height()};
}

QString captionOf(const QWidget& widget) {
    if (const auto* label = qobject_cast<const QLabel*>(&widget)) {
        return label->text();
    }
    if (const auto* button = qobject_cast<const QAbstractButton*>(&widget)) {
        return button->text();
    }
    if (const auto* aqua = qobject_cast<const TXAquaButton*>(&widget)) {
        return aqua->Text();
    }
    return {};
}

// Every caption of a window that needs more room than it has, one line each; how many
// captions were looked at goes to counted.
QStringList tooNarrow(QWidget& window, const std::map<const QWidget*, QStringList>& otherTexts,
                      const std::vector<const QWidget*>& notCaptions, int& counted) {
    QStringList found;
    for (QWidget* widget : window.findChildren<QWidget*>()) {
        const bool caption = qobject_cast<QLabel*>(widget) || qobject_cast<QCheckBox*>(widget) ||
                             qobject_cast<QRadioButton*>(widget) ||
                             qobject_cast<QPushButton*>(widget) ||
                             qobject_cast<TXAquaButton*>(widget);
        if (!caption ||
            std::find(notCaptions.begin(), notCaptions.end(), widget) != notCaptions.end()) {
            continue;
        }
        QStringList texts{captionOf(*widget)};
        if (const auto other = otherTexts.find(widget); other != otherTexts.end()) {
            texts << other->second;
        }
        const auto* label = qobject_cast<const QLabel*>(widget);
        const QRect room = captionRoom(*widget);
        for (const QString& text : texts) {
            if (text.isEmpty()) {
                continue;
            }
            ++counted;
            const bool wraps = label != nullptr && label->wordWrap();
            const QSize need = needed(*widget, text, wraps ? room.width() : 0);
            if (need.width() > room.width() || need.height() > room.height()) {
                found << QStringLiteral("%1: \"%2\" needs %3 x %4, has %5 x %6")
                             .arg(window.windowTitle(), text)
                             .arg(need.width())
                             .arg(need.height())
                             .arg(room.width())
                             .arg(room.height());
            }
        }
    }
    return found;
}

class CaptionsTest : public test::WindowTest {
protected:
    void SetUp() override {
        test::WindowTest::SetUp();
        useLayoutStyle();
    }
};

} // namespace

TEST_F(CaptionsTest, EveryCaptionOfEveryWindowHasTheRoomItNeeds) {
    TForm1& w = start();
    // Texts the window shows later in the same controls.
    std::map<const QWidget*, QStringList> later;
    later[w.Label1] = QStringList{explanationText(SizeModeWidth), explanationText(SizeModeHeight),
                                  explanationText(SizeModeBoth),  originalSizeText(),
                                  targetsNotPositiveText(),       targetsTooLargeText()};
    later[w.LabelFX1] = QStringList{QStringLiteral("PreFix")};
    later[w.Label5] = QStringList{QStringLiteral("65500")};
    later[w.Label6] = QStringList{QStringLiteral("65500")};
    later[w.Label8] = QStringList{QStringLiteral("10"), QStringLiteral("100")};
    // The chosen folder's path: a long one loses its beginning, by design.
    const std::vector<const QWidget*> notCaptions{OKBottomDlg1->Label2};

    int counted = 0;
    QStringList found;
    for (QWidget* window :
         std::initializer_list<QWidget*>{Form1, Form2, OKBottomDlg, Form4, OKBottomDlg1}) {
        ASSERT_NE(window, nullptr);
        found << tooNarrow(*window, later, notCaptions, counted);
    }
    EXPECT_TRUE(found.isEmpty()) << qPrintable(found.join(QLatin1Char('\n')));
    // The main window's 22 captions and the 11 texts it shows later, and the 15 captions of the
    // other four windows.
    EXPECT_GE(counted, 48);
}

// The walk itself: a caption that does not fit is found, in each kind of control.
TEST_F(CaptionsTest, TheWalkFindsACaptionThatIsCut) {
    QWidget window;
    window.setWindowTitle(QStringLiteral("Probe"));
    auto* box = new QCheckBox(QStringLiteral("nur Name ändern"), &window);
    box->setGeometry(0, 0, 97, 17);
    box->setFont(uiFont(11));
    auto* label = new QLabel(QStringLiteral("100"), &window);
    label->setGeometry(0, 20, 12, 13);
    label->setFont(uiFont(11));
    auto* wrapped = new QLabel(explanationText(SizeModeNeither), &window);
    wrapped->setWordWrap(true);
    wrapped->setGeometry(0, 40, 217, 25);
    wrapped->setFont(uiFont(11));
    auto* aqua = new TXAquaButton(&window);
    aqua->SetText(QStringLiteral("Ein viel zu langer Text"));
    int counted = 0;
    const QStringList found = tooNarrow(window, {}, {}, counted);
    EXPECT_EQ(counted, 4);
    ASSERT_EQ(found.size(), 4) << qPrintable(found.join(QLatin1Char('\n')));
    // Wide enough, all four pass.
    box->resize(120, 17);
    label->resize(24, 13);
    wrapped->resize(217, 49);
    aqua->SetText(QStringLiteral("Start"));
    counted = 0;
    EXPECT_TRUE(tooNarrow(window, {}, {}, counted).isEmpty());
}

TEST_F(CaptionsTest, NumbersShowEveryDigitAndKeepTheirEdges) {
    TForm1& w = start();
    for (int quality = 10; quality <= 100; ++quality) {
        w.TrackBar1->setValue(quality);
        ASSERT_EQ(w.Label8->text(), QString::number(quality));
        const QSize need = needed(*w.Label8, w.Label8->text(), 0);
        EXPECT_LE(need.width(), captionRoom(*w.Label8).width()) << quality;
    }
    EXPECT_EQ(w.Label8->x(), 224);
    EXPECT_EQ(w.Label8->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignLeft);

    // Sizes up to 65500 wide and high: the width's text starts at 648 and grows to the right,
    // the height's text ends at 782 and grows to the left; neither reaches the "x".
    for (const char* size : {"7", "480", "65500"}) {
        w.Label5->setText(QString::fromLatin1(size));
        w.Label6->setText(QString::fromLatin1(size));
        const QFontMetrics metrics(w.Label6->font());
        const int textWidth = metrics.horizontalAdvance(QString::fromLatin1(size));
        EXPECT_EQ(w.Label5->x(), 648);
        EXPECT_EQ(w.Label5->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignLeft);
        EXPECT_LE(648 + textWidth, w.Label4->x()) << size;
        EXPECT_EQ(w.Label6->geometry().right() + 1, 782);
        EXPECT_TRUE(w.Label6->alignment() & Qt::AlignRight);
        EXPECT_GE(782 - textWidth, w.Label4->geometry().right() + 1) << size;
        EXPECT_LE(needed(*w.Label5, w.Label5->text(), 0).width(), w.Label5->width()) << size;
        EXPECT_LE(needed(*w.Label6, w.Label6->text(), 0).width(), w.Label6->width()) << size;
    }
    // The boxes do not cover one another.
    EXPECT_FALSE(w.Label5->geometry().intersects(w.Label4->geometry()));
    EXPECT_FALSE(w.Label6->geometry().intersects(w.Label4->geometry()));
}

TEST_F(CaptionsTest, SizeBoxesAreDrawnOnWhiteOverThePanel) {
    TForm1& w = start();
    const QImage face = w.grab().toImage();
    // Right of each caption, inside the box; and the panel between two boxes.
    for (const QCheckBox* box : {w.CheckBox1, w.CheckBox2, w.CheckBox4}) {
        const QPoint inside = box->geometry().topLeft() + QPoint(box->width() - 3, 8);
        EXPECT_EQ(face.pixelColor(inside), QColor(Qt::white)) << qPrintable(box->text());
    }
    EXPECT_EQ(face.pixelColor(12, 64), QColor(156, 180, 188));
    // The other check boxes stay on the window's colour.
    const QPoint besideName =
        w.CheckBox5->geometry().topLeft() + QPoint(w.CheckBox5->width() - 2, 8);
    EXPECT_EQ(face.pixelColor(besideName), QColor(235, 235, 235));
}
