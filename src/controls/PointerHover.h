#pragma once
// A hover that starts with the first pointer movement over a widget and ends as soon as the
// pointer is over anything else. While it runs, a short timer looks at the pointer, so the
// program stays responsive and the processor idle; one instance never runs two hovers at once.

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QTimer>
#include <functional>

class QWidget;

namespace quill {

class PointerHover : public QObject {
    Q_OBJECT
public:
    static constexpr int PollMilliseconds = 30;

    explicit PointerHover(QWidget* watched, QObject* parent = nullptr);
    ~PointerHover() override;

    // Run when the hover starts and when it ends.
    void setOnStart(std::function<void()> callback) { onStart_ = std::move(callback); }
    void setOnEnd(std::function<void()> callback) { onEnd_ = std::move(callback); }

    // The watched widget's mouse-move reaction: starts the hover unless one runs.
    void pointerMoved();

    bool isRunning() const { return running_; }

    // One look at the pointer; ends the hover when the pointer is outside. The timer calls it.
    void checkPointer();

    // Ends a running hover at once, with its end reaction.
    void stop();

    // Whether the pointer at a screen position still counts as over the watched widget: by
    // default, when the widget under it is the watched one (or a child of it).
    void setInsideTest(std::function<bool(QPoint)> inside) { inside_ = std::move(inside); }

    // Where the pointer is, in screen coordinates; QCursor::pos() unless replaced.
    void setPointerSource(std::function<QPoint()> source) { pointer_ = std::move(source); }

private:
    bool pointerOverWatched(QPoint global) const;

    QPointer<QWidget> watched_;
    QTimer timer_;
    bool running_ = false;
    std::function<void()> onStart_;
    std::function<void()> onEnd_;
    std::function<bool(QPoint)> inside_;
    std::function<QPoint()> pointer_;
};

} // namespace quill
