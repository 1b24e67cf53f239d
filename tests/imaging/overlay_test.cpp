// The text overlay: where it goes, how it is drawn, and the font, colour and text handlers.

#include "TestSupport.h"
#include "imaging/Overlay.h"
#include "imaging_ui/OverlayHandlers.h"
#include "imaging_ui/Unit2.h"
#include "platform/Fonts.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QFontDialog>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QRect>
#include <gtest/gtest.h>

namespace quill {
namespace {

TEST(OverlayPosition, BottomRightOrZero) {
    EXPECT_EQ(overlayPosition(QSize(200, 150), QSize(150, 13)), QPoint(50, 137));
    EXPECT_EQ(overlayPosition(QSize(200, 150), QSize(250, 13)), QPoint(0, 137));
    EXPECT_EQ(overlayPosition(QSize(200, 10), QSize(50, 13)), QPoint(150, 0));
    EXPECT_EQ(overlayPosition(QSize(200, 150), QSize(200, 150)), QPoint(0, 0));
}

TEST(OverlayFont, PointSizesBecomePixelsAt96PerInch) {
    QFont eightPoint(uiFontFamily());
    eightPoint.setPointSize(8);
    EXPECT_EQ(overlayPixelFont(eightPoint).pixelSize(), 11);
    QFont twelvePoint(uiFontFamily());
    twelvePoint.setPointSize(12);
    EXPECT_EQ(overlayPixelFont(twelvePoint).pixelSize(), 16);
    EXPECT_EQ(overlayPixelFont(uiFont(23)).pixelSize(), 23);

    const QSize extent = PrepareOverlay({QStringLiteral("Urlaub 2024"), eightPoint, Qt::black});
    const QSize same = PrepareOverlay({QStringLiteral("Urlaub 2024"), uiFont(11), Qt::black});
    EXPECT_EQ(extent, same);
    EXPECT_GT(extent.width(), 0);
    EXPECT_GE(extent.height(), 11);
    EXPECT_EQ(PrepareOverlay({QString(), uiFont(11), Qt::black}).width(), 0);
}

// A background whose every pixel differs from the text colour and from its neighbours.
QImage background(int width, int height) {
    QImage image(width, height, QImage::Format_RGB888);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            image.setPixel(x, y, qRgb(255, 128 + (x % 64), 128 + (y % 64)));
        }
    }
    return image;
}

QRect changedArea(const QImage& before, const QImage& after, int* count = nullptr) {
    QRect area;
    int changed = 0;
    for (int y = 0; y < before.height(); ++y) {
        for (int x = 0; x < before.width(); ++x) {
            if (before.pixel(x, y) != after.pixel(x, y)) {
                area |= QRect(x, y, 1, 1);
                ++changed;
            }
        }
    }
    if (count) {
        *count = changed;
    }
    return area;
}

TEST(StampOverlay, DrawsTransparentTextInsideTheBottomRightCell) {
    const OverlaySettings settings{QStringLiteral("Quill"), uiFont(20), QColor(0, 0, 255)};
    const QSize extent = PrepareOverlay(settings);
    const QImage before = background(200, 150);
    QImage image = before;
    StampOverlayText(image, settings, extent);

    int changed = 0;
    const QRect area = changedArea(before, image, &changed);
    const QRect cell(overlayPosition(image.size(), extent), extent);
    ASSERT_GT(changed, 20);
    EXPECT_TRUE(cell.contains(area)) << "ink outside the text cell";
    // The glyphs reach near the right edge; the background between them is untouched.
    EXPECT_GT(area.right(), 200 - 8);
    EXPECT_LT(changed, cell.width() * cell.height() / 2);
    // Ink is drawn in the overlay colour: the most covered pixel is (nearly) pure blue.
    int bluest = 255;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            bluest = std::min(bluest, qRed(image.pixel(x, y)));
        }
    }
    EXPECT_LT(bluest, 40);
}

TEST(StampOverlay, CutAtTheEdgesAndNothingForEmptyText) {
    const OverlaySettings wide{QStringLiteral("WWWWWWWWWWWWWWWWWWWW"), uiFont(30), Qt::black};
    const QSize extent = PrepareOverlay(wide);
    ASSERT_GT(extent.width(), 60);
    ASSERT_GT(extent.height(), 20);
    const QImage before = background(60, 20);
    QImage image = before;
    StampOverlayText(image, wide, extent);
    const QRect area = changedArea(before, image);
    // Starts at the left edge and runs off the right one.
    EXPECT_LE(area.left(), 3);
    EXPECT_GE(area.right(), 56);

    QImage untouched = before;
    StampOverlayText(untouched, {QString(), uiFont(30), Qt::black}, QSize(0, 35));
    EXPECT_EQ(untouched, before);

    QImage none;
    StampOverlayText(none, wide, extent);
    EXPECT_TRUE(none.isNull());

    // A palette output gets a true-colour surface to draw on.
    QImage indexed(80, 40, QImage::Format_Indexed8);
    indexed.setColorTable({qRgb(255, 255, 255)});
    indexed.fill(0);
    StampOverlayText(indexed, {QStringLiteral("ab"), uiFont(20), Qt::black}, QSize(20, 24));
    EXPECT_EQ(indexed.format(), QImage::Format_RGB888);
    QImage white(80, 40, QImage::Format_RGB888);
    white.fill(Qt::white);
    EXPECT_FALSE(changedArea(white, indexed).isEmpty());
}

// Font, colour and text handlers, their dialogs answered by script.
struct OverlayFixture {
    TForm2 form2;
    OverlayHandlers handlers{&form2, nullptr};
};

QFont pickedFont(int points) {
    QFont font(uiFontFamily());
    font.setPointSize(points);
    font.setBold(true);
    return font;
}

