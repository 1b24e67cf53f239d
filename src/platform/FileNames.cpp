#include "platform/FileNames.h"

#include <QStringView>
#include <QUtf8StringView>

namespace quill {
namespace {

constexpr char16_t escapeBase = 0xDC00;

bool isEscapedByte(char16_t unit) {
    return unit >= escapeBase + 0x80 && unit <= escapeBase + 0xFF;
}

// Length of the valid UTF-8 sequence starting at bytes[i], or 0 when there is none (stray
// continuation bytes, overlong forms, encoded surrogates, values beyond U+10FFFF, cut sequences).
int validSequenceLength(const unsigned char* bytes, qsizetype i, qsizetype size) {
    const unsigned char lead = bytes[i];
    int length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) {
            low = 0xA0;
        } else if (lead == 0xED) {
            high = 0x9F;
        }
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) {
            low = 0x90;
        } else if (lead == 0xF4) {
            high = 0x8F;
        }
    } else {
        return 0;
    }
    if (i + length > size || bytes[i + 1] < low || bytes[i + 1] > high) {
        return 0;
    }
    for (int k = 2; k < length; ++k) {
        if ((bytes[i + k] & 0xC0) != 0x80) {
            return 0;
        }
    }
    return length;
}

} // namespace

QString decodeFileName(const QByteArray& bytes) {
    if (QUtf8StringView(bytes).isValidUtf8()) {
        return QString::fromUtf8(bytes);
    }
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype size = bytes.size();
    QString name;
    name.reserve(size);
    qsizetype i = 0;
    while (i < size) {
        if (data[i] < 0x80) {
            name += QChar(char16_t(data[i]));
            ++i;
            continue;
        }
        const int length = validSequenceLength(data, i, size);
        if (length == 0) {
            name += QChar(char16_t(escapeBase + data[i]));
            ++i;
            continue;
        }
        name += QString::fromUtf8(bytes.constData() + i, length);
        i += length;
    }
    return name;
}

QByteArray encodeFileName(const QString& name) {
    const QStringView units(name);
    bool escaped = false;
    for (const QChar unit : units) {
        if (isEscapedByte(unit.unicode())) {
            escaped = true;
            break;
        }
    }
    if (!escaped) {
        return name.toUtf8();
    }
    QByteArray bytes;
    bytes.reserve(name.size());
    qsizetype runStart = 0;
    for (qsizetype i = 0; i < units.size(); ++i) {
        const char16_t unit = units[i].unicode();
        // A low surrogate right after a high one is half of a real character, not a byte.
        const bool paired = i > 0 && units[i - 1].isHighSurrogate();
        if (isEscapedByte(unit) && !paired) {
            bytes += units.mid(runStart, i - runStart).toUtf8();
            bytes += char(unit - escapeBase);
            runStart = i + 1;
        }
    }
    bytes += units.mid(runStart).toUtf8();
    return bytes;
}

} // namespace quill
