// "Start" as the user sees it: the confirmation, the conversion run into "_Parvexo" with every
// setting of the window, the window's state afterwards, and the rename-only run.

#include "PhotoFixtures.h"
#include "WindowFixture.h"

#include "browse/DirectoryListBox.h"
#include "browse/FileListBox.h"
#include "browse/TargetFolderDialog.h"
#include "controls/Image.h"
#include "controls/LabelFX.h"
#include "controls/XAquaButton.h"
#include "imaging/JpegImage.h"
#include "imaging_ui/Unit2.h"
#include "imaging_ui/Unit4.h"

#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSlider>

#include <cstdio>
#include <jpeglib.h>

using namespace quill;
using quill::test::WindowTest;

namespace {

QStringList namesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::Files, QDir::Name);
}

QColor colourAt(const QImage& image, int x, int y) {
    return image.convertToFormat(QImage::Format_RGB888).pixelColor(x, y);
}

bool near(QColor a, QColor b, int tolerance = 12) {
    return std::abs(a.red() - b.red()) <= tolerance &&
           std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

struct JpegFacts {
    int firstLuminanceQuant = 0;
    bool progressive = false;
};

// What libjpeg itself reads in a written file's header.
JpegFacts jpegFacts(const QString& file) {
    JpegFacts facts;
    FILE* in = std::fopen(QFile::encodeName(file).constData(), "rb");
    if (!in) {
        return facts;
    }
    jpeg_decompress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&info);
    jpeg_stdio_src(&info, in);
    jpeg_read_header(&info, TRUE);
    facts.progressive = jpeg_has_multiple_scans(&info);
    if (info.quant_tbl_ptrs[0]) {
        facts.firstLuminanceQuant = info.quant_tbl_ptrs[0]->quantval[0];
    }
    jpeg_destroy_decompress(&info);
    std::fclose(in);
    return facts;
}

const QString started = QStringLiteral("Bildverarbeitung starten?");

} // namespace

TEST_F(WindowTest, StartAsksFirstAndNoDoesNothing) {
    writePicture("a.png", 40, 30, Qt::red);
    TForm1& w = start();
    pressStart(MsgResult::No);
    ASSERT_EQ(messages_.shown().size(), 1u);
    EXPECT_EQ(messages_.shown()[0].text, started);
    EXPECT_EQ(messages_.shown()[0].title, "Achtung!");
    EXPECT_EQ(messages_.shown()[0].buttons, MsgButtons::YesNo);
    EXPECT_EQ(messages_.shown()[0].defaultButton, MsgResult::Yes);
    EXPECT_EQ(messages_.shown()[0].icon, MsgIcon::None);
    EXPECT_FALSE(QFileInfo::exists(path("_Parvexo")));
    EXPECT_TRUE(w.Label3->isHidden());
}

TEST_F(WindowTest, AlleConvertsEveryEntryByTheSizeRuleAndShowsFertig) {
    writePicture("quer.png", 400, 300, Qt::red);
    writePicture("hoch.bmp", 300, 400, Qt::blue);
    writePicture("klein.jpg", 100, 50, Qt::green);
    TForm1& w = start();
    w.FileListBox1->SetSelected(0, true);
    pressStart();
    EXPECT_EQ(messages_.texts(), QStringList({started}));
    EXPECT_EQ(namesIn(path("_Parvexo")), QStringList({"hoch.jpg", "klein.jpg", "quer.jpg"}));
    // Neither box ticked: landscape takes the width, portrait the height (200 each).
    EXPECT_EQ(readOutput(path("_Parvexo/quer.jpg")).size(), QSize(200, 150));
    EXPECT_EQ(readOutput(path("_Parvexo/hoch.jpg")).size(), QSize(150, 200));
    EXPECT_EQ(readOutput(path("_Parvexo/klein.jpg")).size(), QSize(200, 100));
    EXPECT_TRUE(near(colourAt(readOutput(path("_Parvexo/hoch.jpg")), 75, 100), Qt::blue));

    EXPECT_FALSE(w.Label3->isHidden()) << "Fertig !";
    EXPECT_TRUE(w.Button2->isEnabled());
    EXPECT_EQ(w.windowTitle(), "Quillmere");
    // The lists are read again: the new folder is listed and the last processed entry (quer.png,
    // the third) is selected and previewed.
    EXPECT_EQ(w.FileListBox1->Count(), 3);
    EXPECT_EQ(w.FileListBox1->FileName(), path("quer.png"));
    EXPECT_EQ(w.Label5->text(), "400");
    EXPECT_EQ(w.Label6->text(), "300");
}

