#include "WindowFixture.h"

#include "app/Program.h"
#include "browse/FileListBox.h"
#include "controls/XAquaButton.h"
#include "imaging/JpegImage.h"

namespace quill::test {
namespace {

// The windows' tests run under the program's application object. Every handler guards itself, so
// a failure that still reaches the top of event dispatch fails the test.
std::unique_ptr<QApplication> quillApplication(int& argc, char** argv) {
    QuillApplication::setLastResortHook([](QEvent::Type type) {
        ADD_FAILURE() << "a failure reached the top of event dispatch (event type " << type << ')';
    });
    return std::make_unique<QuillApplication>(argc, argv);
}
const bool usesQuillApplication = (makeTestApplication = quillApplication, true);

} // namespace

void WindowTest::SetUp() {
    ASSERT_TRUE(dir_.isValid());
    previous_ = QDir::currentPath();
    QDir::setCurrent(dir_.path());
}

void WindowTest::TearDown() {
    forms_.reset();
    QDir::setCurrent(previous_);
}

void WindowTest::writePicture(const QString& name, int width, int height, QColor colour,
                              const QString& folder) {
    QImage picture(width, height, QImage::Format_RGB888);
    picture.fill(colour);
    const QString target = (folder.isEmpty() ? dir_.path() : folder) + QLatin1Char('/') + name;
    if (name.endsWith(QLatin1String(".jpg"), Qt::CaseInsensitive)) {
        TJPEGImage jpeg;
        jpeg.Assign(picture);
        jpeg.SaveToFile(target);
    } else {
        ASSERT_TRUE(picture.save(target)) << qPrintable(target);
    }
}

TForm1& WindowTest::start(const QString& commandTail) {
    forms_ = std::make_unique<Forms>(commandTail);
    return forms_->main();
}

void WindowTest::pressStart(MsgResult answer) {
    messages_.answer(answer);
    window().Button2Click();
}

QImage WindowTest::readOutput(const QString& file) {
    TJPEGImage jpeg;
    jpeg.LoadFromFile(file);
    QImage picture;
    jpeg.AssignTo(picture);
    return picture;
}

} // namespace quill::test
