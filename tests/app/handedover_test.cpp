// Files a file manager hands over ("Open with", the command line) for every type the desktop
// entry claims, under every extension the MIME database gives that type.

#include "PictureFiles.h"
#include "WindowFixture.h"

#include "browse/FileListBox.h"

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

} // namespace

TEST_F(WindowTest, EveryClaimedTypeHandedOverIsPreviewedUnderEachOfItsExtensions) {
    ASSERT_TRUE(QDir().mkdir(path("fotos")));
    writePicture("a_erstes.png", 40, 30, Qt::red, path("fotos"));
    TForm1& w = start();
    const QStringList types = QRegularExpression(QStringLiteral("\nMimeType=(.*)\n"))
                                  .match(sourceText("quillmere.desktop"))
                                  .captured(1)
                                  .split(QLatin1Char(';'), Qt::SkipEmptyParts);
    ASSERT_EQ(types.size(), 32);
    for (const QString& type : types) {
        QStringList suffixes = QMimeDatabase().mimeTypeForName(type).suffixes();
        // The program's own types come with it, not with the system.
        const QRegularExpression own(
            QStringLiteral("type=\"%1\".*?pattern=\"\\*\\.(\\w+)\"").arg(type),
            QRegularExpression::DotMatchesEverythingOption);
        suffixes << own.match(sourceText("quillmere-mime.xml")).captured(1);
        suffixes.removeAll(QString());
        EXPECT_FALSE(suffixes.isEmpty()) << type.toStdString();
        for (const QString& suffix : suffixes) {
            // Upper case too: cameras name files so.
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
                // The listed first picture, which is not what is shown, is not selected.
                EXPECT_NE(w.FileListBox1->FileName(), path("fotos/a_erstes.png"));
                QFile::remove(file);
                messages_.clear();
            }
        }
    }
}