TEST_F(WindowTest, AuswahlTakesOnlySelectedAndEvenNoneRunsTheEndSteps) {
    writePicture("a.png", 40, 30, Qt::red);
    writePicture("b.png", 40, 30, Qt::red);
    writePicture("c.png", 40, 30, Qt::red);
    TForm1& w = start();
    w.RadioButton2->setChecked(true);
    w.FileListBox1->SetSelected(0, false);
    w.FileListBox1->SetSelected(1, true);
    pressStart();
    EXPECT_EQ(namesIn(path("_Parvexo")), QStringList({"b.jpg"}));

    QDir(path("_Parvexo")).removeRecursively();
    w.FileListBox1->Update(); // nothing selected now
    ASSERT_FALSE(w.FileListBox1->Selected(0) || w.FileListBox1->Selected(1) ||
                 w.FileListBox1->Selected(2));
    pressStart();
    EXPECT_TRUE(QFileInfo(path("_Parvexo")).isDir()) << "the folder is made all the same";
    EXPECT_TRUE(namesIn(path("_Parvexo")).isEmpty());
    EXPECT_FALSE(w.Label3->isHidden());
    EXPECT_TRUE(w.FileListBox1->Selected(0)) << "the entry at the last processed index (0)";
}

TEST_F(WindowTest, AffixGoesAfterOrBeforeTheBaseNameAndOutputIsAlwaysJpg) {
    writePicture("urlaub.PNG", 40, 30, Qt::red);
    TForm1& w = start();
    w.Edit3->setText("_klein");
    pressStart();
    EXPECT_EQ(namesIn(path("_Parvexo")), QStringList({"urlaub_klein.jpg"}));
    w.LabelFX1Click();
    EXPECT_EQ(w.LabelFX1->text(), "PreFix");
    pressStart();
    EXPECT_EQ(namesIn(path("_Parvexo")), QStringList({"_kleinurlaub.jpg", "urlaub_klein.jpg"}));
    w.LabelFX1->setText("POSTFIX");
    w.LabelFX1Click();
    EXPECT_EQ(w.LabelFX1->text(), "PreFix") << "the caption is compared ignoring case";
}

TEST_F(WindowTest, SameBaseNameLaterInListOrderWinsAndExistingOutputIsOverwritten) {
    writePicture("a.bmp", 40, 30, Qt::red);
    writePicture("a.png", 40, 30, Qt::blue);
    ASSERT_TRUE(QDir().mkdir(path("_Parvexo")));
    QFile old(path("_Parvexo/a.jpg"));
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old content");
    old.close();
    start();
    pressStart();
    EXPECT_EQ(namesIn(path("_Parvexo")), QStringList({"a.jpg"}));
    EXPECT_TRUE(near(colourAt(readOutput(path("_Parvexo/a.jpg")), 10, 10), Qt::blue))
        << "a.png comes after a.bmp in the list";
}

TEST_F(WindowTest, StartOnTheOutputFolderWritesIntoANestedOne) {
    ASSERT_TRUE(QDir().mkdir(path("_Parvexo")));
    writePicture("x.png", 40, 30, Qt::red, path("_Parvexo"));
    QDir::setCurrent(path("_Parvexo"));
    start();
    pressStart();
    EXPECT_EQ(namesIn(path("_Parvexo/_Parvexo")), QStringList({"x.jpg"}));
}

