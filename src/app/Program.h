#pragma once

#include <QApplication>
#include <QEvent>
#include <QString>

#include <functional>

namespace quill {

// The application object: every failure that no handler caught ends here, at the top of event
// dispatch, and is shown in the standard error box; the program goes on.
class QuillApplication : public QApplication {
public:
    QuillApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;

    // Called after the box of a failure that reached the top of event dispatch, with the type of
    // the event whose delivery it ended. Every handler guards itself, so tests fail then.
    using LastResortHook = std::function<void(QEvent::Type)>;
    static void setLastResortHook(LastResortHook hook);
};

// The command tail: the program's arguments joined by single blanks, taken whole.
QString commandTail(int argc, char** argv);

// Whether start-up decodes the named file's preview while it builds the window (on unless switched
// off, for comparison).
void setStartUpPreviewAhead(bool on);

// Process entry: keeps the command tail, creates the five windows in order, runs the event loop.
// shown, when given, is called with the main window once it has been shown (what start-up
// benchmarks measure to).
int runProgram(int argc, char** argv, const std::function<void(QWidget&)>& shown = {});

} // namespace quill
