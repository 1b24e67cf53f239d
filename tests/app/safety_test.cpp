// What the window acts on is exactly what the user sees: name affixes that would leave the
// output folder, outputs that would land on originals, names differing only in letter case,
// names that are not UTF-8, renames to hidden names, and drops while a run is going.

#include "WindowFixture.h"

#include "browse/FileListBox.h"
#include "browse/RenameDialog.h"
#include "controls/LabelFX.h"
#include "controls/XAquaButton.h"
#include "platform/FileNames.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDirIterator>
#include <QDragEnterEvent>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QRadioButton>
#include <QUrl>
#include <map>
#include <unistd.h>
#include <vector>

using namespace quill;
using quill::test::WindowTest;

namespace {

const QString started = QStringLiteral("Bildverarbeitung starten?");
const QString affixRefused = QStringLiteral("Der Namenszusatz darf kein \"/\" enthalten.");
const QString affixHides =
    QStringLiteral("Der Namenszusatz darf als PreFix nicht mit \".\" beginnen.");

// Every file below a folder with a digest of its bytes.
std::map<QString, QByteArray> snapshot(const QString& folder) {
    std::map<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next();
        QFile in(file);
        if (in.open(QIODevice::ReadOnly)) {
            files[file] = QCryptographicHash::hash(in.readAll(), QCryptographicHash::Sha256);
        }
    }
    return files;
}

QStringList namesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::Files, QDir::Name);
}

} // namespace

TEST_F(WindowTest, AnAffixThatLeavesTheFolderOrHidesTheNamesIsRefusedBeforeAnythingIsDone) {
    ASSERT_TRUE(QDir().mkdir(path("bilder")));
    writePicture("x.jpg", 60, 40, Qt::red, path("bilder"));
    writePicture("y.png", 60, 40, Qt::blue, path("bilder"));
    QDir::setCurrent(path("bilder"));
    TForm1& w = start();
    const auto before = snapshot(dir_.path());

    struct Case {
        QString affix;
        bool prefix;
        QString message;
    };
    const std::vector<Case> cases{
        {"../", true, affixRefused},
        {"../", false, affixRefused},
        {"a/b", true, affixRefused},
        {"a/b", false, affixRefused},
        {QStringLiteral("x") + QChar(u'\0'), true, affixRefused},
        {QStringLiteral("x") + QChar(u'\0'), false, affixRefused},
        {".", true, affixHides},
        {".alt_", true, affixHides},
        {"./", true, affixRefused},
    };
    for (const bool renameOnly : {false, true}) {
        SCOPED_TRACE(renameOnly ? "rename only" : "conversion");
        w.CheckBox5->setChecked(renameOnly);
        for (const Case& c : cases) {
            SCOPED_TRACE(qPrintable(c.affix));
            w.LabelFX1->setText(c.prefix ? "PreFix" : "PostFix");
            w.Edit3->setText(c.affix);
            messages_.clear();
            pressStart();
            EXPECT_EQ(messages_.texts(), QStringList({started, c.message}));
            EXPECT_TRUE(w.Button2->isEnabled()) << "Start stays usable";
            EXPECT_EQ(snapshot(dir_.path()), before) << "nothing made, renamed or written";
            EXPECT_FALSE(QFileInfo::exists(path("bilder/_Parvexo")));
        }
    }

    // A usable affix afterwards still works; a "." that follows the name hides nothing.
    w.CheckBox5->setChecked(false);
    w.LabelFX1->setText("PostFix");
    w.Edit3->setText(".k");
    messages_.clear();
    pressStart();
    EXPECT_EQ(messages_.texts(), QStringList({started}));
    EXPECT_EQ(namesIn(path("bilder/_Parvexo")), QStringList({"x.k.jpg", "y.k.jpg"}));
}

TEST_F(WindowTest, AnOutputThatWouldLandOnAnOriginalIsNeverWritten) {
    // "_Parvexo" is a link back to the listed folder: every output would replace an original.
    writePicture("a.jpg", 60, 40, Qt::red);
    writePicture("a.png", 60, 40, Qt::blue); // its output a.jpg is the other original
    writePicture("b.png", 60, 40, Qt::green);
    ASSERT_EQ(::symlink(".", QFile::encodeName(path("_Parvexo")).constData()), 0);
    TForm1& w = start();
    const auto before = snapshot(dir_.path());
    pressStart();
    const QString inTheWay =
        QStringLiteral("a.jpg würde eine Originaldatei ersetzen und wird nicht geschrieben.");
    EXPECT_EQ(messages_.texts(), QStringList({started, inTheWay, inTheWay}));
    for (const auto& [file, digest] : before) {
        EXPECT_EQ(snapshot(dir_.path())[file], digest) << qPrintable(file);
    }
    EXPECT_TRUE(QFileInfo::exists(path("b.jpg"))) << "a file that is no original is written";
    EXPECT_FALSE(w.Label3->isHidden()) << "the run ends as usual";
}

TEST_F(WindowTest, TheExactNameIsSelectedPreviewedRenamedAndConverted) {
    writePicture("A.png", 80, 20, Qt::red);
    writePicture("a.png", 30, 60, Qt::blue);
    TForm1& w = start(path("a.png"));
    EXPECT_EQ(w.FileListBox1->FileName(), path("a.png"));
    EXPECT_EQ(w.Label5->text(), "30");
    EXPECT_EQ(w.Label6->text(), "60");

    // "Auswahl" converts the file the user chose, and only that one.
    w.RadioButton2->setChecked(true);
    pressStart();
    EXPECT_EQ(namesIn(path("_Parvexo")), QStringList({"a.jpg"}));
    EXPECT_EQ(readOutput(path("_Parvexo/a.jpg")).size(), QSize(100, 200)) << "portrait: a.png";
}

