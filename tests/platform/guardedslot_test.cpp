// A handler's failure never leaves through Qt's signal delivery: raised by the toolkit, the signal
// shows it at the handler; raised by program code through emitRelayed, it comes out there.

#include "TestSupport.h"
#include "platform/Failure.h"
#include "platform/GuardedSlot.h"

#include <gtest/gtest.h>

using namespace quill;

TEST(GuardedSlot, AFailureIsShownAtTheHandlerOrRaisedAgainWhereProgramCodeRaisedTheSignal) {
    for (const bool relayed : {false, true}) {
        SCOPED_TRACE(relayed ? "relayed" : "raised by the toolkit");
        test::MessageRecorder messages;
        QObject sender, inner;
        QStringList ran;
        // The first handler raises another signal without a relay before it fails.
        connectGuarded(&sender, &QObject::objectNameChanged, &sender, [&] {
            ran << "first";
            inner.setObjectName(QStringLiteral("inner"));
            throw InOutError(5);
        });
        connectGuarded(&inner, &QObject::objectNameChanged, &inner, [&](const QString& name) {
            ran << name;
            throw InOutError(2);
        });
        connectGuarded(&sender, &QObject::objectNameChanged, &sender, [&] { ran << "second"; });
        QString atEmitter;
        try {
            const auto raise = [&] { sender.setObjectName(QStringLiteral("x")); };
            relayed ? emitRelayed(raise) : raise();
        } catch (const InOutError& failure) {
            atEmitter = failure.text();
        }
        EXPECT_EQ(ran, (QStringList{"first", "inner", "second"})) << "every receiver runs";
        const QStringList shown =
            relayed ? QStringList{"E/A-Fehler 2"} : QStringList{"E/A-Fehler 2", "E/A-Fehler 5"};
        EXPECT_EQ(messages.texts(), shown);
        EXPECT_EQ(atEmitter, relayed ? "E/A-Fehler 5" : "");
    }
}
