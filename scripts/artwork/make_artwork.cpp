// Draws the program's embedded pictures (web-link banner, About strip, red cross, icon) into
// resources/. Run once by scripts/make-artwork.sh; the results are committed.

#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

namespace {

QImage verticalText(QSize size, QColor background, QColor ink, const QString& text, QFont font) {
    QImage image(size, QImage::Format_RGB888);
    image.fill(background);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    // Reading from bottom to top: turn the drawing surface a quarter to the left.
    p.translate(0, size.height());
    p.rotate(-90);
    p.setFont(font);
    p.setPen(ink);
    p.drawText(QRect(0, 0, size.height(), size.width()), Qt::AlignCenter, text);
    return image;
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");

    QFont banner(QStringLiteral("DejaVu Sans"));
    banner.setPixelSize(17);
    banner.setBold(true);
    QImage web = verticalText(QSize(60, 225), QColor(200, 16, 32), Qt::white,
                              QStringLiteral("quillmere.example.org"), banner);
    {
        // A thin light frame so the banner reads as a link, not as a stripe of colour.
        QPainter p(&web);
        p.setPen(QColor(255, 200, 200));
        p.drawRect(2, 2, 55, 220);
    }
    web.save(out + QStringLiteral("/weblink.jpg"), "JPG", 92);

    QFont about(QStringLiteral("DejaVu Sans"));
    about.setPixelSize(13);
    about.setItalic(true);
    about.setBold(true);
    verticalText(QSize(20, 225), QColor(222, 222, 222), QColor(210, 20, 30),
                 QStringLiteral("about Quillmere"), about)
        .save(out + QStringLiteral("/about.jpg"), "JPG", 92);

    QImage cross(26, 20, QImage::Format_RGB888);
    cross.fill(Qt::white);
    {
        QPainter p(&cross);
        p.fillRect(10, 2, 6, 16, QColor(220, 5, 27));
        p.fillRect(5, 7, 16, 6, QColor(220, 5, 27));
    }
    cross.save(out + QStringLiteral("/redcross.bmp"), "BMP");

    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        QImage icon(size, size, QImage::Format_ARGB32);
        icon.fill(Qt::transparent);
        QPainter p(&icon);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / 64.0, size / 64.0);
        p.setBrush(QColor(133, 148, 216));
        p.setPen(Qt::NoPen);
        p.drawRoundedRect(QRectF(4, 4, 56, 56), 10, 10);
        // A picture frame with a mountain and a sun: what the program works on.
        p.setBrush(Qt::white);
        p.drawRoundedRect(QRectF(12, 14, 40, 32), 3, 3);
        p.setBrush(QColor(156, 180, 188));
        QPainterPath hill;
        hill.moveTo(14, 44);
        hill.lineTo(27, 26);
        hill.lineTo(35, 36);
        hill.lineTo(41, 30);
        hill.lineTo(50, 44);
        hill.closeSubpath();
        p.drawPath(hill);
        p.setBrush(QColor(251, 200, 21));
        p.drawEllipse(QPointF(42, 21), 4, 4);
        // The quill: a red stroke over the corner.
        p.setPen(QPen(QColor(220, 5, 27), 3, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(38, 54), QPointF(56, 36));
        p.end();
        icon.save(out + QStringLiteral("/quillmere-%1.png").arg(size), "PNG");
    }
    return 0;
}
