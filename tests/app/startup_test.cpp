// The main window as it opens and as it closes: the first-start state of every control, the
// five windows, what start-up sets up and the close takes down again.

#include "TestSupport.h"
#include "app/Forms.h"
#include "app/Unit1.h"
#include "browse/FileListBox.h"
#include "browse/RenameDialog.h"
#include "browse/TargetFolderDialog.h"
#include "controls/Image.h"
#include "controls/LabelFX.h"
#include "dragdrop/OleCallLog.h"
#include "imaging/DecoderService.h"
#include "imaging/JpegImage.h"
#include "imaging_ui/Unit2.h"
#include "imaging_ui/Unit4.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QRadioButton>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace quill;

namespace {

// Starts the program's windows in an empty temporary folder and puts the current folder back.
class StartupTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        previous_ = QDir::currentPath();
        QDir::setCurrent(dir_.path());
    }
    void TearDown() override { QDir::setCurrent(previous_); }

    QTemporaryDir dir_;
    QString previous_;
    test::MessageRecorder messages_;
};

void sendKey(QWidget& target, int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QCoreApplication::sendEvent(&target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QCoreApplication::sendEvent(&target, &release);
}

// A left-button event at a point of the widget; buttons are those held after it.
void mouse(QWidget& target, QEvent::Type type, QPoint at, Qt::MouseButtons held) {
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, QPointF(at), QPointF(target.mapToGlobal(at)), button, held,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(&target, &event);
}

} // namespace

TEST_F(StartupTest, FirstStartShowsEveryDefault) {
    Forms forms({});
    TForm1& w = forms.main();
    EXPECT_EQ(w.windowTitle(), "Quillmere");
    EXPECT_EQ(w.size(), QSize(794, 576));
    EXPECT_TRUE(w.CheckBox4->isChecked()) << "Grösse ändern";
    EXPECT_FALSE(w.CheckBox1->isChecked()) << "Breite";
    EXPECT_FALSE(w.CheckBox2->isChecked()) << "Höhe";
    EXPECT_EQ(w.Edit1->text(), "200");
    EXPECT_EQ(w.Edit2->text(), "200");
    EXPECT_EQ(w.TrackBar1->value(), 90);
    EXPECT_EQ(w.Label8->text(), "90");
    EXPECT_EQ(w.LabelFX1->text(), "PostFix");
    EXPECT_EQ(w.Edit3->text(), "");
    EXPECT_FALSE(w.CheckBox5->isChecked()) << "nur Name ändern";
    EXPECT_TRUE(w.RadioButton1->isChecked()) << "Alle";
    EXPECT_FALSE(w.RadioButton2->isChecked()) << "Auswahl";
    EXPECT_TRUE(w.CheckBox3->isChecked()) << "Vorschau";
    EXPECT_TRUE(w.Label3->isHidden()) << "Fertig !";
    EXPECT_EQ(w.Label1->text(),
              "Bei Querformat wird Breite verwendet und Höhe berechnet - Bei Hochformat umgekehrt");
    EXPECT_EQ(w.PreviewLimit, 520);
    EXPECT_EQ(w.ScrollBox1->size(), QSize(532, 532));
    EXPECT_TRUE(w.Image1->stretch());
    EXPECT_TRUE(w.RedCross->isHidden());
    ASSERT_NE(w.jpeg(), nullptr);
    EXPECT_EQ(w.jpeg()->CompressionQuality(), 90);
    // An empty folder: nothing to preview, no message.
    EXPECT_EQ(w.Label5->text(), "0");
    EXPECT_EQ(w.Label6->text(), "0");
    EXPECT_TRUE(messages_.shown().empty());
}

TEST_F(StartupTest, QualityBarStopsOnAnyWholeNumberAndItsKeysStepByTen) {
    Forms forms({});
    TForm1& w = forms.main();
    w.TrackBar1->setValue(57);
    EXPECT_EQ(w.TrackBar1->value(), 57);
    EXPECT_EQ(w.Label8->text(), "57");
    EXPECT_EQ(w.jpeg()->CompressionQuality(), 57);
    // Arrow and page keys, as the bar turns them into actions.
    w.TrackBar1->setFocus();
    sendKey(*w.TrackBar1, Qt::Key_Right);
    EXPECT_EQ(w.Label8->text(), "67");
    sendKey(*w.TrackBar1, Qt::Key_PageDown);
    EXPECT_EQ(w.Label8->text(), "57");
    sendKey(*w.TrackBar1, Qt::Key_Left);
    EXPECT_EQ(w.Label8->text(), "47");
    sendKey(*w.TrackBar1, Qt::Key_PageUp);
    EXPECT_EQ(w.Label8->text(), "57");
    EXPECT_EQ(w.jpeg()->CompressionQuality(), 57);
    w.TrackBar1->setValue(0);
    EXPECT_EQ(w.TrackBar1->value(), 10);
    EXPECT_EQ(w.jpeg()->CompressionQuality(), 10);
    sendKey(*w.TrackBar1, Qt::Key_End);
    EXPECT_EQ(w.Label8->text(), "100");
}

