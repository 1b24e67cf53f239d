#pragma once
// The program's five windows on the offscreen platform, started in a temporary folder of
// pictures the test writes itself. Message boxes and dialogs are answered by the test.

#include "TestSupport.h"
#include "app/Forms.h"
#include "app/Unit1.h"

#include <QColor>
#include <QDir>
#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

namespace quill::test {

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Writes a picture of one colour; the format follows the extension (".jpg" through our own
    // JPEG writer, the others through Qt's writers).
    void writePicture(const QString& name, int width, int height, QColor colour,
                      const QString& folder = {});
    QString path(const QString& name) const { return dir_.path() + QLatin1Char('/') + name; }

    // Creates the windows (the lists show the temporary folder).
    TForm1& start(const QString& commandTail = {});
    TForm1& window() { return forms_->main(); }

    // "Start" answered with the given button in its confirmation.
    void pressStart(MsgResult answer = MsgResult::Yes);

    static QImage readOutput(const QString& file);

    QTemporaryDir dir_;
    QString previous_;
    MessageRecorder messages_;
    std::unique_ptr<Forms> forms_;
};

} // namespace quill::test
