#include "browse/Glyphs.h"

#include <QPainter>
#include <QRect>
#include <array>
#include <cstring>

namespace quill {
namespace {

// The sixteen colours of the classic palette, one letter each. '.' is olive, which the art uses
// only as its transparent background.
constexpr std::array<std::pair<char, QRgb>, 16> kPalette = {{
    {'k', 0xff000000},
    {'r', 0xff800000},
    {'g', 0xff008000},
    {'.', 0xff808000},
    {'b', 0xff000080},
    {'m', 0xff800080},
    {'c', 0xff008080},
    {'s', 0xffc0c0c0},
    {'d', 0xff808080},
    {'R', 0xffff0000},
    {'G', 0xff00ff00},
    {'Y', 0xffffff00},
    {'B', 0xff0000ff},
    {'M', 0xffff00ff},
    {'C', 0xff00ffff},
    {'W', 0xffffffff},
}};

const char* const kFloppy[] = {
    "................", "................", ".kkkkkkkkkkkkkk.", ".kWWWWWWWWWWWWk.",
    ".kWssssssssssdk.", ".kWsskkkkkkssdk.", ".kWssssssssssdk.", ".kWssssssssGsdk.",
    ".kddddddddddddk.", ".kkkkkkkkkkkkkk.", "................",
};

const char* const kHard[] = {
    "................", "................", ".kkkkkkkkkkkkkk.", ".kWWWWWWWWWWWWk.",
    ".kWssssssssssdk.", ".kWssssssssssdk.", ".kWssssssssGGdk.", ".kddddddddddddk.",
    ".kkkkkkkkkkkkkk.", "................", "................",
};

const char* const kNetwork[] = {
    ".kkkkkkkkkkkkkk.", ".kWWWWWWWWWWWWk.", ".kWssssssssssdk.", ".kWssssssssGGdk.",
    ".kddddddddddddk.", ".kkkkkkkkkkkkkk.", ".......kk.......", ".......kk.......",
    "kkkkkkkkkkkkkkkk", "................", "................",
};

const char* const kCdRom[] = {
    "................", ".kkkkkkkkkkkkkk.", ".kWWWWWWWWWWWWk.", ".kWssssssssssdk.",
    ".kWkkkkkkkkkkdk.", ".kWssssssssssdk.", ".kWssssssBsGsdk.", ".kddddddddddddk.",
    ".kkkkkkkkkkkkkk.", "....CCCCCCCC....", "................",
};

const char* const kRam[] = {
    "................", "..k.k.k.k.k.k...", ".gggggggggggggg.", ".gkkgkkgkkgkkgg.",
    ".gkkgkkgkkgkkgg.", ".gggggggggggggg.", ".gGgggggggggggg.", ".gggggggggggggg.",
    "..k.k.k.k.k.k...", "................", "................",
};

const char* const kOpenFolder[] = {
    "................", "................", "..kkkkk.........", ".kYYYYYk........",
    ".kYYYYYYYYYk....", ".kYkkkkkkkkkkk..", ".kYkYYYYYYYYYYk.", ".kkYYYYYYYYYYk..",
    ".kkYYYYYYYYYYk..", ".kYYYYYYYYYYk...", ".kYYYYYYYYYYk...", ".kkkkkkkkkkk....",
    "................", "................", "................",
};

const char* const kCurrentFolder[] = {
    "................", "................", "..kkkkk.........", ".kYYYYYk........",
    ".kYYYYYYYYYk....", ".kYkkkkkkkkkkk..", ".kYkWWWWWWWWWWk.", ".kkWWWWWWWWWWk..",
    ".kkWWWWWWWWWWk..", ".kWWWWWWWWWWk...", ".kWWWWWWWWWWk...", ".kkkkkkkkkkk....",
    "................", "................", "................",
};

const char* const kClosedFolder[] = {
    "................", "................", "..kkkkk.........", ".kYWYWYk........",
    ".kkkkkkkkkkkkk..", ".kWYYYYYYYYYYk..", ".kWYYYYYYYYYYk..", ".kWYYYYYYYYYYk..",
    ".kWYYYYYYYYYYk..", ".kWYYYYYYYYYYk..", ".kddddddddddddk.", ".kkkkkkkkkkkkk..",
    "................", "................", "................",
};

const char* const kExecutable[] = {
    "................", "................", ".kkkkkkkkkkkkkk.", ".kBBBBBBBBBBWBk.",
    ".kkkkkkkkkkkkkk.", ".kWWWWWWWWWWWWk.", ".kWWWWWWWWWWWWk.", ".kWWWWWWWWWWWWk.",
    ".kWWWWWWWWWWWWk.", ".kWWWWWWWWWWWWk.", ".kWWWWWWWWWWWWk.", ".kWWWWWWWWWWWWk.",
    ".kkkkkkkkkkkkkk.", "................", "................",
};

const char* const kUnknownFile[] = {
    "................", "...kkkkkkk......", "...kWWWWWkk.....", "...kWWWWWkWk....",
    "...kWWWWWkkkk...", "...kWWWWWWWWk...", "...kWWWWWWWWk...", "...kWWWWWWWWk...",
    "...kWWWWWWWWk...", "...kWWWWWWWWk...", "...kWWWWWWWWk...", "...kWWWWWWWWk...",
    "...kWWWWWWWWk...", "...kkkkkkkkkk...", "................",
};

template <std::size_t N> QImage fromArt(const char* const (&rows)[N]) {
    QImage image(16, int(N), QImage::Format_Indexed8);
    QList<QRgb> colours;
    for (const auto& [letter, rgb] : kPalette) {
        colours << rgb;
    }
    image.setColorTable(colours);
    for (int y = 0; y < int(N); ++y) {
        uchar* line = image.scanLine(y);
        for (int x = 0; x < 16; ++x) {
            const char letter = std::strlen(rows[y]) > std::size_t(x) ? rows[y][x] : '.';
            int index = 3;
            for (int i = 0; i < 16; ++i) {
                if (kPalette[std::size_t(i)].first == letter) {
                    index = i;
                }
            }
            line[x] = uchar(index);
        }
    }
    return image;
}

QImage makeBitmap(Glyph glyph) {
    switch (glyph) {
    case Glyph::Floppy:
        return fromArt(kFloppy);
    case Glyph::Hard:
        return fromArt(kHard);
    case Glyph::Network:
        return fromArt(kNetwork);
    case Glyph::CdRom:
        return fromArt(kCdRom);
    case Glyph::Ram:
        return fromArt(kRam);
    case Glyph::OpenFolder:
        return fromArt(kOpenFolder);
    case Glyph::CurrentFolder:
        return fromArt(kCurrentFolder);
    case Glyph::ClosedFolder:
        return fromArt(kClosedFolder);
    case Glyph::Executable:
        return fromArt(kExecutable);
    case Glyph::UnknownFile:
        break;
    }
    return fromArt(kUnknownFile);
}

QImage makeTransparent(const QImage& bitmap) {
    QImage image = bitmap.convertToFormat(QImage::Format_ARGB32);
    const QRgb key = image.pixel(0, image.height() - 1);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (line[x] == key) {
                line[x] = 0;
            }
        }
    }
    return image;
}

