// "Start": the confirmation, the conversion run and the rename-only run, seen from the window.

#include "app/Forms.h"
#include "app/Unit1.h"
#include "batch/ConversionRun.h"
#include "batch/Naming.h"
#include "batch/RenameRun.h"
#include "batch/RunMessages.h"
#include "browse/DirectoryListBox.h"
#include "browse/FileListBox.h"
#include "browse/TargetFolderDialog.h"
#include "controls/Image.h"
#include "controls/LabelFX.h"
#include "controls/XAquaButton.h"
#include "dragdrop/DropTarget.h"
#include "imaging_ui/OverlayHandlers.h"
#include "imaging_ui/SizeRuleHandlers.h"
#include "imaging_ui/Unit4.h"
#include "platform/Failure.h"
#include "platform/MessageBox.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QScopeGuard>

namespace quill {
namespace {

// The window's side of a conversion run.
class WindowRunHost final : public ConversionHost {
public:
    explicit WindowRunHost(TForm1& window) : window_(window) {}

    // Every report is a box of its own, without a title or icon of its own, and the run waits.
    void report(const RunReport& report) override { showMessage(report.text); }

    std::optional<QString> chooseTargetFolder() override {
        return OKBottomDlg1 ? OKBottomDlg1->ChooseFolder() : std::nullopt;
    }

    void showOutput(const QImage& output) override {
        window_.PlacePreview(output, output.width(), output.height());
        window_.Image1->repaint();
    }

    void progress(int taken, int total) override {
        window_.setWindowTitle(
            QStringLiteral("%1 - %2 / %3").arg(applicationTitle()).arg(taken).arg(total));
        // Let the window system's own events through (repaints, "are you alive" pings) so the
        // desktop never reports the window as hanging; what the user does waits for the end.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }

private:
    TForm1& window_;
};

} // namespace

std::vector<BatchEntry> TForm1::listEntries() const {
    std::vector<BatchEntry> entries;
    const int count = FileListBox1->Count();
    entries.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        entries.push_back({FileListBox1->Items(i), FileListBox1->Selected(i)});
    }
    return entries;
}

void TForm1::setDropsAccepted(bool accepted) {
    if (dropTarget_ != nullptr) {
        dropTarget_->setAccepting(accepted);
    }
}

void TForm1::Button2Click() {
    MessageRequest question;
    question.text = QStringLiteral("Bildverarbeitung starten?");
    question.title = QStringLiteral("Achtung!");
    question.buttons = MsgButtons::YesNo;
    question.defaultButton = MsgResult::Yes;
    if (showMessage(question) != MsgResult::Yes) {
        return;
    }
    // Refused before anything is made, renamed or written: a "/" would lead the names out of
    // their folder, onto the originals.
    if (!isUsableAffix(Edit3->text())) {
        showMessage(unusableAffixMessage());
        return;
    }
    // Names beginning with "." would vanish from the list, and from every file manager.
    if (hidesNames(Edit3->text(), isPostFix(LabelFX1->text()))) {
        showMessage(hidingAffixMessage());
        return;
    }
    if (FileListBox1->Count() == 0) {
        return;
    }
    if (CheckBox5->isChecked()) {
        RunRenameOnly();
        return;
    }
    for (QLabel* label : {Label4, Label5, Label6}) {
        label->setText(QString());
        label->repaint();
    }
    Label3->hide();
    Label3->repaint();
    if (!sizeRules_->ReadAndValidateTargets()) {
        return;
    }
    RunBatchConversion();
}

void TForm1::RunBatchConversion() {
    Button2->setEnabled(false);
    runInProgress_ = true;
    // A drop would move the lists to another folder under the running batch.
    setDropsAccepted(false);
    // "Start" comes back and the title is restored whatever happens below; a close that the
    // window system asked for meanwhile is carried out once the run has let go of the bitmaps.
    const auto restore = qScopeGuard([this] {
        runInProgress_ = false;
        setDropsAccepted(true);
        setWindowTitle(applicationTitle());
        Button2->setEnabled(true);
        if (closePending_) {
            closePending_ = false;
            QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
        }
    });

    ConversionSettings settings;
    settings.folder = FileListBox1->Directory();
    settings.entries = listEntries();
    settings.takeAll = RadioButton1->isChecked();
    settings.affix = Edit3->text();
    settings.postFix = isPostFix(LabelFX1->text());
    settings.sizeRule = sizeRules_->sizeRule();
    settings.transformCode = Form4 ? Form4->transformCode() : 0;
    settings.stampOverlay = overlay().useOverlay();
    settings.overlay = overlay().settings();

    WindowRunHost host(*this);
    const qint64 previewed = workingBitmap_->cacheKey();
    const ConversionResult result =
        quill::RunBatchConversion(settings, *workingBitmap_, *outputBitmap_, *jpeg_, host);
    // A picture the run left in the working bitmap is at full size, unlike a preview's.
    if (workingBitmap_->cacheKey() != previewed) {
        workingFullSize_ = workingBitmap_->size();
    }
    if (!result.completed) {
        return;
    }

    Label3->show();
    DirectoryListBox1->Update();
    try {
        FileListBox1->Update();
    } catch (const InOutError&) {
        // The listed folder has gone, which the run has told once already: the list stays, and
        // there is nothing to select or preview there.
        if (!result.stopped) {
            throw;
        }
        return;
    }
    // Files may have gone meanwhile: then the last entry there is, or none.
    const int index = std::min(result.lastProcessedIndex, FileListBox1->Count() - 1);
    if (index >= 0) {
        FileListBox1->SetSelected(index, true);
    }
    FileListBox1Change();
}

void TForm1::RunRenameOnly() {
    quill::RunRenameOnly(FileListBox1->Directory(), listEntries(), RadioButton1->isChecked(),
                         Edit3->text(), isPostFix(LabelFX1->text()));
    FileListBox1->Update();
    if (FileListBox1->Count() > 0) {
        FileListBox1->SetSelected(0, true);
    }
    FileListBox1Change();
}

} // namespace quill