TEST(OverlayHandlersTest, ColourKeptAcrossAFontChoice) {
    OverlayFixture f;
    EXPECT_EQ(f.handlers.overlayColor(), QColor(Qt::black));
    EXPECT_EQ(f.handlers.overlayFont(), uiFont(11));
    {
        test::DialogScript script([](QDialog& dialog) {
            auto* colours = dynamic_cast<QColorDialog*>(&dialog);
            EXPECT_NE(colours, nullptr);
            if (colours) {
                colours->setCurrentColor(Qt::red);
            }
            return static_cast<int>(QDialog::Accepted);
        });
        f.handlers.Button4Click();
        EXPECT_EQ(script.runs(), 1);
    }
    EXPECT_EQ(f.handlers.overlayColor(), QColor(Qt::red));
    {
        test::DialogScript script([](QDialog& dialog) {
            auto* fonts = dynamic_cast<QFontDialog*>(&dialog);
            EXPECT_NE(fonts, nullptr);
            if (fonts) {
                fonts->setCurrentFont(pickedFont(24));
            }
            return static_cast<int>(QDialog::Accepted);
        });
        f.handlers.Button3Click();
    }
    EXPECT_EQ(f.handlers.overlayFont().pointSize(), 24);
    EXPECT_TRUE(f.handlers.overlayFont().bold());
    EXPECT_EQ(f.handlers.overlayColor(), QColor(Qt::red));
    EXPECT_EQ(f.handlers.settings().color, QColor(Qt::red));
}

TEST(OverlayHandlersTest, CancelledDialogsApplyTheirLastConfirmedChoice) {
    OverlayFixture f;
    QFont openedWith;
    QColor colourOpenedWith;
    auto pickFont = [&](int points, QDialog::DialogCode answer) {
        test::DialogScript script([&, points, answer](QDialog& dialog) {
            auto& fonts = dynamic_cast<QFontDialog&>(dialog);
            openedWith = fonts.currentFont();
            fonts.setCurrentFont(pickedFont(points));
            return static_cast<int>(answer);
        });
        f.handlers.Button3Click();
    };
    auto pickColour = [&](QColor colour, QDialog::DialogCode answer) {
        test::DialogScript script([&, colour, answer](QDialog& dialog) {
            auto& colours = dynamic_cast<QColorDialog&>(dialog);
            colourOpenedWith = colours.currentColor();
            colours.setCurrentColor(colour);
            return static_cast<int>(answer);
        });
        f.handlers.Button4Click();
    };

    // Never confirmed: the starting font and black.
    pickFont(30, QDialog::Rejected);
    EXPECT_EQ(openedWith.family(), uiFont(11).family());
    EXPECT_EQ(f.handlers.overlayFont(), uiFont(11));
    pickColour(Qt::green, QDialog::Rejected);
    EXPECT_EQ(colourOpenedWith, QColor(Qt::black));
    EXPECT_EQ(f.handlers.overlayColor(), QColor(Qt::black));

    // Confirmed once, then cancelled with another pick: the confirmed one stays and reopens.
    pickFont(18, QDialog::Accepted);
    pickFont(40, QDialog::Rejected);
    EXPECT_EQ(f.handlers.overlayFont().pointSize(), 18);
    EXPECT_EQ(openedWith.pointSize(), 18);
    pickColour(Qt::red, QDialog::Accepted);
    pickColour(Qt::blue, QDialog::Rejected);
    EXPECT_EQ(f.handlers.overlayColor(), QColor(Qt::red));
    EXPECT_EQ(colourOpenedWith, QColor(Qt::red));
}

TEST(OverlayHandlersTest, TextChangesOnlyWithOk) {
    OverlayFixture f;
    EXPECT_FALSE(f.handlers.useOverlay());
    {
        test::DialogScript script([](QDialog& dialog) {
            auto& form = dynamic_cast<TForm2&>(dialog);
            form.Edit1->setText(QStringLiteral("© Anna"));
            form.CheckBox1->setChecked(true);
            form.Button1->click();
            return form.result();
        });
        f.handlers.Button5Click();
        EXPECT_EQ(script.runs(), 1);
    }
    EXPECT_EQ(f.handlers.settings().text, QStringLiteral("© Anna"));
    EXPECT_TRUE(f.handlers.useOverlay());
    {
        // Typed, then closed with the close box.
        test::DialogScript script([](QDialog& dialog) {
            auto& form = dynamic_cast<TForm2&>(dialog);
            form.Edit1->setText(QStringLiteral("Entwurf"));
            form.CheckBox1->setChecked(false);
            form.reject();
            return static_cast<int>(QDialog::Rejected);
        });
        f.handlers.Button5Click();
    }
    EXPECT_EQ(f.handlers.settings().text, QStringLiteral("© Anna"));
    EXPECT_EQ(f.form2.Edit1->text(), QStringLiteral("Entwurf"));
    // The use flag is read from the box itself, OK or not.
    EXPECT_FALSE(f.handlers.useOverlay());
}

TEST(OverlayHandlersTest, TextDialogCentredOnTheMainWindow) {
    QWidget mainWindow;
    mainWindow.setGeometry(100, 50, 794, 576);
    TForm2 form2; // made without a parent, as at start-up
    OverlayHandlers handlers(&form2, &mainWindow);
    QPoint centre;
    test::DialogScript script([&](QDialog& dialog) {
        centre = dialog.geometry().center();
        return static_cast<int>(QDialog::Rejected);
    });
    handlers.Button5Click();
    EXPECT_LE((centre - mainWindow.geometry().center()).manhattanLength(), 2);
}

} // namespace
} // namespace quill
