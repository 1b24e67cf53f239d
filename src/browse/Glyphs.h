#pragma once
// The small 16-colour pictures of the drive, folder and file lists. Each is drawn transparently:
// its bottom-left pixel names the colour that is left out.

#include <QImage>

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

} // namespace quill
