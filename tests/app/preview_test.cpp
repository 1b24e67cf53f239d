// The linked lists and the preview: where a picture is shown, what the size display says, how
// go-to-file and the command line bring the lists to a file, and a volume without a medium.

#include "WindowFixture.h"

#include "browse/DirectoryListBox.h"
#include "browse/DriveComboBox.h"
#include "browse/FileListBox.h"
#include "controls/Image.h"
#include "imaging/ImageLoading.h"
#include "imaging/PreviewGeometry.h"
#include "platform/FileSystem.h"
#include "platform/Volumes.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>

#include <tuple>

using namespace quill;
using quill::test::WindowTest;

namespace {

// The sizes of the pictures the preview was given, in order; an empty picture is 0 x 0.
class PreviewRecord {
public:
    explicit PreviewRecord(TImage* image) {
        QObject::connect(image, &TImage::pictureChanged, &context_,
                         [this, image] { sizes.push_back(image->picture().size()); });
    }
    std::vector<QSize> sizes;

private:
    QObject context_;
};

} // namespace

TEST(PreviewGeometry, FitsIntoTheLimitWithoutEverEnlarging) {
    EXPECT_EQ(FitIntoPreview(1600, 1200, 520), QSize(520, 390));
    EXPECT_EQ(FitIntoPreview(1200, 1600, 520), QSize(390, 520));
    EXPECT_EQ(FitIntoPreview(640, 480, 520), QSize(520, 390));
    EXPECT_EQ(FitIntoPreview(300, 200, 520), QSize(300, 200));
    EXPECT_EQ(FitIntoPreview(520, 520, 520), QSize(520, 520));
    EXPECT_EQ(FitIntoPreview(521, 100, 520), QSize(520, 99));
    EXPECT_EQ(FitIntoPreview(1000, 1000, 520), QSize(520, 520)) << "square: height first";
    EXPECT_EQ(FitIntoPreview(60000, 50000, 520), QSize(520, 433)) << "no overflow";
    EXPECT_EQ(FitIntoPreview(0, 0, 520), QSize(0, 0));
}

TEST_F(WindowTest, PicturesSitCentredWithTheirSizeAbove) {
    writePicture("a_gross.png", 1600, 1200, Qt::red);
    writePicture("b_hoch.png", 1200, 1600, Qt::red);
    writePicture("c_klein.png", 300, 200, Qt::red);
    TForm1& w = start();
    struct Case {
        int index;
        QRect place;
        QString width, height;
    };
    for (const Case& c : {Case{0, QRect(6, 71, 520, 390), "1600", "1200"},
                          Case{1, QRect(71, 6, 390, 520), "1200", "1600"},
                          Case{2, QRect(116, 166, 300, 200), "300", "200"}}) {
        w.FileListBox1->SetSelected(c.index, true);
        w.FileListBox1Change();
        EXPECT_EQ(w.Image1->geometry(), c.place) << c.index;
        EXPECT_EQ(w.Label5->text(), c.width);
        EXPECT_EQ(w.Label4->text(), "x");
        EXPECT_EQ(w.Label6->text(), c.height);
        EXPECT_EQ(w.Image1->picture().size(), QSize(c.width.toInt(), c.height.toInt()));
    }
    EXPECT_TRUE(messages_.shown().empty());
}

TEST_F(WindowTest, AnUnselectedCurrentEntryPreviewsNothing) {
    writePicture("a.png", 300, 200, Qt::red);
    TForm1& w = start();
    ASSERT_EQ(w.Label5->text(), "300");
    w.FileListBox1->SetSelected(0, false);
    w.CheckBox3->click(); // unticking changes nothing in the preview
    EXPECT_EQ(w.Label5->text(), "300");
    w.CheckBox3->click(); // ticking previews the empty path
    EXPECT_EQ(w.Label5->text(), "0");
    EXPECT_EQ(w.Label6->text(), "0");
    EXPECT_EQ(w.Image1->size(), QSize(0, 0));
    EXPECT_TRUE(messages_.shown().empty());
}

