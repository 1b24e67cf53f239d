#pragma once
// Synthesised pointer events for the custom controls, and a stand-in for the pointer's screen
// position (the offscreen platform has no real pointer).

#include "controls/ButtonBase.h"

#include <QCoreApplication>
#include <QEnterEvent>
#include <QImage>
#include <QMouseEvent>
#include <QObject>
#include <QWidget>

#include <functional>

namespace quill::test {

inline void sendEnter(QWidget& w) {
    const QPointF local(1, 1);
    QEnterEvent event(local, local, w.mapToGlobal(local));
    QCoreApplication::sendEvent(&w, &event);
}

inline void sendLeave(QWidget& w) {
    QEvent event(QEvent::Leave);
    QCoreApplication::sendEvent(&w, &event);
}

inline bool sendMouse(QWidget& w, QEvent::Type type, QPoint local,
                      Qt::MouseButton button = Qt::LeftButton) {
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : button;
    QMouseEvent event(type, QPointF(local), QPointF(w.mapToGlobal(local)), button, held,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(&w, &event);
    return event.isAccepted();
}

inline void press(QWidget& w, QPoint local = {5, 5}, Qt::MouseButton b = Qt::LeftButton) {
    sendMouse(w, QEvent::MouseButtonPress, local, b);
}
inline void release(QWidget& w, QPoint local = {5, 5}, Qt::MouseButton b = Qt::LeftButton) {
    sendMouse(w, QEvent::MouseButtonRelease, local, b);
}
inline void doubleClick(QWidget& w, QPoint local = {5, 5}) {
    sendMouse(w, QEvent::MouseButtonDblClick, local, Qt::LeftButton);
}

// A move with the left button held.
inline void dragTo(QWidget& w, QPoint local) {
    QMouseEvent event(QEvent::MouseMove, QPointF(local), QPointF(w.mapToGlobal(local)),
                      Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&w, &event);
}

// Puts the pointer at a screen position for as long as it lives.
class PointerAt {
public:
    explicit PointerAt(QPoint screen) : position_(screen) {
        previous_ = setPointerSource([this] { return position_; });
    }
    ~PointerAt() { setPointerSource(previous_); }
    PointerAt(const PointerAt&) = delete;
    PointerAt& operator=(const PointerAt&) = delete;
    void moveTo(QPoint screen) { position_ = screen; }
    // Over the given local point of a widget.
    void moveOver(const QWidget& w, QPoint local = {5, 5}) { position_ = w.mapToGlobal(local); }

private:
    QPoint position_;
    PointerSource previous_;
};

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget& w) { w.installEventFilter(this); }
    int count() const { return count_; }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            ++count_;
        }
        return false;
    }

private:
    int count_ = 0;
};

inline QImage face(QWidget& w) {
    return w.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

inline int countPixels(const QImage& image, QColor colour) {
    const QRgb wanted = colour.rgb();
    int n = 0;
    for (int y = 0; y < image.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            n += (row[x] | 0xFF000000u) == wanted ? 1 : 0;
        }
    }
    return n;
}

inline QColor at(const QImage& image, int x, int y) {
    return image.pixelColor(x, y);
}

} // namespace quill::test
