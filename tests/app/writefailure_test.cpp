// An output that cannot be written during a conversion run: the user is told for that file, and
// the run goes on with the next.

#include "WindowFixture.h"

#include "controls/LabelFX.h"
#include "controls/XAquaButton.h"

#include <QFileInfo>
#include <QLabel>

using namespace quill;
using quill::test::WindowTest;

TEST_F(WindowTest, AnOutputThatCannotBeWrittenIsReportedAndTheRunGoesOn) {
    writePicture("a.png", 40, 30, Qt::red);
    writePicture("b.png", 40, 30, Qt::blue);
    // A folder of the output's name stands where a.jpg would go; a file cannot replace it.
    ASSERT_TRUE(QDir().mkpath(path("_Parvexo/a.jpg")));
    TForm1& w = start();

    struct Shown {
        QString text;
        QString title; // the window's, which counts the files
    };
    std::vector<Shown> shown;
    MessageHandler previous = setMessageHandler([&](const MessageRequest& request) {
        shown.push_back({request.text, w.windowTitle()});
        return request.buttons == MsgButtons::YesNo ? MsgResult::Yes : MsgResult::Ok;
    });
    w.Button2Click();
    setMessageHandler(std::move(previous));

    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].text, "Bildverarbeitung starten?");
    EXPECT_EQ(shown[1].text, "Schreiben nicht möglich");
    EXPECT_EQ(shown[1].title, "Quillmere - 1 / 2") << "while a.png is converted";

    // b.png was converted after the failure; the folder in the way and nothing else is left.
    EXPECT_TRUE(QFileInfo(path("_Parvexo/a.jpg")).isDir());
    EXPECT_EQ(QDir(path("_Parvexo")).entryList(QDir::Files | QDir::Hidden), QStringList{"b.jpg"});
    const QImage b = readOutput(path("_Parvexo/b.jpg"));
    ASSERT_EQ(b.size(), QSize(200, 150));
    EXPECT_LT(qRed(b.pixel(100, 75)), 30);
    EXPECT_GT(qBlue(b.pixel(100, 75)), 220);
    EXPECT_FALSE(w.Label3->isHidden()) << "Fertig !";
    EXPECT_TRUE(w.Button2->isEnabled());
}
