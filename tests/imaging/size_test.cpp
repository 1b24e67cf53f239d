// The size rules: the arithmetic, reading the target fields, and the size panel's handlers.

#include "imaging/Scale.h"
#include "imaging/SizeRules.h"
#include "imaging_ui/SizeRuleHandlers.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QWidget>
#include <gtest/gtest.h>

#include <limits>

namespace quill {
namespace {

SizeRule rule(int mode, int width = 200, int height = 200) {
    return {true, mode, width, height};
}

TEST(SizeArithmetic, ExamplesOfTheFourRules) {
    EXPECT_EQ(ComputeOutputSize(640, 480, rule(SizeModeWidth)), QSize(200, 150));
    EXPECT_EQ(ComputeOutputSize(3, 2, rule(SizeModeWidth)), QSize(200, 133));
    EXPECT_EQ(ComputeOutputSize(480, 640, rule(SizeModeHeight)), QSize(150, 200));
    EXPECT_EQ(ComputeOutputSize(640, 480, rule(SizeModeNeither)), QSize(200, 150));
    EXPECT_EQ(ComputeOutputSize(480, 640, rule(SizeModeNeither)), QSize(150, 200));
    EXPECT_EQ(ComputeOutputSize(500, 500, rule(SizeModeNeither)), QSize(200, 200));
    EXPECT_EQ(ComputeOutputSize(600, 400, rule(SizeModeNeither, 300, 100)), QSize(300, 200));
    EXPECT_EQ(ComputeOutputSize(400, 600, rule(SizeModeNeither, 300, 100)), QSize(66, 100));
    // A square picture counts as landscape: the width target wins.
    EXPECT_EQ(ComputeOutputSize(500, 500, rule(SizeModeNeither, 300, 100)), QSize(300, 300));
    EXPECT_EQ(ComputeOutputSize(640, 480, rule(SizeModeBoth)), QSize(200, 200));
    EXPECT_EQ(ComputeOutputSize(100, 50, rule(SizeModeWidth)), QSize(200, 100));
    // Resizing off keeps the picture's size, whatever the targets say.
    EXPECT_EQ(ComputeOutputSize(1234, 567, {false, SizeModeBoth, 0, -5}), QSize(1234, 567));
}

TEST(SizeArithmetic, SinglePrecisionRoundingBeforeTruncation) {
    // In double precision 200 / 2272 * 1420 lies just below 125.
    EXPECT_LT(200.0 / 2272 * 1420, 125.0);
    EXPECT_EQ(Scale(200, 2272, 1420), 125);
    EXPECT_EQ(ComputeOutputSize(2272, 1420, rule(SizeModeWidth)), QSize(200, 125));
    EXPECT_EQ(ComputeOutputSize(1420, 2272, rule(SizeModeHeight)), QSize(125, 200));
    EXPECT_EQ(Scale(200, 3, 2), 133);
    EXPECT_EQ(Scale(-20, 3, 2), -13); // truncation toward zero
    EXPECT_EQ(Scale(65500, 1, 100000), std::numeric_limits<int>::max());
}

TEST(SizeArithmetic, NoSideBecomesZero) {
    // A 1 x 0 result would be an empty JPEG file; it is written as 1 x 1.
    EXPECT_EQ(ComputeOutputSize(1000, 10, rule(SizeModeWidth, 1)), QSize(1, 1));
    EXPECT_EQ(ComputeOutputSize(10, 1000, rule(SizeModeHeight, 200, 1)), QSize(1, 1));
    EXPECT_EQ(ComputeOutputSize(5000, 1, rule(SizeModeNeither, 100, 100)), QSize(100, 1));
}

TEST(TargetFields, DecimalReadingRule) {
    EXPECT_EQ(readDecimalInteger(QStringLiteral("  150px")), 150);
    EXPECT_EQ(readDecimalInteger(QStringLiteral("-20")), -20);
    EXPECT_EQ(readDecimalInteger(QStringLiteral("+35")), 35);
    EXPECT_EQ(readDecimalInteger(QStringLiteral("abc")), 0);
    EXPECT_EQ(readDecimalInteger(QString()), 0);
    EXPECT_EQ(readDecimalInteger(QStringLiteral("-")), 0);
    EXPECT_EQ(readDecimalInteger(QStringLiteral("\t 12 34")), 12);
    EXPECT_EQ(readDecimalInteger(QStringLiteral("1.5")), 1);
    EXPECT_EQ(readDecimalInteger(QStringLiteral("x200")), 0);
    EXPECT_EQ(readDecimalInteger(QStringLiteral("- 5")), 0);
    EXPECT_EQ(readDecimalInteger(QStringLiteral("99999999999999999999")),
              std::numeric_limits<int>::max());
    EXPECT_EQ(readDecimalInteger(QStringLiteral("-99999999999999999999")),
              std::numeric_limits<int>::min());
    // Digits of other scripts are not decimal digits here.
    EXPECT_EQ(readDecimalInteger(QStringLiteral("٣")), 0);
}

TEST(TargetFields, LimitsOfAllocatableOutputs) {
    EXPECT_EQ(checkTargets(200, 200, SizeModeNeither), TargetCheck::Ok);
    EXPECT_EQ(checkTargets(0, 200, SizeModeWidth), TargetCheck::NotPositive);
    EXPECT_EQ(checkTargets(200, -1, SizeModeWidth), TargetCheck::NotPositive);
    EXPECT_EQ(checkTargets(MaxOutputSide, MaxOutputSide, SizeModeWidth), TargetCheck::Ok);
    EXPECT_EQ(checkTargets(MaxOutputSide + 1, 200, SizeModeHeight), TargetCheck::TooLarge);
    // With both given the output size is known up front.
    EXPECT_EQ(checkTargets(60000, 60000, SizeModeBoth), TargetCheck::TooLarge);
    EXPECT_EQ(checkTargets(10000, 10000, SizeModeBoth), TargetCheck::Ok);

    QImage output;
    const QImage source(4, 4, QImage::Format_RGB888);
    try {
        scaleToOutput(source, output, rule(SizeModeWidth, 1, 200)); // fine: 1 x 1
        scaleToOutput(QImage(1, 60000, QImage::Format_RGB888), output, rule(SizeModeWidth, 60000));
        FAIL() << "an output of 60000 x 3.6 billion pixels was not refused";
    } catch (const PictureTooLarge& failure) {
        EXPECT_TRUE(failure.text().contains(QStringLiteral("zu groß"))) << failure.what();
    }
    EXPECT_EQ(output.size(), QSize(1, 1)); // the last good output is left as it was
}

// The size panel as the main window lays it out.
struct SizePanel {
    QWidget window;
    QCheckBox* width = new QCheckBox(QStringLiteral("Breite"), &window);
    QCheckBox* height = new QCheckBox(QStringLiteral("Höhe"), &window);
    QCheckBox* resize = new QCheckBox(QStringLiteral("Grösse ändern"), &window);
    QLineEdit* edit1 = new QLineEdit(QStringLiteral("200"), &window);
    QLineEdit* edit2 = new QLineEdit(QStringLiteral("200"), &window);
    QLabel* label = new QLabel(explanationText(0), &window);
    SizeRuleHandlers handlers{width, height, resize, edit1, edit2, label};