TEST_F(WindowTest, NamesThatAreNotUtf8AreListedPreviewedConvertedAndRenamed) {
    const QByteArray folder = QFile::encodeName(dir_.path());
    const QString bild = decodeFileName("bild\xff.jpg");
    const QString cafe = decodeFileName("caf\xe9.png");
    writePicture("source.jpg", 40, 30, Qt::red);
    writePicture("source.png", 30, 40, Qt::blue);
    ASSERT_EQ(::rename(folder + "/source.jpg", folder + "/bild\xff.jpg"), 0);
    ASSERT_EQ(::rename(folder + "/source.png", folder + "/caf\xe9.png"), 0);

    TForm1& w = start();
    ASSERT_EQ(w.FileListBox1->Count(), 2);
    EXPECT_GE(w.FileListBox1->IndexOf(bild), 0);
    EXPECT_GE(w.FileListBox1->IndexOf(cafe), 0);
    w.FileListBox1->SetSelected(w.FileListBox1->IndexOf(bild), true);
    w.FileListBox1Change();
    EXPECT_TRUE(messages_.texts().isEmpty()) << qPrintable(messages_.texts().join('|'));
    EXPECT_EQ(w.Label5->text(), "40");

    pressStart();
    EXPECT_EQ(messages_.texts(), QStringList({started}));
    for (const QByteArray& output : {QByteArray("bild\xff.jpg"), QByteArray("caf\xe9.jpg")}) {
        EXPECT_EQ(::access(folder + "/_Parvexo/" + output, F_OK), 0) << output.toHex().constData();
    }

    messages_.clear();
    w.CheckBox5->setChecked(true);
    w.Edit3->setText("_alt");
    pressStart();
    EXPECT_EQ(::access(folder + "/bild\xff_alt.jpg", F_OK), 0);
    EXPECT_EQ(::access(folder + "/caf\xe9_alt.png", F_OK), 0);
}

TEST_F(WindowTest, RenamingToAnEmptyOrHiddenNameIsRefusedAndTheFileStays) {
    writePicture("urlaub.jpg", 40, 30, Qt::red);
    TForm1& w = start();
    for (const QString& typed : {QString(), QStringLiteral(".versteckt")}) {
        messages_.clear();
        w.FileListBox1->SetSelected(0, true);
        test::DialogScript script([&](QDialog& dialog) {
            auto* rename = qobject_cast<TOKBottomDlg*>(&dialog);
            if (rename == nullptr) {
                ADD_FAILURE() << "not the rename dialog";
                return int(QDialog::Rejected);
            }
            rename->Edit1->setText(typed);
            return int(QDialog::Accepted);
        });
        w.FileListBox1DblClick();
        ASSERT_EQ(script.runs(), 1);
        EXPECT_EQ(messages_.texts(),
                  QStringList({QStringLiteral("Datei kann nicht umbenannt werden! Name existiert "
                                              "bereits oder Datei schreibgeschützt!")}));
        EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden),
                  QStringList({"urlaub.jpg"}));
        EXPECT_EQ(w.FileListBox1->Count(), 1);
    }
}

TEST_F(WindowTest, AFileDroppedWhileARunIsGoingIsRefusedAndAcceptedAfterwards) {
    writePicture("a.png", 40, 30, Qt::red);
    QFile broken(path("b.jpg"));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("not a picture");
    broken.close();
    writePicture("c.png", 40, 30, Qt::red);
    ASSERT_TRUE(QDir().mkdir(path("anderswo")));
    writePicture("dort.png", 300, 200, Qt::blue, path("anderswo"));
    TForm1& w = start();

    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(path("anderswo/dort.png"))});
    // Drags the file onto the window: whether it was offered, and what the drop did.
    auto dragAndDrop = [&](bool& accepted, Qt::DropAction& dropped) {
        QWidget* onto = w.FileListBox1;
        const QPoint at(5, 5);
        QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(onto, &enter);
        accepted = enter.isAccepted() && enter.dropAction() != Qt::IgnoreAction;
        QDropEvent drop(at, Qt::CopyAction, &mime, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(onto, &drop);
        dropped = drop.isAccepted() ? drop.dropAction() : Qt::IgnoreAction;
    };

    // The damaged file's message comes in the middle of the run: the drop happens then.
    bool acceptedDuringRun = true;
    Qt::DropAction droppedDuringRun = Qt::CopyAction;
    QString folderDuringRun;
    const MessageHandler recorder = setMessageHandler({});
    setMessageHandler([&](const MessageRequest& request) {
        if (request.text == QStringLiteral("Keine gültige JPEG-Datei")) {
            dragAndDrop(acceptedDuringRun, droppedDuringRun);
            folderDuringRun = w.FileListBox1->Directory();
        }
        return recorder(request);
    });
    pressStart();
    setMessageHandler(recorder);

    EXPECT_FALSE(acceptedDuringRun) << "the window takes nothing while a run is going";
    EXPECT_EQ(droppedDuringRun, Qt::IgnoreAction);
    EXPECT_EQ(folderDuringRun, dir_.path());
    EXPECT_EQ(namesIn(path("_Parvexo")), QStringList({"a.jpg", "c.jpg"}));
    EXPECT_EQ(w.FileListBox1->Directory(), dir_.path()) << "Fertig ! beside the run's own list";
    EXPECT_FALSE(w.Label3->isHidden());

    bool acceptedAfter = false;
    Qt::DropAction droppedAfter = Qt::IgnoreAction;
    dragAndDrop(acceptedAfter, droppedAfter);
    EXPECT_TRUE(acceptedAfter);
    EXPECT_EQ(droppedAfter, Qt::CopyAction);
    EXPECT_EQ(w.FileListBox1->FileName(), path("anderswo/dort.png"));
}
