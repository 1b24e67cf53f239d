#include "platform/DesktopApps.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <gtest/gtest.h>

namespace {

const QString sourceDir = QStringLiteral(QUILL_SOURCE_DIR);

QString readText(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// The value of a key of the desktop entry ("Name", "Name[de]").
QString entryValue(const QString& text, const QString& key) {
    const QRegularExpression line(QStringLiteral("^") + QRegularExpression::escape(key) +
                                      QStringLiteral("=(.*)$"),
                                  QRegularExpression::MultilineOption);
    return line.match(text).captured(1);
}

const QStringList fileMaskExtensions{
    QStringLiteral("jpg"),  QStringLiteral("bmp"),  QStringLiteral("pcd"), QStringLiteral("tif"),
    QStringLiteral("tiff"), QStringLiteral("ico"),  QStringLiteral("koa"), QStringLiteral("lbm"),
    QStringLiteral("mng"),  QStringLiteral("pcx"),  QStringLiteral("ppm"), QStringLiteral("pgm"),
    QStringLiteral("pbm"),  QStringLiteral("png"),  QStringLiteral("ras"), QStringLiteral("tga"),
    QStringLiteral("heic"), QStringLiteral("heif"), QStringLiteral("hif"), QStringLiteral("avif"),
    QStringLiteral("webp"), QStringLiteral("gif"),  QStringLiteral("jxl"), QStringLiteral("dng"),
    QStringLiteral("cr2"),  QStringLiteral("cr3"),  QStringLiteral("nef"), QStringLiteral("arw"),
    QStringLiteral("raf"),  QStringLiteral("orf"),  QStringLiteral("rw2"), QStringLiteral("pef"),
    QStringLiteral("srw")};

} // namespace

TEST(DesktopEntry, ValidatesAndNamesTheProgramInEnglishAndGerman) {
    const QString desktop = sourceDir + QStringLiteral("/data/quillmere.desktop");
    const QString validator =
        QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    ASSERT_FALSE(validator.isEmpty()) << "desktop-file-utils is missing (scripts/install-deps.sh)";
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(validator, {desktop});
    ASSERT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitCode(), 0) << process.readAll().toStdString();

    const QString text = readText(desktop);
    EXPECT_EQ(entryValue(text, QStringLiteral("Name")), QStringLiteral("Quillmere"));
    EXPECT_FALSE(entryValue(text, QStringLiteral("Comment")).isEmpty());
    EXPECT_FALSE(entryValue(text, QStringLiteral("Comment[de]")).isEmpty());
    EXPECT_NE(entryValue(text, QStringLiteral("Comment")),
              entryValue(text, QStringLiteral("Comment[de]")));
    EXPECT_FALSE(entryValue(text, QStringLiteral("GenericName[de]")).isEmpty());
    EXPECT_EQ(entryValue(text, QStringLiteral("Exec")), QStringLiteral("quillmere %f"));
    EXPECT_EQ(entryValue(text, QStringLiteral("Icon")), QStringLiteral("quillmere"));
    EXPECT_TRUE(
        entryValue(text, QStringLiteral("Categories")).startsWith(QStringLiteral("Graphics;")));
}

// Every extension of the file list's mask is offered to file managers under the type the system
// gives such files, so "Open with Quillmere" appears for each of them.
TEST(DesktopEntry, TheMimeTypesCoverEveryPictureExtension) {
    const QString text = readText(sourceDir + QStringLiteral("/data/quillmere.desktop"));
    const QStringList types =
        entryValue(text, QStringLiteral("MimeType")).split(QLatin1Char(';'), Qt::SkipEmptyParts);
    EXPECT_EQ(types.size(), 32);
    EXPECT_EQ(types.size(), QSet<QString>(types.begin(), types.end()).size());

    const QString ownTypes = readText(sourceDir + QStringLiteral("/data/quillmere-mime.xml"));
    const QMimeDatabase database;
    for (const QString& type : types) {
        const bool known = database.mimeTypeForName(type).isValid() ||
                           ownTypes.contains(QStringLiteral("type=\"") + type + QLatin1Char('"'));
        EXPECT_TRUE(known) << type.toStdString();
    }
    for (const QString& extension : fileMaskExtensions) {
        const QString name = QStringLiteral("bild.") + extension;
        bool covered = false;
        for (const QMimeType& type : database.mimeTypesForFileName(name)) {
            covered = covered || types.contains(type.name());
        }
        // The Koala and Samsung raw types are the program's own additions to the database.
        covered = covered || ownTypes.contains(QStringLiteral("<glob pattern=\"*.") + extension +
                                               QStringLiteral("\"/>"));
        EXPECT_TRUE(covered) << name.toStdString();
    }
}

TEST(HelpPage, ShippedInTheBuildTreeBesideTheProgram) {
    const QString built = QCoreApplication::applicationDirPath() + QLatin1Char('/') +
                          QStringLiteral("../share/quillmere/help/index.html");
    ASSERT_TRUE(QFileInfo(built).isFile()) << built.toStdString();
    const QString page = readText(built);
    EXPECT_EQ(page, readText(sourceDir + QStringLiteral("/data/help/index.html")));
    EXPECT_TRUE(page.contains(QStringLiteral("<html lang=\"de\">")));
}

// The page explains every control and both runs, in the window's own words, and works offline.
TEST(HelpPage, ExplainsEveryControlAndNeedsNothingFromOutside) {
    const QString page = readText(sourceDir + QStringLiteral("/data/help/index.html"));
    for (const char* caption : {"XTRA",
                                "HELP",
                                "Vorschau",
                                "Bildgröße",
                                "Grösse ändern",
                                "Breite",
                                "Höhe",
                                "Start",
                                "JPEG-Qualität",
                                "Text Font",
                                "Text Farbe",
                                "Text Eingabe",
                                "Diesen Text verwenden",
                                "PostFix",
                                "PreFix",
                                "nur Name ändern",
                                "Alle",
                                "Auswahl",
                                "drehen &amp; spiegeln",
                                "_Parvexo",
                                "Rename File",
                                "Abbrechen",
                                "Fertig !",
                                "Laufwerk",
                                "Ordnerliste",
                                "Dateiliste",
                                "Umwandlungslauf",
                                "Umbenennungslauf"}) {
        EXPECT_TRUE(page.contains(QString::fromUtf8(caption))) << caption;
    }
    for (const QString& extension : fileMaskExtensions) {
        EXPECT_TRUE(page.contains(QLatin1Char('.') + extension)) << extension.toStdString();
    }
    // No scripts, style sheets or pictures fetched from elsewhere.
    EXPECT_FALSE(page.contains(QStringLiteral("src=")));
    EXPECT_FALSE(page.contains(QStringLiteral("<link")));
    EXPECT_FALSE(page.contains(QStringLiteral("<script")));
}
