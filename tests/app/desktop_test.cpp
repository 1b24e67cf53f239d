// The main window and the program's own dialogs on a desktop of today: a dark palette, the
// keyboard alone, a screen reader.

#include "WindowFixture.h"
#include "app/Appearance.h"
#include "browse/RenameDialog.h"
#include "browse/TargetFolderDialog.h"
#include "controls/Image.h"
#include "controls/LabelFX.h"
#include "controls/StaticText.h"
#include "controls/XAquaButton.h"
#include "imaging_ui/Unit2.h"
#include "imaging_ui/Unit4.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>
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

struct Reached {
    QAccessible::Role role;
    QString name;
    QAccessibleInterface* iface;
};

void walk(QAccessibleInterface* iface, std::vector<Reached>& reached) {
    if (iface == nullptr) {
        return;
    }
    reached.push_back({iface->role(), iface->text(QAccessible::Name), iface});
    for (int i = 0; i < iface->childCount(); ++i) {
        walk(iface->child(i), reached);
    }
}

class DesktopTest : public test::WindowTest {
protected:
    void SetUp() override {
        test::WindowTest::SetUp();
        useLayoutStyle();
    }

    // The window shown and active, as a user finds it.
    TForm1& startActive() {
        TForm1& w = start();
        w.show();
        w.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&w));
        return w;
    }

    // Presses Tab until the focus is on target.
    static bool tabTo(QWidget* target) {
        for (int i = 0; i < 60 && QApplication::focusWidget() != target; ++i) {
            QWidget* focus = QApplication::focusWidget();
            QTest::keyClick(focus ? focus : target->window(), Qt::Key_Tab);
        }
        return QApplication::focusWidget() == target;
    }

    static void press(Qt::Key key) {
        QTest::keyClick(QApplication::focusWidget(), key,
                        key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
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
            const auto* label = qobject_cast<QLabel*>(widget);
            const auto* button = qobject_cast<QAbstractButton*>(widget);
            const QString text = label ? label->text() : button ? button->text() : QString();
            if (text.trimmed().isEmpty() || !widget->isVisibleTo(shown) || !widget->isEnabled()) {
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

TEST_F(DesktopTest, ATurnedConversionIsChosenStartedAndConfirmedWithKeysOnly) {
    writePicture(QStringLiteral("a.jpg"), 40, 20, Qt::red);
    TForm1& w = startActive();
    ASSERT_TRUE(tabTo(w.StaticText2));
    press(Qt::Key_Return);
    ASSERT_TRUE(Form4->isVisible());
    ASSERT_TRUE(QTest::qWaitForWindowActive(Form4));
    EXPECT_EQ(QApplication::focusWidget(), Form4->RadioButton1);
    press(Qt::Key_Down);
    EXPECT_TRUE(Form4->RadioButton2->isChecked()) << "arrows choose within the group";
    press(Qt::Key_Escape);
    EXPECT_FALSE(Form4->isVisible());
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    EXPECT_EQ(QApplication::focusWidget(), w.StaticText2);

    ASSERT_TRUE(tabTo(w.Button2));
    messages_.answer(MsgResult::Yes);
    press(Qt::Key_Space);
    ASSERT_FALSE(messages_.texts().isEmpty());
    EXPECT_EQ(messages_.texts().front(), QStringLiteral("Bildverarbeitung starten?"));
    const QImage output = readOutput(path(QStringLiteral("_Parvexo/a.jpg")));
    EXPECT_EQ(output.height(), 2 * output.width()) << "the landscape picture turned a quarter";
    EXPECT_TRUE(w.Button2->isEnabled());
    EXPECT_EQ(QApplication::focusWidget(), w.Button2) << "the focus is back on Start";
    EXPECT_EQ(w.Button2->State(), TXAquaButton::Normal) << "the pressed look is gone";
}

TEST_F(DesktopTest, EveryButtonLikeControlActsOnItsKeysAsOnAClick) {
    enum class Effect { Dialog, Box, Caption };
    writePicture(QStringLiteral("a.jpg"), 8, 8, Qt::blue);
    TForm1& w = startActive();
    const struct {
        const char* name;
        QWidget* control;
        Qt::Key key;
        Effect effect;
    } rows[] = {
        {"Start, declined", w.Button2, Qt::Key_Return, Effect::Box},
        {"Text Font", w.Button3, Qt::Key_Space, Effect::Dialog},
        {"Text Farbe", w.Button4, Qt::Key_Enter, Effect::Dialog},
        {"Text", w.Button5, Qt::Key_Return, Effect::Dialog},
        {"PostFix", w.LabelFX1, Qt::Key_Space, Effect::Caption},
        {"About", w.Image3, Qt::Key_Return, Effect::Box},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        QWidget* control = row.control;
        ASSERT_TRUE(tabTo(control));
        messages_.clear();
        messages_.answer(MsgResult::No);
        const QString caption = w.LabelFX1->text();
        const test::DialogScript dialogs([](QDialog&) { return int(QDialog::Rejected); });
        press(row.key);
        EXPECT_EQ(dialogs.runs(), row.effect == Effect::Dialog ? 1 : 0);
        EXPECT_EQ(messages_.shown().size(), row.effect == Effect::Box ? 1U : 0U);
        EXPECT_EQ(w.LabelFX1->text() != caption, row.effect == Effect::Caption);
        EXPECT_EQ(QApplication::focusWidget(), control) << "the focus stays";
    }
    EXPECT_FALSE(QDir(path(QStringLiteral("_Parvexo"))).exists())
        << "a declined start runs nothing";
}

TEST_F(DesktopTest, AScreenReaderFindsEveryControlByRoleAndGermanName) {
    using A = QAccessible;
    const struct {
        A::Role role;
        const char* name;
    } rows[] = {
        {A::Button, "Start"},
        {A::Button, "Text Font"},
        {A::Button, "Text Farbe"},
        {A::Button, "Text"},
        {A::Button, "PostFix"},
        {A::Button, "XTRA"},
        {A::Button, "HELP"},
        {A::Button, "Webseite"},
        {A::Button, "Über Quillmere"},
        {A::CheckBox, "Vorschau"},
        {A::CheckBox, "Breite"},
        {A::CheckBox, "Höhe"},
        {A::CheckBox, "Grösse ändern"},
        {A::CheckBox, "nur Name ändern"},
        {A::RadioButton, "Alle"},
        {A::RadioButton, "Auswahl"},
        {A::EditableText, "Breite"},
        {A::EditableText, "Höhe"},
        {A::EditableText, "Namenszusatz"},
        {A::Slider, "JPEG-Qualität"},
        {A::ComboBox, "Laufwerk"},
        {A::List, "Ordner"},
        {A::List, "Dateien"},
        {A::Graphic, "Vorschau"},
    };
    writePicture(QStringLiteral("a.jpg"), 40, 30, Qt::green);
    TForm1& w = startActive();
    std::vector<Reached> reached;
    walk(QAccessible::queryAccessibleInterface(&w), reached);
    for (const auto& row : rows) {
        const QString name = QString::fromUtf8(row.name);
        const auto found = std::count_if(reached.begin(), reached.end(), [&](const Reached& r) {
            return r.role == row.role && r.name == name;
        });
        EXPECT_EQ(found, 1) << row.name << " as role " << row.role;
    }
    // Every button-like control can be pressed through its interface, and nothing a user works
    // with is left without a name.
    const std::vector<A::Role> interactive{A::Button, A::CheckBox, A::RadioButton, A::EditableText,
                                           A::Slider, A::ComboBox, A::List};
    QAccessibleInterface* postFix = nullptr;
    for (const Reached& r : reached) {
        if (std::find(interactive.begin(), interactive.end(), r.role) == interactive.end()) {
            continue;
        }
        EXPECT_FALSE(r.name.isEmpty())
            << "a control of role " << r.role
            << " has no name: " << r.iface->object()->metaObject()->className() << " in "
            << r.iface->parent()->object()->metaObject()->className();
        if (r.role == A::Button) {
            ASSERT_NE(r.iface->actionInterface(), nullptr) << qPrintable(r.name);
            EXPECT_TRUE(r.iface->actionInterface()->actionNames().contains(
                QAccessibleActionInterface::pressAction()))
                << qPrintable(r.name);
        }
        if (r.name == QStringLiteral("PostFix")) {
            postFix = r.iface;
        }
        if (r.role == A::Slider) {
            EXPECT_EQ(r.iface->valueInterface()->currentValue().toInt(), 90);
        }
    }
    const auto preview = std::find_if(reached.begin(), reached.end(), [](const Reached& r) {
        return r.role == A::Graphic && r.name == QStringLiteral("Vorschau");
    });
    ASSERT_NE(preview, reached.end());
    EXPECT_EQ(preview->iface->text(A::Description), QStringLiteral("40 × 30 Pixel"));
    ASSERT_NE(postFix, nullptr);
    postFix->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(w.LabelFX1->text(), QStringLiteral("PreFix")) << "the press action clicks";
}