TEST_F(WindowTest, ResizingOffKeepsTheSizeAndPreviewFitsIt) {
    writePicture("gross.png", 1200, 800, Qt::red);
    TForm1& w = start();
    w.CheckBox4->click();
    pressStart();
    EXPECT_EQ(readOutput(path("_Parvexo/gross.jpg")).size(), QSize(1200, 800));
    // The preview shows the last output, and the end's preview the same picture again.
    EXPECT_EQ(w.Image1->geometry(), QRect(6, 93, 520, 346));
}

TEST_F(WindowTest, EveryFileFailingStillEndsWithFertigAndTheMessages) {
    QFile bad(path("kaputt.jpg"));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("not a jpeg at all");
    bad.close();
    QFile other(path("kaputt.png"));
    ASSERT_TRUE(other.open(QIODevice::WriteOnly));
    other.write("\x89PNG broken");
    other.close();
    TForm1& w = start();
    messages_.clear();
    pressStart();
    const QStringList texts = messages_.texts();
    EXPECT_TRUE(texts.contains("Keine gültige JPEG-Datei")) << qPrintable(texts.join('|'));
    EXPECT_TRUE(namesIn(path("_Parvexo")).isEmpty());
    EXPECT_FALSE(w.Label3->isHidden());
    EXPECT_TRUE(w.Button2->isEnabled());
}

