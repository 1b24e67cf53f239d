#pragma once
// The " XTRA " hover: a pointer movement over the label shows the tool window "drehen &
// spiegeln" over it, and the window hides as soon as the pointer is outside its frame. The
// pointer is watched as every hover of the program watches it (PointerHover).

#include "controls/PointerHover.h"

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <functional>
#include <utility>

class QWidget;

namespace quill {

class TForm4;

class XtraHover : public QObject {
    Q_OBJECT
public:
    XtraHover(QWidget* mainWindow, TForm4* form4, QObject* parent = nullptr);

    // The label's mouse-move handler; does nothing while the hover already runs.
    void StaticText2MouseMove() { hover_.pointerMoved(); }

    bool isRunning() const { return hover_.isRunning(); }

    // The label clicked with the keyboard: the window shows at the same place, takes the focus
    // (on the chosen turn) and stays until Escape or another window is activated; the focus then
    // goes back to returnTo.
    void openFromKeyboard(QWidget* returnTo);
    bool isOpenFromKeyboard() const { return returnTo_ != nullptr; }

    // One look at the pointer: hides the window when the pointer is outside its outer frame
    // (left and top edges inside, right and bottom edges outside). The timer calls it.
    void checkPointer() { hover_.checkPointer(); }

    // Where the pointer is, in screen coordinates; QCursor::pos() unless replaced (tests).
    void setPointerSource(std::function<QPoint()> source) {
        hover_.setPointerSource(std::move(source));
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void place();
    void closeFromKeyboard(bool giveFocusBack);

    QWidget* mainWindow_;
    TForm4* form4_;
    QPointer<QWidget> returnTo_;
    PointerHover hover_;
};

} // namespace quill
