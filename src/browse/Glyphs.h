#pragma once
// The small 16-colour pictures of the drive, folder and file lists. Each is drawn transparently:
// its bottom-left pixel names the colour that is left out.

#include <QImage>
#include <QStyleOptionViewItem>
#include <optional>

class QPainter;
class QRect;

namespace quill {

enum class Glyph {
    Floppy,
    Hard,
    Network,
    CdRom,
    Ram,
    OpenFolder,
    CurrentFolder,
    ClosedFolder,
    Executable,
    UnknownFile,
};

// The picture as stored: 16 colours with a palette (Format_Indexed8).
const QImage& glyphBitmap(Glyph glyph);

// The picture ready to draw, its transparent colour taken out.
const QImage& glyphImage(Glyph glyph);

// Draws the glyph with its left edge at x, vertically centred in the entry rectangle.
void drawGlyph(QPainter& painter, Glyph glyph, int x, const QRect& entry);

// Paints one entry of a list: the background (highlighted when selected), the glyph with its left
// edge at glyphLeft (none without a glyph), and the text 4 pixels after the glyph, or 2 pixels in
// from the left edge without one.
void drawListEntry(QPainter& painter, const QStyleOptionViewItem& option, const QFont& font,
                   std::optional<Glyph> glyph, int glyphLeft, const QString& text);

} // namespace quill
