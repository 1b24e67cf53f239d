#pragma once

#include <QApplication>
#include <QString>

namespace quill {

// The application object: every failure that no handler caught ends here, at the top of event
// dispatch, and is shown in the standard error box; the program goes on.
class QuillApplication : public QApplication {
public:
    QuillApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

// The command tail: the program's arguments joined by single blanks, taken whole.
QString commandTail(int argc, char** argv);

// Process entry: keeps the command tail, creates the five windows in order, runs the event loop.
int runProgram(int argc, char** argv);

} // namespace quill
