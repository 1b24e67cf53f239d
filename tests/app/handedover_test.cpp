// Files a file manager hands over ("Open with", the command line, a drop) for every type the
// desktop entry claims, under every extension the MIME database gives that type.

#include "PictureFiles.h"
#include "WindowFixture.h"

#include "browse/FileListBox.h"
#include "imaging/ImageLoading.h"

#include <QCheckBox>
#include <QLabel>
#include <QMimeDatabase>
#include <QRegularExpression>

using namespace quill;
using quill::test::WindowTest;

namespace {

QString sourceText(const char* name) {
    QFile file(QStringLiteral(QUILL_SOURCE_DIR "/data/") + QLatin1String(name));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// Each claimed type with its extensions; the program's own types from its MIME package.
std::vector<std::pair<QString, QStringList>> claimedTypes() {
    const QRegularExpression mimeLine(QStringLiteral("^MimeType=(.*)$"),
                                      QRegularExpression::MultilineOption);
    const QString ownTypes = sourceText("quillmere-mime.xml");
    std::vector<std::pair<QString, QStringList>> claimed;
    for (const QString& type : mimeLine.match(sourceText("quillmere.desktop"))
                                   .captured(1)
                                   .split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        QStringList suffixes = QMimeDatabase().mimeTypeForName(type).suffixes();
        const QRegularExpression ownGlob(QStringLiteral("type=\"%1\".*?pattern=\"\\*\\.(\\w+)\"")
                                             .arg(QRegularExpression::escape(type)),
                                         QRegularExpression::DotMatchesEverythingOption);
        if (const QRegularExpressionMatch own = ownGlob.match(ownTypes); own.hasMatch()) {
            suffixes << own.captured(1);
        }
        claimed.emplace_back(type, suffixes);
    }
    return claimed;
}

} // namespace

TEST_F(WindowTest, EveryClaimedTypeHandedOverIsPreviewedUnderEachOfItsExtensions) {
    ASSERT_TRUE(QDir().mkdir(path("fotos")));
    writePicture("a_erstes.png", 40, 30, Qt::red, path("fotos"));
    TForm1& w = start();
    const auto claimed = claimedTypes();
    ASSERT_GE(claimed.size(), 16u);
    for (const auto& [type, suffixes] : claimed) {
        EXPECT_FALSE(suffixes.isEmpty()) << type.toStdString();
        for (const QString& suffix : suffixes) {
            // Upper case too: a camera's card names files so.
            for (const QString& name : {"bild." + suffix, "BILD." + suffix.toUpper()}) {
                SCOPED_TRACE(type.toStdString() + " " + name.toStdString());
                const QString file = path("fotos/") + name;
                const QSize size = quill::test::writePictureOfType(type, file);
                ASSERT_TRUE(size.isValid()) << "no writer for the type";
                w.GoToFile(file);
                EXPECT_TRUE(messages_.texts().isEmpty())
                    << messages_.texts().join(' ').toStdString();
                EXPECT_EQ(w.Label5->text(), QString::number(size.width()));
                EXPECT_EQ(w.Label6->text(), QString::number(size.height()));
                EXPECT_TRUE(w.CheckBox3->isChecked());
                // The listed first picture is not selected: it is not what is shown.
                EXPECT_TRUE(w.FileListBox1->FileName().isEmpty() ||
                            w.FileListBox1->FileName() == file);
                QFile::remove(file);
                messages_.clear();
            }
        }
    }
}

// A file of no type the program reads is said so, not left as an empty preview.
TEST_F(WindowTest, AHandedOverFileWithoutADecoderIsReported) {
    writePicture("a_erstes.png", 40, 30, Qt::red);
    TForm1& w = start();
    for (const char* name : {"notiz.txt", "bild.gif", "ohne_endung"}) {
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.close();
        messages_.clear();
        w.GoToFile(path(name));
        EXPECT_EQ(messages_.texts(), QStringList{NoDecoderMessage(name)}) << name;
    }
}
