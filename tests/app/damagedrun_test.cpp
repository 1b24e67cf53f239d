// A folder of good and damaged pictures as the user meets it: every file that gives no picture is
// reported, in the preview and once per file in the run, a JPEG cut short is converted and named
// as damaged, and the good files (run-length BMPs and transparent PNGs among them) all convert.

#include "../imaging/DamagedFixtures.h"
#include "ProgramJpeg.h"
#include "WindowFixture.h"

#include "browse/FileListBox.h"
#include "controls/XAquaButton.h"
#include "imaging/JpegImage.h"

#include <QFile>
#include <QLabel>

using namespace quill;
using namespace quill::test::fixtures;
using quill::test::WindowTest;

namespace {

const QString started = QStringLiteral("Bildverarbeitung starten?");
const QString loadFailed = QStringLiteral("Fehler beim Laden der Datei");
const QString invalidJpeg = QStringLiteral("Keine gültige JPEG-Datei");

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

bool near(QColor a, QColor b, int tolerance = 16) {
    return std::abs(a.red() - b.red()) <= tolerance &&
           std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

QStringList namesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::Files, QDir::Name);
}

} // namespace

TEST_F(WindowTest, ARunOverGoodAndDamagedFilesTellsAboutEveryOneItDidNotConvertFully) {
    writePicture("a_gut.png", 40, 30, Qt::red);
    ASSERT_TRUE(writeFile(path("b_leer.png"), QByteArray()));
    ASSERT_TRUE(writeFile(path("c_falsch.tif"), "a text file, not a TIFF"));
    // RLE8 ending its last row with an end-of-line before the end-of-bitmap.
    ASSERT_TRUE(writeFile(path("d_rle.bmp"),
                          rleBmp(4, 3, 8, bytesOf({4, 1, 0, 0, 4, 2, 0, 0, 4, 6, 0, 0, 0, 1}))));
    const QByteArray whole = test::programJpeg(test::detailedPicture(120, 80));
    ASSERT_TRUE(writeFile(path("e_kurz.jpg"), whole.left(whole.size() * 7 / 10)));
    ASSERT_TRUE(writeFile(path("f_bombe.jpg"), progressiveHeaderBomb()));
    writePicture("g_gut.jpg", 40, 30, Qt::blue);
    QImage clear(40, 30, QImage::Format_ARGB32);
    clear.fill(qRgba(120, 20, 40, 0));
    ASSERT_TRUE(clear.save(path("h_klar.png")));

    TForm1& w = start();
    ASSERT_EQ(w.FileListBox1->Count(), 8);
    messages_.clear();
    pressStart();

    EXPECT_EQ(messages_.texts(),
              QStringList({started, loadFailed, loadFailed,
                           "Die Datei e_kurz.jpg ist beschädigt; das Bild ist unvollständig.",
                           invalidJpeg}));
    for (std::size_t i = 1; i < messages_.shown().size(); ++i) {
        const MessageRequest& box = messages_.shown()[i];
        EXPECT_EQ(box.title, "") << "no title of its own: " << qPrintable(box.text);
        EXPECT_EQ(box.buttons, MsgButtons::Ok);
        EXPECT_EQ(box.icon, MsgIcon::None);
    }
    EXPECT_EQ(namesIn(path("_Parvexo")),
              QStringList({"a_gut.jpg", "d_rle.jpg", "e_kurz.jpg", "g_gut.jpg", "h_klar.jpg"}));
    const QImage rle = readOutput(path("_Parvexo/d_rle.jpg"));
    ASSERT_FALSE(rle.isNull());
    EXPECT_TRUE(near(rle.pixelColor(rle.width() / 2, 5), rleColour(6))) << "the top row";
    EXPECT_TRUE(near(rle.pixelColor(rle.width() / 2, rle.height() - 5), rleColour(1)));
    const QImage white = readOutput(path("_Parvexo/h_klar.jpg"));
    ASSERT_FALSE(white.isNull());
    EXPECT_TRUE(near(white.pixelColor(10, 10), Qt::white));
    EXPECT_FALSE(w.Label3->isHidden()) << "Fertig !";
    EXPECT_TRUE(w.Button2->isEnabled());
}

TEST_F(WindowTest, ThePreviewReportsFilesThatGiveNoPicture) {
    // The crafted JPEG as the folder's first entry is refused at start-up, without a wait.
    ASSERT_TRUE(writeFile(path("a_bombe.jpg"), progressiveHeaderBomb()));
    writePicture("b_gut.png", 300, 200, Qt::red);
    ASSERT_TRUE(writeFile(path("c_leer.png"), QByteArray()));
    TForm1& w = start();
    EXPECT_EQ(messages_.texts(), QStringList({invalidJpeg}));

    messages_.clear();
    w.FileListBox1->SetSelected(1, true);
    w.FileListBox1Change();
    EXPECT_TRUE(messages_.texts().isEmpty());
    ASSERT_EQ(w.Label5->text(), "300");

    w.FileListBox1->SetSelected(2, true);
    w.FileListBox1Change();
    EXPECT_EQ(messages_.texts(), QStringList({loadFailed}));
    // A file of another format that gives no picture leaves the preview empty.
    EXPECT_EQ(w.Label5->text(), "0");
    EXPECT_EQ(w.Label6->text(), "0");
}
