// The formats of phones, the web and cameras, read through the decoder process: upright by their
// own orientation rules (never twice), alpha on white, colour descriptions converted to sRGB,
// deeper samples to 8 bits; cut and damaged files refused.

#include "LoadingFixtures.h"
#include "ModernFixtures.h"
#include "imaging/DecoderService.h"
#include "imaging/ImageLoading.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

namespace quill {
namespace {

namespace m = test::modern;

const QColor red(220, 30, 30);
const QColor grey(128, 128, 128);
const QColor white(255, 255, 255);

// Where the stored top left corner shows after an EXIF orientation: 0 top left, 1 top right,
// 2 bottom right, 3 bottom left.
int cornerAfter(int orientation) {
    constexpr int corners[9] = {0, 0, 1, 2, 3, 0, 1, 2, 3};
    return corners[orientation];
}

QPoint inside(int corner, QSize size) {
    const int x = corner == 1 || corner == 2 ? size.width() - 4 : 3;
    const int y = corner >= 2 ? size.height() - 4 : 3;
    return {x, y};
}

struct Case {
    QString name;
    QByteArray bytes;
    QSize size;      // upright
    QPoint marker;   // a pixel of the red block, upright
    QPoint plain;    // a pixel away from it
    QColor plainWas; // what that pixel shows
    int tolerance;   // lossy codecs
    QColor markerWas = red;
};

Case turned(const QString& name, const QByteArray& bytes, int orientation, int tolerance,
            QColor plainWas = grey) {
    const QSize size = orientation >= 5 ? QSize(24, 32) : QSize(32, 24);
    const int corner = cornerAfter(orientation);
    return {name,     bytes,    size, inside(corner, size), inside((corner + 2) % 4, size),
            plainWas, tolerance};
}

bool near(QColor got, QColor want, int tolerance) {
    return std::abs(got.red() - want.red()) <= tolerance &&
           std::abs(got.green() - want.green()) <= tolerance &&
           std::abs(got.blue() - want.blue()) <= tolerance;
}

class ModernFormats : public ::testing::Test {
protected:
    static void SetUpTestSuite() { startDecoderService(); }
    static void TearDownTestSuite() { stopDecoderService(); }

    LoadResult load(const QString& name, const QByteArray& bytes) {
        const QString file = dir.filePath(name);
        EXPECT_TRUE(test::fixtures::writeBytes(file, bytes)) << name.toStdString();
        bitmap = QImage();
        return LoadPictureFile(bitmap, jpeg, file);
    }

    std::vector<Case> cases() {
        std::vector<Case> all;
        for (int o = 1; o <= 8; ++o) {
            // The phone's way: the turn in the container and in EXIF, applied once.
            all.push_back(turned(QStringLiteral("turned-%1.heic").arg(o),
                                 m::heif(m::marked(), {.orientation = o, .exifOrientation = o}), o,
                                 12));
            all.push_back(
                turned(QStringLiteral("turned-%1.jxl").arg(o), m::jxl(m::marked(), o), o, 0));
        }
        all.push_back(turned(
            QStringLiteral("ten-bit.avif"),
            m::heif(m::marked(), {.codec = heif_compression_AV1, .orientation = 6, .bits = 10}), 6,
            12));
        const QImage clear = m::marked(32, 24, QColor(0, 0, 255, 0));
        all.push_back(turned(QStringLiteral("alpha.heic"), m::heif(clear, {}), 1, 12, white));
        all.push_back(turned(QStringLiteral("alpha.webp"), m::webp(clear), 1, 0, white));
        all.push_back(turned(QStringLiteral("still.webp"), m::webp(m::marked()), 1, 0));
        // Display P3's (200, 100, 60) is sRGB's (215, 93, 47), its (220, 30, 30) sRGB's (240, 0,
        // 0).
        Case p3 = turned(QStringLiteral("p3.heic"),
                         m::heif(m::marked(32, 24, QColor(200, 100, 60)), {.displayP3 = true}), 1,
                         6, QColor(215, 93, 47));
        p3.markerWas = QColor(240, 0, 0);
        all.push_back(p3);
        // The first frame at (8, 6) of its larger canvas, the rest of which is transparent.
        all.push_back({QStringLiteral("animated.webp"), m::webp(m::marked(), true), QSize(44, 34),
                       QPoint(11, 9), QPoint(2, 2), white, 0});
        all.push_back({QStringLiteral("frame.gif"), m::gif(), QSize(12, 10), QPoint(2, 3),
                       QPoint(4, 2), white, 0});
        for (int o : {1, 6, 3}) {
            const QString name = QStringLiteral("bayer-%1.dng").arg(o);
            all.push_back(turned(name, m::dng(m::marked(), o, dir.filePath(name + ".tif")), o, -1));
        }
        return all;
    }

    QTemporaryDir dir;
    QImage bitmap;
    TJPEGImage jpeg;
};

TEST_F(ModernFormats, EachComesOutUprightInSrgbWithAlphaOnWhite) {
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.name.toStdString());
        const LoadResult result = load(c.name, c.bytes);
        ASSERT_EQ(result.outcome, LoadOk) << result.detail.toStdString();
        ASSERT_EQ(bitmap.size(), c.size);
        const QColor marker = bitmap.pixelColor(c.marker);
        const QColor plain = bitmap.pixelColor(c.plain);
        if (c.tolerance < 0) {
            // A demosaic develops its own colours: the block only has to be the red one.
            EXPECT_GT(marker.red(), marker.green() + 60);
            EXPECT_LT(plain.red(), plain.green() + 30);
        } else {
            EXPECT_TRUE(near(marker, c.markerWas, c.tolerance)) << marker.name().toStdString();
            EXPECT_TRUE(near(plain, c.plainWas, c.tolerance)) << plain.name().toStdString();
        }
    }
}

TEST_F(ModernFormats, CutAndDamagedFilesAreRefused) {
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.name.toStdString());
        EXPECT_EQ(
            load(QStringLiteral("cut-") + c.name, c.bytes.left(c.bytes.size() * 2 / 3)).outcome,
            LoadFailed);
        QByteArray damaged = c.bytes;
        damaged.replace(0, 16, QByteArray(16, '\x5a'));
        EXPECT_EQ(load(QStringLiteral("damaged-") + c.name, damaged).outcome, LoadFailed);
    }
}

} // namespace
} // namespace quill
