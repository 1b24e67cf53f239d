#include "imaging/SizeRules.h"

#include <algorithm>
#include <limits>

namespace quill {

QString explanationText(int sizeMode) {
    switch (sizeMode) {
    case SizeModeWidth:
        return QStringLiteral("Höhe wird proportional berechnet");
    case SizeModeHeight:
        return QStringLiteral("Breite wird proportional berechnet");
    case SizeModeBoth:
        return QStringLiteral("Angaben für Breite und Höhe werden verwendet");
    default:
        return QStringLiteral(
            "Bei Querformat wird Breite verwendet und Höhe berechnet - Bei Hochformat umgekehrt");
    }
}

QString originalSizeText() {
    return QStringLiteral("Originalgrösse bleibt erhalten");
}

QString targetsNotPositiveText() {
    return QStringLiteral(" Breite und Höhe müssen grösser als 0 sein ! ");
}

QString targetsTooLargeText() {
    return QStringLiteral(" Breite und Höhe dürfen höchstens %1 sein ! ").arg(MaxOutputSide);
}

bool fitsOutputLimits(std::int64_t width, std::int64_t height) {
    if (width < 1 || height < 1 || width > MaxOutputSide || height > MaxOutputSide) {
        return false;
    }
    return width * height * 3 <= MaxOutputBytes;
}

PictureTooLarge::PictureTooLarge(std::int64_t width, std::int64_t height)
    : Failure(QStringLiteral("Das Bild ist zu groß: %1 x %2 Pixel").arg(width).arg(height)) {}

int readDecimalInteger(const QString& text) {
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && text.at(i).isSpace()) {
        ++i;
    }
    bool negative = false;
    if (i < n && (text.at(i) == QLatin1Char('+') || text.at(i) == QLatin1Char('-'))) {
        negative = text.at(i) == QLatin1Char('-');
        ++i;
    }
    // Accumulate the magnitude in 64 bits and stop growing once it is past any 32-bit value.
    std::int64_t magnitude = 0;
    constexpr std::int64_t cap = std::int64_t{std::numeric_limits<int>::max()} + 1;
    for (; i < n; ++i) {
        const char16_t c = text.at(i).unicode();
        if (c < u'0' || c > u'9') {
            break;
        }
        magnitude = std::min(cap, magnitude * 10 + (c - u'0'));
    }
    const std::int64_t value = negative ? -magnitude : magnitude;
    return static_cast<int>(std::clamp<std::int64_t>(value, std::numeric_limits<int>::min(),
                                                     std::numeric_limits<int>::max()));
}

TargetCheck checkTargets(int targetWidth, int targetHeight, int sizeMode) {
    if (targetWidth < 1 || targetHeight < 1) {
        return TargetCheck::NotPositive;
    }
    if (targetWidth > MaxOutputSide || targetHeight > MaxOutputSide) {
        return TargetCheck::TooLarge;
    }
    if (sizeMode == SizeModeBoth && !fitsOutputLimits(targetWidth, targetHeight)) {
        return TargetCheck::TooLarge;
    }
    return TargetCheck::Ok;
}

int Scale(int target, int a, int b) {
    if (a == 0) {
        return 0;
    }
    const double quotient = static_cast<double>(target) / a;
    // The product passes through single precision on purpose: 200 / 2272 * 1420 is a hair below
    // 125 in double precision but exactly 125 as a float, and 125 is the height users expect.
    const float product = static_cast<float>(quotient * b);
    if (product >= 2147483648.0f) {
        return std::numeric_limits<int>::max();
    }
    if (product <= -2147483648.0f) {
        return std::numeric_limits<int>::min();
    }
    return static_cast<int>(product);
}

QSize ComputeOutputSize(int width, int height, const SizeRule& rule) {
    int outWidth = width;
    int outHeight = height;
    if (rule.resize) {
        const int tw = rule.targetWidth;
        const int th = rule.targetHeight;
        switch (rule.mode) {
        case SizeModeWidth:
            outWidth = tw;
            outHeight = Scale(tw, width, height);
            break;
        case SizeModeHeight:
            outWidth = Scale(th, height, width);
            outHeight = th;
            break;
        case SizeModeBoth:
            outWidth = tw;
            outHeight = th;
            break;
        default:
            if (height > width) {
                outWidth = Scale(th, height, width);
                outHeight = th;
            } else {
                outWidth = tw;
                outHeight = Scale(tw, width, height);
            }
            break;
        }
    }
    return {std::max(1, outWidth), std::max(1, outHeight)};
}

} // namespace quill