TEST_F(WindowTest, ACorruptJpegIsReportedAndThePreviousPictureShowsAgain) {
    writePicture("a.png", 300, 200, Qt::red);
    QFile bad(path("b.jpg"));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("\xff\xd8\xff\xe0 not really");
    bad.close();
    TForm1& w = start();
    w.FileListBox1->SetSelected(1, true);
    w.FileListBox1Change();
    ASSERT_EQ(messages_.texts(), QStringList({"Keine gültige JPEG-Datei"}));
    EXPECT_EQ(messages_.shown()[0].title, "");
    EXPECT_EQ(w.Label5->text(), "300");
    EXPECT_EQ(w.Image1->geometry(), QRect(116, 166, 300, 200));
}

TEST_F(WindowTest, AJpegIsPreviewedFromASmallerDecodeButSizedAndWrittenInFull) {
    writePicture("a.jpg", 1600, 1200, Qt::red);
    QFile bad(path("b.jpg"));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("\xff\xd8\xff\xe0 not really");
    bad.close();
    TForm1& w = start();
    EXPECT_EQ(w.Label5->text(), "1600");
    EXPECT_EQ(w.Label6->text(), "1200");
    EXPECT_EQ(w.Image1->geometry(), QRect(6, 71, 520, 390));
    EXPECT_EQ(w.Image1->picture().size(), QSize(600, 450)) << "decoded at 3/8";

    // A corrupt file keeps the last picture, still with its full size.
    w.FileListBox1->SetSelected(1, true);
    w.FileListBox1Change();
    ASSERT_EQ(messages_.texts(), QStringList({"Keine gültige JPEG-Datei"}));
    EXPECT_EQ(w.Label5->text(), "1600");
    EXPECT_EQ(w.Image1->geometry(), QRect(6, 71, 520, 390));

    // The output comes from a full decode.
    messages_.clear();
    w.CheckBox4->click();
    pressStart();
    EXPECT_EQ(readOutput(path("_Parvexo/a.jpg")).size(), QSize(1600, 1200));
    EXPECT_EQ(messages_.texts(),
              QStringList({"Bildverarbeitung starten?", "Keine gültige JPEG-Datei",
                           "Keine gültige JPEG-Datei"}));
}

TEST_F(WindowTest, EnteringAFolderClearsThePreviewThenShowsItsFirstPicture) {
    writePicture("oben.png", 40, 30, Qt::red);
    ASSERT_TRUE(QDir().mkdir(path("unten")));
    writePicture("z.png", 64, 32, Qt::blue, path("unten"));
    writePicture("a.png", 32, 64, Qt::blue, path("unten"));
    ASSERT_TRUE(QDir().mkdir(path("leer")));
    TForm1& w = start();
    {
        PreviewRecord shown(w.Image1);
        w.DirectoryListBox1->SetDirectory(path("unten"));
        EXPECT_EQ(shown.sizes, (std::vector<QSize>{{0, 0}, {32, 64}})) << "nothing, then a.png";
    }
    EXPECT_EQ(w.FileListBox1->FileName(), path("unten/a.png"));
    EXPECT_EQ(currentDir(), path("unten"));
    EXPECT_EQ(QDir::currentPath(), "/");

    PreviewRecord shown(w.Image1);
    w.DirectoryListBox1->SetDirectory(path("leer"));
    EXPECT_EQ(shown.sizes, (std::vector<QSize>{{0, 0}, {0, 0}}));
    EXPECT_EQ(w.Label5->text(), "0");
    EXPECT_TRUE(messages_.shown().empty());
}