TEST_F(StartupTest, DraggingTheQualityBarStopsBetweenTheTicks) {
    Forms forms({});
    TForm1& w = forms.main();
    QSlider& bar = *w.TrackBar1;
    ASSERT_EQ(bar.value(), 90);
    // The handle's middle, as the style places it at 90.
    QStyleOptionSlider option;
    option.initFrom(&bar);
    option.orientation = bar.orientation();
    option.minimum = bar.minimum();
    option.maximum = bar.maximum();
    option.sliderPosition = bar.sliderPosition();
    option.sliderValue = bar.value();
    option.singleStep = bar.singleStep();
    option.pageStep = bar.pageStep();
    option.tickPosition = bar.tickPosition();
    option.tickInterval = bar.tickInterval();
    option.subControls = QStyle::SC_All;
    const QRect handle =
        bar.style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, &bar);
    ASSERT_TRUE(handle.isValid());
    const QPoint grip = handle.center();
    const QPoint dropped = grip - QPoint(5, 0);
    mouse(bar, QEvent::MouseButtonPress, grip, Qt::LeftButton);
    mouse(bar, QEvent::MouseMove, dropped, Qt::LeftButton);
    mouse(bar, QEvent::MouseButtonRelease, dropped, Qt::NoButton);
    const int value = bar.value();
    EXPECT_LT(value, 90);
    EXPECT_GT(value, 80);
    EXPECT_NE(value % 10, 0) << value;
    EXPECT_EQ(w.Label8->text(), QString::number(value));
    EXPECT_EQ(w.jpeg()->CompressionQuality(), value);
}

TEST_F(StartupTest, FiveWindowsAreCreatedAndTheOthersStayHidden) {
    Forms forms({});
    ASSERT_NE(Form1, nullptr);
    ASSERT_NE(Form2, nullptr);
    ASSERT_NE(OKBottomDlg, nullptr);
    ASSERT_NE(Form4, nullptr);
    ASSERT_NE(OKBottomDlg1, nullptr);
    EXPECT_EQ(&forms.main(), Form1);
    EXPECT_FALSE(Form2->isVisible());
    EXPECT_FALSE(Form4->isVisible());
    EXPECT_FALSE(OKBottomDlg->isVisible());
    EXPECT_FALSE(OKBottomDlg1->isVisible());
}

TEST_F(StartupTest, StartUpSetsUpWhatTheCloseTakesDownOnce) {
    QImage first(48, 36, QImage::Format_RGB888);
    first.fill(Qt::darkGreen);
    ASSERT_TRUE(first.save(dir_.path() + "/erstes.png"));
    ole::OleCallRecorder ole;
    {
        Forms forms({});
        TForm1& w = forms.main();
        EXPECT_TRUE(decoderServiceRunning());
        ASSERT_NE(w.jpeg(), nullptr);
        ASSERT_NE(w.workingBitmap(), nullptr);
        ASSERT_NE(w.outputBitmap(), nullptr);
        // The first entry is previewed once everything is there.
        EXPECT_EQ(w.workingBitmap()->size(), QSize(48, 36));
        EXPECT_EQ(w.Label5->text(), "48");
        EXPECT_EQ(ole.calls(),
                  QStringList({"OleInitialize", "CoLockObjectExternal(lock)", "RegisterDragDrop"}));

        ole.clear();
        EXPECT_TRUE(w.close()) << "closing is never refused";
        EXPECT_FALSE(decoderServiceRunning());
        EXPECT_EQ(w.workingBitmap(), nullptr);
        EXPECT_EQ(w.jpeg(), nullptr);
        EXPECT_EQ(w.outputBitmap(), nullptr);
        // The drop target goes with the last reference, before OLE itself.
        EXPECT_EQ(ole.calls(), QStringList({"RevokeDragDrop", "CoLockObjectExternal(unlock)",
                                            "TDropTarget destroyed", "OleUninitialize"}));
        ole.clear();
    }
    // Destroying the windows after the close takes nothing down a second time.
    EXPECT_TRUE(ole.calls().isEmpty());
}
