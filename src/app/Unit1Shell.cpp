// The window's shell and information handlers: renaming one file, opening files and links, help,
// the About box.

#include "app/Forms.h"
#include "app/Unit1.h"
#include "browse/FileListBox.h"
#include "browse/RenameDialog.h"
#include "controls/HelpHover.h"
#include "platform/MessageBox.h"
#include "platform/Shell.h"
#include "platform/SingleFileRename.h"

namespace quill {

void TForm1::FileListBox1DblClick() {
    const int position = FileListBox1->ItemIndex();
    const QString folder = FileListBox1->Directory();
    const NameParts parts = SplitFileName(FileListBox1->FileName());
    if (!OKBottomDlg) {
        return;
    }
    OKBottomDlg->setCentreOn(this);
    const std::optional<QString> typed = AskNewBaseName(*OKBottomDlg, parts.baseName);
    if (!typed) {
        return;
    }
    if (!RenameSingleFile(FileListBox1->FileName(), folder, *typed)) {
        showMessage(renameFailureMessage());
    }
    FileListBox1->Update();
    if (position >= 0 && position < FileListBox1->Count()) {
        FileListBox1->SetSelected(position, true);
    }
    FileListBox1Change();
}

void TForm1::Image1DblClick() {
    OpenWithAssociation(FileListBox1->FileName());
}

void TForm1::Image2Click() {
    OpenWebPage();
}

void TForm1::StaticText1Click() {
    OpenHelpPage(helpLinkAddress_);
}

void TForm1::StaticText1MouseMove() {
    helpHover_->StaticText1MouseMove();
}

void TForm1::Image3Click() {
    showMessage(aboutBox(QStringLiteral(QUILL_VERSION)));
}

} // namespace quill