TEST_F(WindowTest, UnusableOutputFolderAsksForAnotherOneAndCancelEndsTheRun) {
    writePicture("a.png", 40, 30, Qt::red);
    // A file of that name: the output folder can neither be found nor made.
    QFile blocker(path("_Parvexo"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QTemporaryDir elsewhere;
    ASSERT_TRUE(elsewhere.isValid());
    TForm1& w = start();

    {
        test::DialogScript cancel([](QDialog&) { return int(QDialog::Rejected); });
        pressStart();
        EXPECT_EQ(cancel.runs(), 1);
    }
    ASSERT_FALSE(messages_.shown().empty());
    EXPECT_EQ(messages_.texts().last(),
              "Zielverzeichnis kann im gewählten Verzeichnis nicht angelegt werden");
    EXPECT_TRUE(w.Button2->isEnabled());
    EXPECT_TRUE(w.Label3->isHidden()) << "no Fertig after a cancel";
    EXPECT_FALSE(QFileInfo::exists(elsewhere.path() + "/_Parvexo"));

    {
        test::DialogScript choose([&](QDialog& dialog) {
            auto* target = qobject_cast<TOKBottomDlg1*>(&dialog);
            EXPECT_NE(target, nullptr);
            if (target) {
                target->DirectoryListBox1->SetDirectory(elsewhere.path());
            }
            return int(QDialog::Accepted);
        });
        pressStart();
    }
    EXPECT_EQ(namesIn(elsewhere.path() + "/_Parvexo"), QStringList({"a.jpg"}));
    EXPECT_FALSE(w.Label3->isHidden());
}

TEST_F(WindowTest, OutputsCarryQualityTransformOverlayAndProgression) {
    // Left half red, right half blue: a turn shows where they went.
    QImage halves(80, 40, QImage::Format_RGB888);
    halves.fill(Qt::red);
    for (int y = 0; y < 40; ++y) {
        for (int x = 40; x < 80; ++x) {
            halves.setPixelColor(x, y, Qt::blue);
        }
    }
    ASSERT_TRUE(halves.save(path("halb.png")));
    TForm1& w = start();
    w.CheckBox4->click(); // resizing off: pixels stay where the turn put them
    w.TrackBar1->setValue(10);
    Form4->RadioButton3->setChecked(true); // a quarter turn to the right
    pressStart();
    QImage out = readOutput(path("_Parvexo/halb.jpg"));
    ASSERT_EQ(out.size(), QSize(40, 80));
    EXPECT_TRUE(near(colourAt(out, 20, 10), Qt::red, 40)) << "the left half is now on top";
    EXPECT_TRUE(near(colourAt(out, 20, 70), Qt::blue, 40));
    // libjpeg's luminance table at quality 10 starts at 16 * 500 / 100 = 80.
    EXPECT_EQ(jpegFacts(path("_Parvexo/halb.jpg")).firstLuminanceQuant, 80);
    EXPECT_FALSE(jpegFacts(path("_Parvexo/halb.jpg")).progressive);

    // The overlay, in black, at the bottom right of a white picture.
    QFile::remove(path("halb.png"));
    writePicture("weiss.png", 200, 150, Qt::white);
    Form4->RadioButton1->setChecked(true);
    w.TrackBar1->setValue(100);
    Form2->Edit1->setText("MMMM");
    Form2->Button1Click();
    Form2->CheckBox1->setChecked(true);
    w.FileListBox1->Update();
    pressStart();
    out = readOutput(path("_Parvexo/weiss.jpg"));
    ASSERT_EQ(out.size(), QSize(200, 150));
    int darkBottomRight = 0;
    int darkElsewhere = 0;
    for (int y = 0; y < 150; ++y) {
        for (int x = 0; x < 200; ++x) {
            if (colourAt(out, x, y).lightness() < 100) {
                (x >= 150 && y >= 135 ? darkBottomRight : darkElsewhere)++;
            }
        }
    }
    EXPECT_GT(darkBottomRight, 10);
    EXPECT_EQ(darkElsewhere, 0);
    EXPECT_EQ(jpegFacts(path("_Parvexo/weiss.jpg")).firstLuminanceQuant, 1);
}

TEST_F(WindowTest, ProgressionFollowsTheLastJpegRead) {
    QImage picture(64, 48, QImage::Format_RGB888);
    picture.fill(Qt::darkGreen);
    TJPEGImage progressive;
    progressive.SetProgressiveEncoding(true);
    progressive.Assign(picture);
    progressive.SaveToFile(path("p.jpg"));
    writePicture("q.png", 64, 48, Qt::red);
    start();
    pressStart();
    // p.jpg was read first and was progressive: both outputs come out progressive.
    EXPECT_TRUE(jpegFacts(path("_Parvexo/p.jpg")).progressive);
    EXPECT_TRUE(jpegFacts(path("_Parvexo/q.jpg")).progressive);
}

TEST_F(WindowTest, AFileTooLargeToSizeIsReportedAndTheRunGoesOn) {
    writePicture("a_schmal.png", 2, 2000, Qt::red);
    writePicture("b_normal.png", 40, 30, Qt::red);
    TForm1& w = start();
    w.CheckBox1->click();     // "Breite": the height follows the width
    w.Edit1->setText("3000"); // 2 x 2000 would become 3000 x 3000000
    pressStart();
    EXPECT_EQ(namesIn(path("_Parvexo")), QStringList({"b_normal.jpg"}));
    EXPECT_EQ(messages_.shown().size(), 2u) << qPrintable(messages_.texts().join('|'));
    EXPECT_TRUE(w.Button2->isEnabled());
    EXPECT_FALSE(w.Label3->isHidden());
}

TEST_F(WindowTest, TitleCountsTheFilesWhileTheRunWorks) {
    writePicture("a.png", 40, 30, Qt::red);
    QFile bad(path("b.jpg"));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("broken");
    bad.close();
    writePicture("c.png", 40, 30, Qt::red);
    TForm1& w = start();
    QString titleDuringRun;
    MessageHandler recorder = setMessageHandler([&](const MessageRequest& request) {
        if (request.text == started) {
            return MsgResult::Yes;
        }
        titleDuringRun = w.windowTitle();
        return MsgResult::Ok;
    });
    w.Button2Click();
    setMessageHandler(std::move(recorder));
    EXPECT_EQ(titleDuringRun, "Quillmere - 2 / 3");
    EXPECT_EQ(w.windowTitle(), "Quillmere");
}

TEST_F(WindowTest, RenameOnlyAddsTheAffixKeepsExtensionsAndNeverReplaces) {
    writePicture("Foto.JPG", 40, 30, Qt::red);
    writePicture("Bild.png", 40, 30, Qt::red);
    writePicture("Bild_alt.png", 40, 30, Qt::blue); // stands in the way of Bild.png
    TForm1& w = start();
    w.CheckBox5->setChecked(true);
    w.Edit3->setText("_alt");
    w.CheckBox4->click(); // size, turn and quality play no part
    Form4->RadioButton4->setChecked(true);
    // "Auswahl" with Foto.JPG and Bild.png, so Bild_alt.png itself stays as it is.
    w.RadioButton2->setChecked(true);
    w.FileListBox1->Update();
    for (int i = 0; i < w.FileListBox1->Count(); ++i) {
        if (w.FileListBox1->Items(i) != "Bild_alt.png") {
            w.FileListBox1->SetSelected(i, true);
        }
    }
    pressStart();
    EXPECT_EQ(namesIn(dir_.path()), QStringList({"Bild.png", "Bild_alt.png", "Foto_alt.JPG"}));
    EXPECT_TRUE(near(colourAt(QImage(path("Bild_alt.png")), 5, 5), Qt::blue)) << "not replaced";
    EXPECT_FALSE(QFileInfo::exists(path("_Parvexo")));
    EXPECT_TRUE(w.Label3->isHidden());
    EXPECT_EQ(messages_.texts(), QStringList({started})) << "quiet";
    EXPECT_TRUE(w.FileListBox1->Selected(0)) << "the first entry, after a fresh read";

    // PreFix, everything: a second run adds the affix again.
    w.RadioButton1->setChecked(true);
    w.LabelFX1Click();
    pressStart();
    EXPECT_EQ(namesIn(dir_.path()),
              QStringList({"_altBild.png", "_altBild_alt.png", "_altFoto_alt.JPG"}));

    w.Edit3->clear();
    const QStringList before = namesIn(dir_.path());
    pressStart();
    EXPECT_EQ(namesIn(dir_.path()), before) << "an empty affix changes nothing";
}

TEST_F(WindowTest, PortraitTaggedPhotoIsPreviewedSizedAndTurnedUpright) {
    // A phone's portrait photo: stored lying on its side (400 x 300, left half red, right half
    // blue) with the EXIF note that it must be turned a quarter clockwise.
    QImage lying(400, 300, QImage::Format_RGB888);
    lying.fill(Qt::red);
    for (int y = 0; y < 300; ++y) {
        for (int x = 200; x < 400; ++x) {
            lying.setPixelColor(x, y, Qt::blue);
        }
    }
    ASSERT_TRUE(test::photos::writeJpeg(path("telefon.jpg"), lying,
                                        {.app1 = test::photos::exifWithOrientation(6)}));
    TForm1& w = start();
    EXPECT_EQ(w.Label5->text(), "300");
    EXPECT_EQ(w.Label6->text(), "400");

    pressStart();
    QImage out = readOutput(path("_Parvexo/telefon.jpg"));
    EXPECT_EQ(out.size(), QSize(150, 200)) << "the portrait rule: height 200";
    EXPECT_TRUE(near(colourAt(out, 75, 20), Qt::red, 40)) << "the stored left half is the top";
    EXPECT_TRUE(near(colourAt(out, 75, 180), Qt::blue, 40));

    // " XTRA " turns the upright picture, as the user sees it: back to landscape, red on the left.
    Form4->RadioButton2->setChecked(true); // a quarter turn to the left
    pressStart();
    out = readOutput(path("_Parvexo/telefon.jpg"));
    EXPECT_EQ(out.size(), QSize(200, 150)) << "the landscape rule: width 200";
    EXPECT_TRUE(near(colourAt(out, 20, 75), Qt::red, 40));
    EXPECT_TRUE(near(colourAt(out, 180, 75), Qt::blue, 40));
    Form4->RadioButton1->setChecked(true);
}