    SizePanel() { resize->setChecked(true); }
    void clickWidth() {
        width->click();
        handlers.CheckBox1Click();
    }
    void clickHeight() {
        height->click();
        handlers.CheckBox2Click();
    }
    void clickResize() {
        resize->click();
        handlers.CheckBox4Click();
    }
};

TEST(SizePanelHandlers, WidthAndHeightBoxesDriveFieldsAndText) {
    SizePanel p;
    p.clickWidth();
    EXPECT_EQ(p.label->text(), QStringLiteral("Höhe wird proportional berechnet"));
    EXPECT_TRUE(p.edit1->isEnabled());
    EXPECT_FALSE(p.edit2->isEnabled());
    EXPECT_EQ(p.handlers.sizeMode(), SizeModeWidth);

    p.clickHeight();
    EXPECT_EQ(p.label->text(), QStringLiteral("Angaben für Breite und Höhe werden verwendet"));
    EXPECT_TRUE(p.edit1->isEnabled());
    EXPECT_TRUE(p.edit2->isEnabled());

    p.clickWidth();
    EXPECT_EQ(p.label->text(), QStringLiteral("Breite wird proportional berechnet"));
    EXPECT_FALSE(p.edit1->isEnabled());
    EXPECT_TRUE(p.edit2->isEnabled());

    p.clickHeight();
    EXPECT_EQ(p.label->text(), QStringLiteral("Bei Querformat wird Breite verwendet und Höhe "
                                              "berechnet - Bei Hochformat umgekehrt"));
    EXPECT_TRUE(p.edit1->isEnabled());
    EXPECT_TRUE(p.edit2->isEnabled());

    // From width-only straight to height-only: the field left alone keeps its disabled state.
    p.clickWidth();
    p.width->setChecked(false);
    p.height->setChecked(true);
    p.handlers.CheckBox2Click();
    EXPECT_FALSE(p.edit1->isEnabled());
    EXPECT_FALSE(p.edit2->isEnabled());
}

TEST(SizePanelHandlers, ResizingOffAndOnRestoresBoxesAndExplanation) {
    SizePanel p;
    p.clickHeight();
    p.clickResize(); // off
    EXPECT_EQ(p.label->text(), QStringLiteral("Originalgrösse bleibt erhalten"));
    EXPECT_FALSE(p.width->isEnabled());
    EXPECT_FALSE(p.height->isEnabled());
    EXPECT_FALSE(p.edit1->isEnabled());
    EXPECT_FALSE(p.edit2->isEnabled());
    EXPECT_TRUE(p.height->isChecked()); // states stay as they are
    EXPECT_FALSE(p.handlers.sizeRule().resize);

    p.clickResize(); // on
    EXPECT_EQ(p.label->text(), QStringLiteral("Breite wird proportional berechnet"));
    EXPECT_TRUE(p.width->isEnabled());
    EXPECT_TRUE(p.height->isEnabled());
    EXPECT_FALSE(p.width->isChecked());
    EXPECT_TRUE(p.height->isChecked());
    // Both fields come back enabled, even in the height-only mode.
    EXPECT_TRUE(p.edit1->isEnabled());
    EXPECT_TRUE(p.edit2->isEnabled());
}

TEST(SizePanelHandlers, ValidationAtStart) {
    SizePanel p;
    p.edit1->setText(QStringLiteral("  150px"));
    EXPECT_TRUE(p.handlers.ReadAndValidateTargets());
    EXPECT_EQ(p.handlers.targetWidth(), 150);
    EXPECT_EQ(p.handlers.sizeRule().targetWidth, 150);

    p.edit1->setText(QStringLiteral("-20"));
    EXPECT_FALSE(p.handlers.ReadAndValidateTargets());
    EXPECT_EQ(p.label->text(), QStringLiteral(" Breite und Höhe müssen grösser als 0 sein ! "));

    // The disabled height field is checked too.
    SizePanel q;
    q.clickWidth();
    q.edit2->setText(QStringLiteral("abc"));
    EXPECT_FALSE(q.handlers.ReadAndValidateTargets());
    EXPECT_EQ(q.label->text(), QStringLiteral(" Breite und Höhe müssen grösser als 0 sein ! "));

    // The refusal text was showing when resizing went off, so it comes back.
    q.clickResize();
    q.clickResize();
    EXPECT_EQ(q.label->text(), QStringLiteral(" Breite und Höhe müssen grösser als 0 sein ! "));

    // Resizing off: the fields are neither read nor checked.
    SizePanel r;
    r.edit1->setText(QStringLiteral("0"));
    r.clickResize();
    EXPECT_TRUE(r.handlers.ReadAndValidateTargets());
    EXPECT_EQ(r.handlers.targetWidth(), 200);

    // A target no JPEG file could hold is refused before the run starts.
    SizePanel s;
    s.edit2->setText(QStringLiteral("99999999999"));
    EXPECT_FALSE(s.handlers.ReadAndValidateTargets());
    EXPECT_EQ(s.label->text(), targetsTooLargeText());
    EXPECT_TRUE(s.label->text().startsWith(QStringLiteral(" Breite und Höhe")));
}

} // namespace
} // namespace quill
