// The program as it starts for a user, which, once its window has been shown and painted, prints
// the monotonic clock in nanoseconds and quits: what the start-up benchmark launches and times.
// Given a folder in QUILL_PROBE_ENTER, it then goes into that folder as a double click in the
// folder list does, paints the window again and prints the nanoseconds that took as well.

#include "app/Program.h"
#include "app/Unit1.h"
#include "browse/DirectoryListBox.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>
#include <QtGlobal>

#include <cstdio>
#include <ctime>

namespace {

long long nanoseconds(const timespec& time) {
    return static_cast<long long>(time.tv_sec) * 1000000000LL + time.tv_nsec;
}

class FirstPaint final : public QObject {
public:
    explicit FirstPaint(QWidget& window) : QObject(&window) { window.installEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && !seen_) {
            seen_ = true;
            // Once the paint has been carried out.
            QTimer::singleShot(0, this, [this] {
                timespec now{};
                clock_gettime(CLOCK_MONOTONIC, &now);
                std::printf("%lld\n", nanoseconds(now));
                const QString folder = qEnvironmentVariable("QUILL_PROBE_ENTER");
                auto* window = qobject_cast<quill::TForm1*>(parent());
                if (!folder.isEmpty() && window) {
                    window->DirectoryListBox1->SetDirectory(folder);
                    window->repaint();
                    timespec entered{};
                    clock_gettime(CLOCK_MONOTONIC, &entered);
                    std::printf("%lld\n", nanoseconds(entered) - nanoseconds(now));
                }
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
    // The benchmark's comparison: start-up without decoding the first picture ahead.
    if (!qEnvironmentVariableIsEmpty("QUILL_PROBE_NO_PREVIEW_AHEAD")) {
        quill::setStartUpPreviewAhead(false);
    }
    return quill::runProgram(argc, argv, [](QWidget& window) { new FirstPaint(window); });
}
