#pragma once
// Assertions on pictures decoded from the quadrant fixtures.

#include "LoadingFixtures.h"

#include <QPoint>
#include <gtest/gtest.h>

namespace quill::test::fixtures {

// Checks the centre of each quadrant (JPEG blurs the borders).
inline ::testing::AssertionResult showsQuadrants(const QImage& image, int width, int height,
                                                 int tolerance = 0) {
    if (image.width() != width || image.height() != height) {
        return ::testing::AssertionFailure() << "size " << image.width() << "x" << image.height()
                                             << ", expected " << width << "x" << height;
    }
    const std::array<QPoint, 4> probes{
        QPoint(width / 4, height / 4), QPoint(3 * width / 4, height / 4),
        QPoint(width / 4, 3 * height / 4), QPoint(3 * width / 4, 3 * height / 4)};
    for (const QPoint& p : probes) {
        const QRgb got = image.pixel(p);
        const QRgb want = quadrantColour(p.x(), p.y(), width, height);
        if (!closeTo(got, want, tolerance)) {
            return ::testing::AssertionFailure()
                   << "pixel (" << p.x() << "," << p.y() << ") is " << qRed(got) << ","
                   << qGreen(got) << "," << qBlue(got) << ", expected " << qRed(want) << ","
                   << qGreen(want) << "," << qBlue(want);
        }
    }
    return ::testing::AssertionSuccess();
}

} // namespace quill::test::fixtures
