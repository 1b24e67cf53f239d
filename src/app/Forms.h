#pragma once
// The program's five windows: single instances created at start-up in a fixed order and kept
// until the program ends. Parts of the program reach them through these globals.

#include <QString>
#include <memory>

namespace quill {

class TForm1;
class TForm2;
class TOKBottomDlg;
class TForm4;
class TOKBottomDlg1;
class PreviewAhead;

extern TForm1* Form1;
extern TForm2* Form2;
extern TOKBottomDlg* OKBottomDlg;
extern TForm4* Form4;
extern TOKBottomDlg1* OKBottomDlg1;

// Owns the five windows. Creating it creates them in order (the main window first, which makes
// it the main form); destroying it destroys them and clears the globals.
class Forms {
public:
    // ahead, when given, is the preview of the named file decoded meanwhile (see PreviewAhead).
    explicit Forms(const QString& commandTail, PreviewAhead* ahead = nullptr);
    ~Forms();
    Forms(const Forms&) = delete;
    Forms& operator=(const Forms&) = delete;

    TForm1& main() const { return *form1_; }

private:
    std::unique_ptr<TForm1> form1_;
    std::unique_ptr<TForm2> form2_;
    std::unique_ptr<TOKBottomDlg> okBottomDlg_;
    std::unique_ptr<TForm4> form4_;
    std::unique_ptr<TOKBottomDlg1> okBottomDlg1_;
};

} // namespace quill
