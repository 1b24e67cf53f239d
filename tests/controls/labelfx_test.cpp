#include "ControlEvents.h"
#include "controls/LabelFX.h"
#include "platform/Fonts.h"

#include <QCoreApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QWindow>
#include <gtest/gtest.h>

#include <QStringList>

using namespace quill;
using namespace quill::test;

namespace {

// A plain widget that logs the pointer entering it and the presses it gets.
class Neighbour : public QWidget {
public:
    Neighbour(QWidget* parent, QStringList& log) : QWidget(parent), log_(log) {}

protected:
    void enterEvent(QEnterEvent*) override { log_ << QStringLiteral("neighbour enter"); }
    void leaveEvent(QEvent*) override { log_ << QStringLiteral("neighbour leave"); }
    void mousePressEvent(QMouseEvent*) override { log_ << QStringLiteral("neighbour press"); }

private:
    QStringList& log_;
};

// A window with a transparent hover label (wide, short text) and a neighbour right beside it.
struct Window {
    Window() {
        host.resize(300, 100);
        label = new TLabelFX(QStringLiteral("ab"), &host);
        label->setGeometry(10, 10, 150, 30);
        label->setFont(uiFont(16));
        label->setAttribute(Qt::WA_TranslucentBackground);
        neighbour = new Neighbour(&host, log);
        neighbour->setGeometry(160, 10, 100, 30);
        QObject::connect(label, &TLabelFX::mouseEnter, [this] { log << "label enter"; });
        QObject::connect(label, &TLabelFX::mouseLeave, [this] { log << "label leave"; });
        host.show();
        QCoreApplication::processEvents();
    }
    // Moves the pointer over the window the way the platform reports it.
    void movePointer(QPoint inHost) {
        QWindow* window = host.windowHandle();
        QMouseEvent move(QEvent::MouseMove, QPointF(inHost), QPointF(host.mapToGlobal(inHost)),
                         Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window, &move);
    }
    QStringList log;
    QWidget host;
    TLabelFX* label = nullptr;
    Neighbour* neighbour = nullptr;
};

} // namespace

TEST(HoverLabel, RaisesBothEventsOverItsWholeTransparentRectangle) {
    Window w;
    ASSERT_NE(w.host.windowHandle(), nullptr);
    w.movePointer(QPoint(5, 5)); // on the window itself
    w.log.clear();
    // Far right inside the label, where none of its two letters is drawn.
    w.movePointer(QPoint(150, 35));
    EXPECT_EQ(w.log, QStringList{QStringLiteral("label enter")});
    // Straight onto the neighbour: the label hears of it first.
    w.movePointer(QPoint(165, 20));
    EXPECT_EQ(w.log, (QStringList{QStringLiteral("label enter"), QStringLiteral("label leave"),
                                  QStringLiteral("neighbour enter")}));
}

TEST(HoverLabel, HandlersCanGiveTheLabelAHoverLook) {
    TLabelFX label(QStringLiteral("PostFix"));
    label.resize(52, 20);
    QStringList log;
    auto colourOf = [&] { return label.palette().color(QPalette::WindowText); };
    QObject::connect(&label, &TLabelFX::mouseEnter, &label, [&] {
        log << QStringLiteral("enter");
        QPalette p = label.palette();
        p.setColor(QPalette::WindowText, QColor(220, 5, 27));
        label.setPalette(p);
    });
    QObject::connect(&label, &TLabelFX::mouseLeave, &label, [&] {
        log << QStringLiteral("leave");
        QPalette p = label.palette();
        p.setColor(QPalette::WindowText, Qt::black);
        label.setPalette(p);
    });
    sendEnter(label);
    EXPECT_EQ(colourOf(), QColor(220, 5, 27));
    EXPECT_GT(countPixels(face(label), QColor(220, 5, 27)), 0);
    sendLeave(label);
    EXPECT_EQ(colourOf(), QColor(Qt::black));
    EXPECT_EQ(countPixels(face(label), QColor(220, 5, 27)), 0);
    EXPECT_EQ(log, (QStringList{QStringLiteral("enter"), QStringLiteral("leave")}));
}

TEST(HoverLabel, WithoutHandlersItIsAPlainLabel) {
    QWidget host;
    host.resize(200, 60);
    QLabel plain(QStringLiteral("PostFix"), &host);
    TLabelFX fx(QStringLiteral("PostFix"), &host);
    for (QLabel* l : {&plain, static_cast<QLabel*>(&fx)}) {
        l->setFont(uiFont(16));
        l->resize(52, 20);
        l->setWordWrap(false);
    }
    EXPECT_EQ(fx.sizeHint(), plain.sizeHint());
    EXPECT_EQ(fx.minimumSizeHint(), plain.minimumSizeHint());
    EXPECT_EQ(fx.focusPolicy(), plain.focusPolicy());
    EXPECT_EQ(face(fx), face(plain));
    sendEnter(fx);
    sendLeave(fx);
    EXPECT_EQ(face(fx), face(plain));
    // A press is not taken: it goes on to the parent like a plain label's.
    EXPECT_FALSE(sendMouse(fx, QEvent::MouseButtonPress, QPoint(3, 3)));
    EXPECT_EQ(sendMouse(fx, QEvent::MouseButtonPress, QPoint(3, 3)),
              sendMouse(plain, QEvent::MouseButtonPress, QPoint(3, 3)));
}

TEST(HoverLabel, ClickNeedsAPressAndReleaseInside) {
    QWidget host;
    TLabelFX label(QStringLiteral("PostFix"), &host);
    label.resize(52, 20);
    int clicks = 0;
    QObject::connect(&label, &TLabelFX::clicked, [&] { ++clicks; });
    EXPECT_TRUE(sendMouse(label, QEvent::MouseButtonPress, QPoint(3, 3)));
    sendMouse(label, QEvent::MouseButtonRelease, QPoint(3, 3));
    EXPECT_EQ(clicks, 1);
    sendMouse(label, QEvent::MouseButtonPress, QPoint(3, 3));
    sendMouse(label, QEvent::MouseButtonRelease, QPoint(80, 3)); // released outside
    EXPECT_EQ(clicks, 1);
    sendMouse(label, QEvent::MouseButtonPress, QPoint(3, 3), Qt::RightButton);
    sendMouse(label, QEvent::MouseButtonRelease, QPoint(3, 3), Qt::RightButton);
    EXPECT_EQ(clicks, 1);
}
