#pragma once
// The plain picture control (`TImage`) of the forms.

#include <QImage>
#include <QPixmap>
#include <QWidget>

namespace quill {

// Shows one picture, either at its own size from the top-left corner or stretched to the
// control's size. The stretched look is made once, smoothly, whenever the picture or the size
// changes, so painting is a plain copy even for a 24-megapixel picture.
class TImage : public QWidget {
    Q_OBJECT
public:
    explicit TImage(QWidget* parent = nullptr);

    void setPicture(const QImage& picture);
    void setPicture(QImage&& picture);
    // Takes another picture and another place at once: the picture held so far is let go before
    // the control moves, so only the new one is ever scaled to the new size.
    void setPicture(const QImage& picture, const QRect& place);
    const QImage& picture() const { return picture_; }

    // Lets go of the picture while its look stays on screen, so that a large picture is not held
    // while the next one is being made. The next setPicture replaces the look.
    void releasePicture() { picture_ = QImage(); }

    void setStretch(bool stretch);
    bool stretch() const { return stretch_; }

signals:
    void clicked();
    void doubleClicked();
    // A new picture was set (also an empty one).
    void pictureChanged();
    void mouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint pos);
    void mouseMoved(Qt::KeyboardModifiers modifiers, QPoint pos);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    // With the keyboard focus (given by the window), Space and Enter click it.
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void rebuildShown();

    QImage picture_;
    QPixmap shown_;
    QPixmap stretched_; // the last stretched look, and the picture it was made of
    qint64 stretchedKey_ = 0;
    bool stretch_ = false;
    bool pressed_ = false;
};

} // namespace quill
