// Turning and mirroring against a reference built the slow way: first the turn, then the mirror,
// each as its own plain pixel loop.

#include "imaging/Rotate.h"
#include "imaging/SizeRules.h"

#include <QImage>
#include <gtest/gtest.h>

#include <stdexcept>

namespace quill {
namespace {

// Every pixel a different colour, so any misplaced pixel shows.
QImage pattern(int width, int height) {
    QImage image(width, height, QImage::Format_RGB888);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            image.setPixel(x, y, qRgb((x * 37 + y) % 256, (y * 53 + x / 7) % 256, (x ^ y) % 256));
        }
    }
    return image;
}

QImage turnCounterClockwise(const QImage& in) {
    QImage out(in.height(), in.width(), QImage::Format_RGB888);
    for (int y = 0; y < in.height(); ++y) {
        for (int x = 0; x < in.width(); ++x) {
            out.setPixel(y, in.width() - 1 - x, in.pixel(x, y));
        }
    }
    return out;
}

QImage reverseColumns(const QImage& in) {
    QImage out(in.size(), QImage::Format_RGB888);
    for (int y = 0; y < in.height(); ++y) {
        for (int x = 0; x < in.width(); ++x) {
            out.setPixel(in.width() - 1 - x, y, in.pixel(x, y));
        }
    }
    return out;
}

QImage reverseRows(const QImage& in) {
    QImage out(in.size(), QImage::Format_RGB888);
    for (int y = 0; y < in.height(); ++y) {
        for (int x = 0; x < in.width(); ++x) {
            out.setPixel(x, in.height() - 1 - y, in.pixel(x, y));
        }
    }
    return out;
}

// Turn first, then mirror the turned picture.
QImage reference(const QImage& source, int code) {
    QImage image = source.convertToFormat(QImage::Format_RGB888);
    int quarters = 0; // counter-clockwise
    if (code & TurnLeft) {
        quarters = 1;
    } else if (code & TurnRight) {
        quarters = 3;
    } else if (code & TurnHalf) {
        quarters = 2;
    }
    for (int i = 0; i < quarters; ++i) {
        image = turnCounterClockwise(image);
    }
    if (code & MirrorHorizontal) {
        image = reverseColumns(image);
    }
    if (code & MirrorVertical) {
        image = reverseRows(image);
    }
    return image;
}

::testing::AssertionResult samePixels(const QImage& actual, const QImage& expected) {
    if (actual.size() != expected.size()) {
        return ::testing::AssertionFailure()
               << "size " << actual.width() << "x" << actual.height() << ", expected "
               << expected.width() << "x" << expected.height();
    }
    for (int y = 0; y < actual.height(); ++y) {
        for (int x = 0; x < actual.width(); ++x) {
            if (actual.pixel(x, y) != expected.pixel(x, y)) {
                return ::testing::AssertionFailure() << "pixel " << x << "," << y << " differs";
            }
        }
    }
    return ::testing::AssertionSuccess();
}

constexpr int kCodes[] = {1, 2, 4, 8, 9, 10, 12, 16, 17, 18, 20};

TEST(RotateTable, EveryCodeEqualsTurnThenMirror) {
    // 5 x 3 is the small asymmetric case; 75 x 41 crosses the tile edges of the quarter turns.
    for (const QSize size : {QSize(5, 3), QSize(75, 41), QSize(33, 64)}) {
        const QImage source = pattern(size.width(), size.height());
        for (int code : kCodes) {
            SCOPED_TRACE(::testing::Message()
                         << "code " << code << " on " << size.width() << "x" << size.height());
            const QImage result = rotatedAndMirrored(source, code);
            EXPECT_EQ(result.format(), QImage::Format_RGB888);
            EXPECT_TRUE(samePixels(result, reference(source, code)));
        }
    }
}

TEST(RotateTable, QuarterTurnsOf640x480MoveTheCorners) {
    const QImage source = pattern(640, 480);
    const QImage left = rotatedAndMirrored(source, TurnLeft);
    EXPECT_EQ(left.size(), QSize(480, 640));
    EXPECT_EQ(left.pixel(0, 0), source.pixel(639, 0));
    EXPECT_EQ(left.pixel(479, 639), source.pixel(0, 479));

    const QImage right = rotatedAndMirrored(source, TurnRight);
    EXPECT_EQ(right.size(), QSize(480, 640));
    EXPECT_EQ(right.pixel(479, 0), source.pixel(0, 0));
    EXPECT_EQ(right.pixel(0, 639), source.pixel(639, 479));

    const QImage half = rotatedAndMirrored(source, TurnHalf);
    EXPECT_EQ(half.size(), QSize(640, 480));
    EXPECT_EQ(half.pixel(0, 0), source.pixel(639, 479));
}

