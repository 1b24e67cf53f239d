#pragma once
// The one line of text a run can stamp into the bottom right corner of every output picture.

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPoint>
#include <QSize>
#include <QString>

namespace quill {

struct OverlaySettings {
    QString text;
    QFont font;
    QColor color;
};

// Empty text in the framework's default font (the UI face at 11 pixels) and black.
OverlaySettings defaultOverlaySettings();

// The font as it is drawn: its point size turned into pixels at 96 pixels per inch (8 points give
// 11 pixels), so the text has the same size whatever the screen or the bitmap's resolution.
QFont overlayPixelFont(const QFont& font);

// Overlay preparation, once per run: the text's width and height in pixels in the overlay font.
QSize PrepareOverlay(const OverlaySettings& settings);

// Where the text's top left corner goes on a picture of `output` size: touching the right and
// bottom edges, or at 0 where the text is wider or taller than the picture.
QPoint overlayPosition(QSize output, QSize extent);

// Draws the text in one line at overlayPosition(), in the overlay font and colour, leaving the
// background untouched and cutting what falls outside the picture. A null bitmap or an empty
// text draws nothing.
void StampOverlayText(QImage& output, const OverlaySettings& settings, QSize extent);

} // namespace quill