constexpr int kGlyphCount = int(Glyph::UnknownFile) + 1;

} // namespace

const QImage& glyphBitmap(Glyph glyph) {
    static const std::array<QImage, kGlyphCount> bitmaps = [] {
        std::array<QImage, kGlyphCount> all;
        for (int i = 0; i < kGlyphCount; ++i) {
            all[std::size_t(i)] = makeBitmap(Glyph(i));
        }
        return all;
    }();
    return bitmaps[std::size_t(glyph)];
}

const QImage& glyphImage(Glyph glyph) {
    static const std::array<QImage, kGlyphCount> images = [] {
        std::array<QImage, kGlyphCount> all;
        for (int i = 0; i < kGlyphCount; ++i) {
            all[std::size_t(i)] = makeTransparent(glyphBitmap(Glyph(i)));
        }
        return all;
    }();
    return images[std::size_t(glyph)];
}

void drawGlyph(QPainter& painter, Glyph glyph, int x, const QRect& entry) {
    const QImage& image = glyphImage(glyph);
    painter.drawImage(x, entry.top() + (entry.height() - image.height()) / 2, image);
}

void drawListEntry(QPainter& painter, const QStyleOptionViewItem& option, const QFont& font,
                   std::optional<Glyph> glyph, int glyphLeft, const QString& text) {
    const bool selected = option.state & QStyle::State_Selected;
    const QRect& rect = option.rect;
    painter.fillRect(rect, option.palette.brush(selected ? QPalette::Highlight : QPalette::Base));
    int textLeft = rect.left() + 2;
    if (glyph) {
        drawGlyph(painter, *glyph, glyphLeft, rect);
        textLeft = glyphLeft + glyphImage(*glyph).width() + 4;
    }
    painter.setFont(font);
    painter.setPen(option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
    painter.drawText(QRect(textLeft, rect.top(), rect.right() - textLeft + 1, rect.height()),
                     Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
}

} // namespace quill