TEST(RotateTable, CodesThatGiveTheSamePicture) {
    const QImage source = pattern(9, 4);
    auto same = [&](int a, int b) {
        return samePixels(rotatedAndMirrored(source, a), rotatedAndMirrored(source, b));
    };
    EXPECT_TRUE(same(TurnHalf | MirrorVertical, MirrorHorizontal));
    EXPECT_TRUE(same(TurnHalf | MirrorHorizontal, MirrorVertical));
    EXPECT_TRUE(same(TurnLeft | MirrorVertical, TurnRight | MirrorHorizontal));
    EXPECT_TRUE(same(TurnLeft | MirrorHorizontal, TurnRight | MirrorVertical));
    // Mirrors agree with Qt's own.
    EXPECT_TRUE(
        samePixels(rotatedAndMirrored(source, MirrorHorizontal), source.mirrored(true, false)));
    EXPECT_TRUE(
        samePixels(rotatedAndMirrored(source, MirrorVertical), source.mirrored(false, true)));
}

TEST(RotateTable, SinglePixelRowsAndColumns) {
    for (const QSize size : {QSize(1, 7), QSize(7, 1), QSize(1, 1)}) {
        const QImage source = pattern(size.width(), size.height());
        for (int code : kCodes) {
            SCOPED_TRACE(::testing::Message()
                         << "code " << code << " on " << size.width() << "x" << size.height());
            const QImage result = rotatedAndMirrored(source, code);
            const QSize expected = turnsByQuarter(code) ? size.transposed() : size;
            EXPECT_EQ(result.size(), expected);
            EXPECT_TRUE(samePixels(result, reference(source, code)));
        }
    }
}

TEST(RotateSources, PaletteAndOtherFormatsComeBackAsTrueColour) {
    QImage indexed(6, 4, QImage::Format_Indexed8);
    indexed.setColorTable({qRgb(255, 0, 0), qRgb(0, 200, 0), qRgb(10, 20, 250), qRgb(9, 9, 9)});
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 6; ++x) {
            indexed.setPixel(x, y, static_cast<uint>((x + 2 * y) % 4));
        }
    }
    for (int code : {0, 1, 2, 4, 8, 9, 10, 12, 16, 17, 18, 20}) {
        SCOPED_TRACE(::testing::Message() << "code " << code);
        const QImage result = rotatedAndMirrored(indexed, code);
        EXPECT_EQ(result.format(), QImage::Format_RGB888);
        EXPECT_TRUE(samePixels(result, reference(indexed, code)));
    }

    // Palette entries the table does not hold read as black, never as stray memory.
    QImage shortTable(2, 1, QImage::Format_Indexed8);
    shortTable.setColorTable({qRgb(1, 2, 3)});
    shortTable.bits()[0] = 0;
    shortTable.bits()[1] = 200;
    const QImage fromShort = rotatedAndMirrored(shortTable, MirrorHorizontal);
    EXPECT_EQ(fromShort.pixel(0, 0), qRgb(0, 0, 0));
    EXPECT_EQ(fromShort.pixel(1, 0), qRgb(1, 2, 3));

    QImage grey(3, 2, QImage::Format_Grayscale8);
    grey.fill(0);
    grey.bits()[0] = 77;
    const QImage fromGrey = rotatedAndMirrored(grey, TurnRight);
    EXPECT_EQ(fromGrey.format(), QImage::Format_RGB888);
    EXPECT_EQ(fromGrey.size(), QSize(2, 3));
    EXPECT_EQ(fromGrey.pixel(1, 0), qRgb(77, 77, 77));
}

TEST(RotateInPlace, RewritesTheBitmapAndRefusesUnknownCodes) {
    QImage bitmap = pattern(4, 2);
    const QImage original = bitmap;
    RotateAndMirror(bitmap, TurnLeft | MirrorVertical);
    EXPECT_TRUE(samePixels(bitmap, reference(original, TurnLeft | MirrorVertical)));
    // The copy shared with the caller is untouched.
    EXPECT_TRUE(samePixels(original, pattern(4, 2)));

    QImage kept = pattern(4, 2);
    for (int bad : {3, 5, 6, 24, 28, -1, 32}) {
        EXPECT_FALSE(isTransformCode(bad));
        EXPECT_THROW(RotateAndMirror(kept, bad), std::invalid_argument);
    }
    EXPECT_TRUE(samePixels(kept, pattern(4, 2)));

    QImage empty;
    RotateAndMirror(empty, TurnRight);
    EXPECT_TRUE(empty.isNull());
}

} // namespace
} // namespace quill
