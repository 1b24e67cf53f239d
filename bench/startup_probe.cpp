// The program as it starts for a user, which, once its window has been shown and painted, prints
// the monotonic clock in nanoseconds and quits: what the start-up benchmark launches and times.

#include "app/Program.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>
#include <QtGlobal>

#include <cstdio>
#include <ctime>

namespace {

class FirstPaint final : public QObject {
public:
    explicit FirstPaint(QWidget& window) : QObject(&window) { window.installEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && !seen_) {
            seen_ = true;
            // Once the paint has been carried out.
            QTimer::singleShot(0, this, [] {
                timespec now{};
                clock_gettime(CLOCK_MONOTONIC, &now);
                std::printf("%lld\n",
                            static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec);
                std::fflush(stdout);
                QCoreApplication::quit();
            });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool seen_ = false;
};

} // namespace

int main(int argc, char** argv) {
    // The benchmark's comparison: start-up as it was before it decoded ahead.
    if (!qEnvironmentVariableIsEmpty("QUILL_PROBE_NO_PREVIEW_AHEAD")) {
        quill::setStartUpPreviewAhead(false);
    }
    return quill::runProgram(argc, argv, [](QWidget& window) { new FirstPaint(window); });
}
