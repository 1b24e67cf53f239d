#include "app/Forms.h"

#include "app/Unit1.h"
#include "browse/RenameDialog.h"
#include "browse/TargetFolderDialog.h"
#include "imaging_ui/Unit2.h"
#include "imaging_ui/Unit4.h"

namespace quill {

TForm1* Form1 = nullptr;
TForm2* Form2 = nullptr;
TOKBottomDlg* OKBottomDlg = nullptr;
TForm4* Form4 = nullptr;
TOKBottomDlg1* OKBottomDlg1 = nullptr;

Forms::Forms(const QString& commandTail, PreviewAhead* ahead) {
    form1_ = std::make_unique<TForm1>(commandTail, ahead);
    Form1 = form1_.get();
    form2_ = std::make_unique<TForm2>();
    Form2 = form2_.get();
    okBottomDlg_ = std::make_unique<TOKBottomDlg>();
    OKBottomDlg = okBottomDlg_.get();
    form4_ = std::make_unique<TForm4>();
    Form4 = form4_.get();
    okBottomDlg1_ = std::make_unique<TOKBottomDlg1>();
    OKBottomDlg1 = okBottomDlg1_.get();
    // It follows a message box, when no window is active: it is told where the main window is.
    okBottomDlg1_->setCentreOn(form1_.get());
}

Forms::~Forms() {
    Form1 = nullptr;
    Form2 = nullptr;
    OKBottomDlg = nullptr;
    Form4 = nullptr;
    OKBottomDlg1 = nullptr;
    okBottomDlg1_.reset();
    form4_.reset();
    okBottomDlg_.reset();
    form2_.reset();
    form1_.reset();
}

} // namespace quill
