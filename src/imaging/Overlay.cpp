#include "imaging/Overlay.h"

#include "platform/Fonts.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>

namespace quill {

OverlaySettings defaultOverlaySettings() {
    return {QString(), uiFont(11), QColor(Qt::black)};
}

QFont overlayPixelFont(const QFont& font) {
    QFont pixelFont = font;
    if (pixelFont.pixelSize() <= 0) {
        const qreal points = pixelFont.pointSizeF() > 0 ? pixelFont.pointSizeF() : 8.0;
        pixelFont.setPixelSize(std::max(1, qRound(points * 96.0 / 72.0)));
    }
    return pixelFont;
}

QSize PrepareOverlay(const OverlaySettings& settings) {
    const QFontMetrics metrics(overlayPixelFont(settings.font));
    return {metrics.horizontalAdvance(settings.text), metrics.height()};
}

QPoint overlayPosition(QSize output, QSize extent) {
    const int y = extent.height() > output.height() ? 0 : output.height() - extent.height();
    const int x = extent.width() > output.width() ? 0 : output.width() - extent.width();
    return {x, y};
}

void StampOverlayText(QImage& output, const OverlaySettings& settings, QSize extent) {
    if (output.isNull() || settings.text.isEmpty()) {
        return;
    }
    if (output.format() == QImage::Format_Indexed8) {
        // A palette bitmap has no drawing surface of its own here.
        output = output.convertToFormat(QImage::Format_RGB888);
    }
    const QFont font = overlayPixelFont(settings.font);
    const QPoint at = overlayPosition(output.size(), extent);
    QPainter painter(&output);
    painter.setFont(font);
    painter.setPen(settings.color);
    painter.setBrush(Qt::NoBrush);
    painter.setBackgroundMode(Qt::TransparentMode);
    painter.drawText(QPoint(at.x(), at.y() + painter.fontMetrics().ascent()), settings.text);
}

} // namespace quill
