#include "app/Program.h"

#include <QApplication>
#include <QWidget>

namespace quill {

int runProgram(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget w;
    w.setWindowTitle(QStringLiteral("Quillmere"));
    w.show();
    return app.exec();
}

} // namespace quill
