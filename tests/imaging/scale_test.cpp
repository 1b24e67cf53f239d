// Nearest-neighbour scaling into the output bitmap.

#include "imaging/Scale.h"

#include <QImage>
#include <gtest/gtest.h>

#include <cmath>
#include <set>

namespace quill {
namespace {

// Pixel colour encodes its own coordinates, so every output pixel tells where it came from.
QImage coordinates(int width, int height) {
    QImage image(width, height, QImage::Format_RGB888);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            image.setPixel(x, y, qRgb(x % 256, y % 256, (x / 256) * 16 + y / 256));
        }
    }
    return image;
}

int sourceX(QRgb pixel) {
    return qRed(pixel) + 256 * (qBlue(pixel) / 16);
}
int sourceY(QRgb pixel) {
    return qGreen(pixel) + 256 * (qBlue(pixel) % 16);
}

TEST(ScaleNearest, EveryOutputPixelCopiesOneSourcePixelInOrder) {
    const QImage source = coordinates(640, 480);
    for (const QSize size : {QSize(200, 150), QSize(1000, 37), QSize(3, 700), QSize(1, 1)}) {
        SCOPED_TRACE(::testing::Message() << size.width() << "x" << size.height());
        QImage output;
        stretchNearest(source, output, size);
        ASSERT_EQ(output.size(), size);
        ASSERT_EQ(output.format(), QImage::Format_RGB888);
        std::set<int> rowsUsed;
        for (int y = 0; y < size.height(); ++y) {
            int previousX = -1;
            for (int x = 0; x < size.width(); ++x) {
                const QRgb pixel = output.pixel(x, y);
                // A column's source is the same in every row, a row's source the same in every
                // column: whole rows and columns are kept or dropped, never blended.
                EXPECT_EQ(sourceX(pixel), sourceX(output.pixel(x, 0)));
                EXPECT_EQ(sourceY(pixel), sourceY(output.pixel(0, y)));
                EXPECT_GE(sourceX(pixel), previousX);
                // The sample lies under the output pixel.
                const double centre = (x + 0.5) * 640 / size.width();
                EXPECT_LE(std::abs(sourceX(pixel) + 0.5 - centre), 0.5 + 1e-9);
                previousX = sourceX(pixel);
            }
            rowsUsed.insert(sourceY(output.pixel(0, y)));
        }
        EXPECT_EQ(static_cast<int>(rowsUsed.size()), std::min(480, size.height()));
    }
}

TEST(ScaleNearest, EnlargingRepeatsAndSameSizeCopies) {
    const QImage source = coordinates(3, 2);
    QImage output;
    stretchNearest(source, output, QSize(6, 4));
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 6; ++x) {
            EXPECT_EQ(output.pixel(x, y), source.pixel(x / 2, y / 2)) << x << "," << y;
        }
    }
    const QImage big = coordinates(300, 200);
    stretchNearest(big, output, big.size());
    EXPECT_EQ(output, big);

    // Mirrored pictures scale to mirrored results (an odd source width puts no output centre
    // on a boundary between two source pixels).
    const QImage odd = coordinates(301, 201);
    QImage a;
    QImage b;
    stretchNearest(odd.mirrored(true, false), a, QSize(77, 51));
    stretchNearest(odd, b, QSize(77, 51));
    EXPECT_EQ(a, b.mirrored(true, false));
}

TEST(ScaleNearest, PaletteAndOtherSourcesGiveTrueColour) {
    QImage indexed(4, 2, QImage::Format_Indexed8);
    indexed.setColorTable({qRgb(200, 10, 10), qRgb(10, 200, 10)});
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 4; ++x) {
            indexed.setPixel(x, y, static_cast<uint>((x + y) % 2));
        }
    }
    QImage output;
    stretchNearest(indexed, output, QSize(8, 4));
    ASSERT_EQ(output.format(), QImage::Format_RGB888);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 8; ++x) {
            EXPECT_EQ(output.pixel(x, y), indexed.pixel(x / 2, y / 2));
        }
    }

    QImage argb(5, 5, QImage::Format_ARGB32);
    argb.fill(qRgb(1, 2, 3));
    copyUnscaled(argb, output);
    EXPECT_EQ(output.format(), QImage::Format_RGB888);
    EXPECT_EQ(output.size(), QSize(5, 5));
    EXPECT_EQ(output.pixel(4, 4), qRgb(1, 2, 3));
}

TEST(ScaleToOutput, ResizingOnAndOffAndReuse) {
    const QImage working = coordinates(640, 480);
    QImage output;
    EXPECT_EQ(scaleToOutput(working, output, {true, SizeModeWidth, 200, 200}), QSize(200, 150));
    EXPECT_EQ(output.size(), QSize(200, 150));
    const uchar* memory = output.constBits();
    scaleToOutput(working, output, {true, SizeModeBoth, 200, 150});
    EXPECT_EQ(output.constBits(), memory); // same size: the bitmap is reused

    EXPECT_EQ(scaleToOutput(working, output, {false, SizeModeBoth, 1, 1}), QSize(640, 480));
    EXPECT_EQ(output, working);

    // The working bitmap itself as the output: its pixels survive the detaching copy.
    QImage self = coordinates(10, 10);
    const QImage before = self;
    stretchNearest(self, self, QSize(20, 20));
    EXPECT_EQ(self.pixel(19, 19), before.pixel(9, 9));

    // The 1 x 0 case: written as one pixel.
    const QImage thin = coordinates(1000, 10);
    EXPECT_EQ(scaleToOutput(thin, output, {true, SizeModeWidth, 1, 200}), QSize(1, 1));
    EXPECT_EQ(output.size(), QSize(1, 1));
    EXPECT_EQ(output.pixel(0, 0), thin.pixel(500, 5));

    EXPECT_THROW(stretchNearest(working, output, QSize(MaxOutputSide + 1, 1)), PictureTooLarge);
    EXPECT_EQ(output.size(), QSize(1, 1));
}

} // namespace
} // namespace quill
