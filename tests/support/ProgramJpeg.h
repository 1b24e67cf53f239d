#pragma once
// JPEG files as the program itself writes them (its encoder with its defaults), and a picture
// with detail everywhere to fill them. Header only; whoever includes it links the imaging
// library.

#include "imaging/JpegImage.h"

#include <QByteArray>
#include <QImage>

namespace quill::test {

// A picture with detail everywhere, so that every part of its data matters.
inline QImage detailedPicture(int width, int height) {
    QImage image(width, height, QImage::Format_RGB888);
    for (int y = 0; y < height; ++y) {
        uchar* row = image.scanLine(y);
        for (int x = 0; x < width * 3; ++x) {
            row[x] = uchar((x * 7 + y * 13) ^ (x * y));
        }
    }
    return image;
}

// The picture as the program's encoder writes it, baseline or progressive.
inline QByteArray programJpeg(const QImage& image, bool progressive = false) {
    TJPEGImage encoder;
    encoder.SetProgressiveEncoding(progressive);
    encoder.Assign(image);
    encoder.JPEGNeeded();
    return encoder.Data().Data;
}

} // namespace quill::test