TEST_F(WindowTest, GoToFileSelectsAndPreviewsOrFallsBackToTheFirstEntry) {
    writePicture("a.png", 40, 30, Qt::red);
    ASSERT_TRUE(QDir().mkdir(path("sub")));
    writePicture("eins.png", 40, 30, Qt::red, path("sub"));
    writePicture("Zwei.PNG", 300, 200, Qt::red, path("sub"));
    QFile text(path("sub/notiz.txt"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.close();
    TForm1& w = start();

    w.CheckBox3->setChecked(false);
    w.GoToFile(path("sub/Zwei.PNG"));
    EXPECT_EQ(w.DirectoryListBox1->Directory(), path("sub"));
    EXPECT_EQ(w.FileListBox1->FileName(), path("sub/Zwei.PNG"));
    EXPECT_TRUE(w.CheckBox3->isChecked()) << "found: Vorschau is ticked";
    EXPECT_EQ(w.Label5->text(), "300");

    w.GoToFile(path("sub/notiz.txt"));
    EXPECT_EQ(w.FileListBox1->FileName(), path("sub/eins.png")) << "the first entry";
    EXPECT_EQ(w.Label5->text(), "0") << "but no preview follows";

    // A name in other letters (what a case-insensitive volume lets a path say) still finds it.
    w.FileListBox1->Update();
    EXPECT_TRUE(w.selectEntryNamed("zwei.png"));
    EXPECT_EQ(w.FileListBox1->FileName(), path("sub/Zwei.PNG"));
    EXPECT_FALSE(w.selectEntryNamed("drei.png"));
}

TEST_F(WindowTest, GoToFileOnAnotherVolumeMovesTheDriveSelector) {
    QTemporaryDir other;
    ASSERT_TRUE(other.isValid());
    writePicture("fern.png", 300, 200, Qt::red, other.path());
    writePicture("nah.png", 40, 30, Qt::red);
    const QString otherRoot = QDir(other.path()).canonicalPath();
    VolumeSource previous = setVolumeSource([otherRoot] {
        return std::vector<Volume>{{"/", VolumeType::Fixed, "", "", true},
                                   {otherRoot, VolumeType::Removable, "STICK", "", true}};
    });
    {
        TForm1& w = start();
        EXPECT_EQ(w.DriveComboBox1->Drive(), "/");
        w.GoToFile(otherRoot + "/fern.png");
        EXPECT_EQ(w.DriveComboBox1->Drive(), otherRoot);
        EXPECT_EQ(w.FileListBox1->FileName(), otherRoot + "/fern.png");
        EXPECT_EQ(w.Label5->text(), "300");
        forms_.reset();
    }
    setVolumeSource(std::move(previous));
}

TEST_F(WindowTest, AVolumeWithoutAMediumIsReportedAndNothingMoves) {
    writePicture("a.png", 40, 30, Qt::red);
    VolumeSource previous = setVolumeSource([] {
        return std::vector<Volume>{{"/", VolumeType::Fixed, "", "", true},
                                   {"/media/cdrom", VolumeType::CdRom, "", "", false}};
    });
    {
        TForm1& w = start();
        const QString folder = w.DirectoryListBox1->Directory();
        const QString drive = w.DriveComboBox1->Drive();
        w.DriveComboBox1->SetDrive("/media/cdrom");
        EXPECT_EQ(messages_.texts(), QStringList({"Kein Datenträger im Laufwerk"}));
        EXPECT_EQ(w.DriveComboBox1->Drive(), drive);
        EXPECT_EQ(w.DirectoryListBox1->Directory(), folder);
        EXPECT_EQ(w.FileListBox1->Count(), 1);
        forms_.reset();
    }
    setVolumeSource(std::move(previous));
}

TEST_F(WindowTest, CommandLineFileIsFoundByItsRealPathAndNothingIsSkippedSilently) {
    ASSERT_TRUE(QDir().mkdir(path("real")));
    writePicture("a.png", 40, 30, Qt::red, path("real"));
    writePicture("bild.png", 300, 200, Qt::red, path("real"));
    ASSERT_TRUE(QFile::link(path("real"), path("verweis")));

    // Relative to the current folder, through a link to the folder.
    TForm1& w = start("verweis/bild.png");
    EXPECT_EQ(w.DirectoryListBox1->Directory(), path("real"));
    EXPECT_EQ(w.FileListBox1->FileName(), path("real/bild.png"));
    EXPECT_TRUE(w.CheckBox3->isChecked());
    EXPECT_EQ(w.Label5->text(), "300");
    forms_.reset();

    // A path that names nothing is skipped: the current folder's first picture shows.
    QDir::setCurrent(dir_.path());
    TForm1& w2 = start("gibt/es/nicht.png");
    EXPECT_EQ(w2.DirectoryListBox1->Directory(), dir_.path());
    EXPECT_TRUE(messages_.shown().empty());
}

// Start-up decodes the named file's preview while the window is built: the window comes out the
// same as without, also when the file changed meanwhile or is not the folder's first entry.
TEST_F(WindowTest, TheNamedFileDecodedAheadGivesTheSameWindowAsDecodingItInItsTurn) {
    writePicture("a.jpg", 1600, 1200, Qt::red);
    writePicture("b.jpg", 1200, 1600, Qt::blue);
    writePicture("c.jpg", 900, 600, Qt::green);
    const auto startWith = [this](const QString& named, PreviewAhead* ahead) {
        forms_ = std::make_unique<Forms>(named, ahead);
        TForm1& w = window();
        return std::tuple(w.Image1->picture(), w.Label5->text(), w.Label6->text(),
                          w.FileListBox1->FileName(), messages_.shown().size());
    };
    for (const char* named : {"a.jpg", "b.jpg"}) {
        const auto plain = startWith(QLatin1String(named), nullptr);
        forms_.reset();
        PreviewAhead ahead(path(QLatin1String(named)), TForm1::kPreviewSide);
        EXPECT_EQ(startWith(QLatin1String(named), &ahead), plain) << named;
        forms_.reset();
    }
    // Changed after its decode ahead: the window shows what the file holds now.
    PreviewAhead stale(path("c.jpg"), TForm1::kPreviewSide);
    writePicture("c.jpg", 900, 600, Qt::yellow);
    startWith("c.jpg", &stale);
    const QRgb shown = window().Image1->picture().convertToFormat(QImage::Format_RGB32).pixel(5, 5);
    EXPECT_GT(qRed(shown), 240);
    EXPECT_GT(qGreen(shown), 240);
    EXPECT_LT(qBlue(shown), 16) << "yellow, not the green decoded ahead";
    EXPECT_EQ(window().Label5->text(), "900");
}

namespace {

void writeBroken(const QString& file) {
    QFile bad(file);
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write(file.endsWith(".jpg") ? "\xff\xd8\xff\xe0 not really" : "not a picture");
}

void postKey(QWidget* target, int key) {
    QCoreApplication::postEvent(target, new QKeyEvent(QEvent::KeyPress, key, Qt::NoModifier));
}

} // namespace

// Keys that arrive while a picture decodes are all handled first; then only the entry they
// reached is decoded, and the broken files passed over say nothing.
TEST_F(WindowTest, KeysQueuedDuringAPreviewDecodeOnlyTheEntryTheyReach) {
    writePicture("a.png", 40, 30, Qt::red);
    writePicture("b.png", 50, 40, Qt::red);
    for (const char* name : {"c.png", "d.jpg", "e.png", "f.jpg", "g.png"}) {
        writeBroken(path(name));
    }
    writePicture("h.png", 80, 60, Qt::blue);
    writePicture("i.png", 90, 70, Qt::blue);
    TForm1& w = start();
    w.show();
    PreviewRecord shown(w.Image1);
    bool first = true;
    QObject::connect(w.Image1, &TImage::pictureChanged, w.Image1, [&] {
        for (int i = 0; first && i < 6; ++i) {
            postKey(w.FileListBox1, Qt::Key_Down);
        }
        first = false;
    });
    postKey(w.FileListBox1, Qt::Key_Down);
    for (int round = 0; round < 4; ++round) {
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(w.FileListBox1->FileName(), path("h.png"));
    EXPECT_EQ(shown.sizes, (std::vector<QSize>{{50, 40}, {80, 60}}));
    EXPECT_EQ(w.Label5->text(), "80");
    EXPECT_TRUE(messages_.shown().empty()) << messages_.texts().join(", ").toStdString();
}

// A Ctrl-click that leaves the focused entry unselected previews nothing; one that selects it
// previews it.
TEST_F(WindowTest, CtrlClickPreviewsOnlyAFocusedEntryItSelects) {
    writePicture("a.png", 300, 200, Qt::red);
    writePicture("b.png", 50, 40, Qt::red);
    struct Case {
        std::vector<int> clicks;
        QSize picture;
    };
    for (const Case& c : {Case{{0}, {300, 200}}, Case{{1}, {50, 40}}, Case{{1, 1}, {50, 40}},
                          Case{{1, 0}, {50, 40}}}) {
        TForm1& w = start();
        w.show();
        for (int row : c.clicks) {
            const QRect place = w.FileListBox1->visualItemRect(w.FileListBox1->item(row));
            test::clickAt(w.FileListBox1->viewport(), place.center(), Qt::ControlModifier);
            QCoreApplication::processEvents();
        }
        EXPECT_EQ(w.Label5->text(), QString::number(c.picture.width())) << c.clicks.size();
        EXPECT_EQ(w.Image1->picture().size(), c.picture) << c.clicks.size();
        forms_.reset();
    }
    EXPECT_TRUE(messages_.shown().empty());
}

// A failed JPEG keeps the picture before it; any other file that fails leaves nothing.
TEST_F(WindowTest, AFailedPreviewOfAnotherFormatShowsTheEmptyPicture) {
    writePicture("a.png", 300, 200, Qt::red);
    writeBroken(path("b.jpg"));
    writeBroken(path("c.png"));
    TForm1& w = start();
    for (const auto& [row, message, size] :
         {std::tuple(1, "Keine gültige JPEG-Datei", QSize(300, 200)),
          std::tuple(2, "Fehler beim Laden der Datei", QSize(0, 0))}) {
        messages_.clear();
        for (int shown : {0, row}) {
            w.FileListBox1->SetSelected(shown, true);
            w.FileListBox1Change();
        }
        EXPECT_EQ(messages_.texts(), QStringList{message});
        EXPECT_EQ(QSize(w.Label5->text().toInt(), w.Label6->text().toInt()), size);
        EXPECT_EQ(w.Image1->picture().size(), size);
    }
}

// A damaged JPEG as the first picture of the session leaves the empty bitmap, sized 0 x 0.
TEST_F(WindowTest, ADamagedJpegPreviewedFirstShowsTheEmptySize) {
    writeBroken(path("b.jpg"));
    TForm1& w = start();
    w.FileListBox1->SetSelected(0, true);
    w.FileListBox1Change();
    EXPECT_TRUE(messages_.texts().contains("Keine gültige JPEG-Datei"));
    EXPECT_EQ(w.Label5->text() + " x " + w.Label6->text(), "0 x 0");
}

// Only the new picture is ever scaled to the preview's new size: whenever the preview changes
// its size, it holds no picture yet.
TEST_F(WindowTest, ThePreviewNeverScalesThePictureItReplaces) {
    writePicture("a.png", 1600, 1200, Qt::red);
    writePicture("b.png", 300, 200, Qt::red);
    writePicture("c.png", 1200, 1600, Qt::red);
    TForm1& w = start();
    w.show();
    struct Watch : QObject {
        std::vector<QSize> held;
        bool eventFilter(QObject* image, QEvent* event) override {
            if (event->type() == QEvent::Resize) {
                held.push_back(static_cast<TImage*>(image)->picture().size());
            }
            return false;
        }
    } watch;
    w.Image1->installEventFilter(&watch);
    for (int row : {1, 2, 0, 1}) {
        w.FileListBox1->SetSelected(row, true);
        w.FileListBox1Change();
    }
    w.Image1->removeEventFilter(&watch);
    EXPECT_EQ(watch.held, std::vector<QSize>(4, QSize(0, 0)));
}
