// The dialogs around the main window: where they open, the face they use, and the language of
// Qt's own font and colour dialogs.

#include "WindowFixture.h"
#include "app/Appearance.h"
#include "app/Forms.h"
#include "browse/RenameDialog.h"
#include "browse/TargetFolderDialog.h"
#include "platform/Fonts.h"

#include <QAbstractButton>
#include <QColorDialog>
#include <QCoreApplication>
#include <QFile>
#include <QFontDialog>
#include <QLabel>
#include <QPushButton>
#include <gtest/gtest.h>

using namespace quill;
using quill::test::WindowTest;

namespace {

QStringList buttonTexts(const QWidget& dialog) {
    QStringList texts;
    for (const QAbstractButton* button : dialog.findChildren<QAbstractButton*>()) {
        texts << button->text();
    }
    return texts;
}

// Where a dialog opens: shown without a nested event loop, its frame's centre noted, closed.
struct OpeningPlaces {
    std::vector<QPoint> centres;
    int operator()(QDialog& dialog) {
        dialog.show();
        centres.push_back(dialog.frameGeometry().center());
        dialog.hide();
        return QDialog::Rejected;
    }
};

} // namespace

TEST(GermanQtTexts, FontAndColourDialogsSpeakGerman) {
    ASSERT_TRUE(QFile::exists(qtTranslationsFolder() + QStringLiteral("/qtbase_de.qm")))
        << "Qt's German translation is missing; scripts/install-deps.sh installs it";
    ASSERT_TRUE(installGermanQtTexts(*QCoreApplication::instance()));

    const QFontDialog font;
    EXPECT_EQ(font.windowTitle(), QStringLiteral("Schriftart auswählen"));
    const QStringList fontButtons = buttonTexts(font);
    EXPECT_TRUE(fontButtons.contains(QStringLiteral("Abbrechen")))
        << qPrintable(fontButtons.join('|'));
    EXPECT_FALSE(fontButtons.contains(QStringLiteral("Cancel")));
    EXPECT_FALSE(fontButtons.contains(QStringLiteral("Strikeout")));

    const QColorDialog colour;
    EXPECT_EQ(colour.windowTitle(), QStringLiteral("Farbauswahl"));
    const QStringList colourButtons = buttonTexts(colour);
    EXPECT_TRUE(colourButtons.contains(QStringLiteral("Abbrechen")))
        << qPrintable(colourButtons.join('|'));
}

TEST_F(WindowTest, TargetFolderDialogOpensOnTheMainWindowAfterTheMessageBox) {
    writePicture("a.png", 40, 30, Qt::red);
    // A file of that name: the output folder can neither be found nor made.
    QFile blocker(path("_Parvexo"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    TForm1& w = start();
    // Away from the middle of the screen, so a dialog centred on the screen shows.
    w.move(23, 17);
    const QPoint mainCentre = w.frameGeometry().center();

    OpeningPlaces places;
    {
        test::DialogScript script(std::ref(places));
        pressStart();
    }
    EXPECT_EQ(messages_.texts().last(),
              "Zielverzeichnis kann im gewählten Verzeichnis nicht angelegt werden");
    ASSERT_EQ(places.centres.size(), 1U);
    EXPECT_LE((places.centres.front() - mainCentre).manhattanLength(), 1)
        << places.centres.front().x() << "," << places.centres.front().y();
}

TEST_F(WindowTest, TargetFolderDialogTitleShowsNothing) {
    start();
    ASSERT_NE(OKBottomDlg1, nullptr);
    // Not empty, or Qt would put the program's name there; blank, so nothing shows.
    EXPECT_FALSE(OKBottomDlg1->windowTitle().isEmpty());
    EXPECT_TRUE(OKBottomDlg1->windowTitle().trimmed().isEmpty());
}

TEST_F(WindowTest, RenameDialogUsesTheUiFaceAndOpensOnTheMainWindow) {
    writePicture("Urlaub 01.png", 40, 30, Qt::red);
    TForm1& w = start();
    ASSERT_NE(OKBottomDlg, nullptr);
    for (const QWidget* widget : {static_cast<const QWidget*>(OKBottomDlg),
                                  static_cast<const QWidget*>(OKBottomDlg->Label1),
                                  static_cast<const QWidget*>(OKBottomDlg->OKBtn)}) {
        EXPECT_EQ(widget->font().family(), uiFontFamily());
        EXPECT_EQ(widget->font().pixelSize(), 11);
    }
    w.move(31, 29);
    OpeningPlaces places;
    {
        test::DialogScript script(std::ref(places));
        w.FileListBox1DblClick();
    }
    ASSERT_EQ(places.centres.size(), 1U);
    EXPECT_LE((places.centres.front() - w.frameGeometry().center()).manhattanLength(), 1);
}
