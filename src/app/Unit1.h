#pragma once
// The main window: every control of the one working surface, the process-wide picture objects,
// and the handlers that link them.

#include <QImage>
#include <QSize>
#include <QString>
#include <QWidget>
#include <memory>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class QSlider;
class QWidget;
class QFontDialog;
class QColorDialog;

namespace quill {

class TXAquaButton;
class TLabelFX;
class TImage;
class TStaticText;
class TDriveComboBox;
class TDirectoryListBox;
class TFileListBox;
class TJPEGImage;
class SizeRuleHandlers;
class OverlayHandlers;
class XtraHover;
class HelpHover;
struct BatchEntry;
struct PreviewMemo;
class PreviewAhead;
namespace ole {
class TDropTarget;
}

class TForm1 : public QWidget {
    Q_OBJECT
public:
    // Builds the window and runs the whole start-up of the main window, ending with go-to-file for
    // the command tail when it names an existing file.
    explicit TForm1(const QString& commandTail = {}, PreviewAhead* ahead = nullptr);
    ~TForm1() override;

    // Controls, named as everywhere in the program. All are owned by the window.
    TStaticText* StaticText2 = nullptr; // " XTRA ": shows "drehen & spiegeln" (Form4)
    TStaticText* StaticText1 = nullptr; // "HELP": opens the help page
    TImage* RedCross = nullptr;         // the red cross beside "HELP" while the pointer is on it
    QCheckBox* CheckBox3 = nullptr;     // "Vorschau": the preview on or off
    QLabel* Label7 = nullptr;           // "Bildgröße", caption of the size display
    QLabel* Label5 = nullptr;           // size display: the picture's width
    QLabel* Label4 = nullptr;           // size display: the "x" between width and height
    QLabel* Label6 = nullptr;           // size display: the picture's height
    QWidget* Shape1 = nullptr;          // the panel behind the size settings
    QCheckBox* CheckBox1 = nullptr;     // "Breite": the target width applies
    QLineEdit* Edit1 = nullptr;         // target width
    QCheckBox* CheckBox2 = nullptr;     // "Höhe": the target height applies
    QLineEdit* Edit2 = nullptr;         // target height
    QCheckBox* CheckBox4 = nullptr;     // "Grösse ändern": resize, or keep every picture's size
    QLabel* Label1 = nullptr;           // the explanation of the size rule in force
    QLabel* Label3 = nullptr;           // "Fertig !" after a run
    TXAquaButton* Button2 = nullptr;    // "Start": the conversion or rename-only run
    QLabel* Label2 = nullptr;           // "JPEG-Qualität:"
    QLabel* Label8 = nullptr;           // the quality's value
    QSlider* TrackBar1 = nullptr;       // JPEG quality, 10 to 100
    TXAquaButton* Button3 = nullptr;    // "Text Font": the overlay's font
    TXAquaButton* Button4 = nullptr;    // "Text Farbe": the overlay's colour
    TXAquaButton* Button5 = nullptr;    // "Text": "Text Eingabe" (Form2)
    TLabelFX* LabelFX1 = nullptr;       // "PostFix" or "PreFix": where the affix goes
    QLineEdit* Edit3 = nullptr;         // the name affix
    QCheckBox* CheckBox5 = nullptr;     // "nur Name ändern": Start only renames
    TDriveComboBox* DriveComboBox1 = nullptr;       // the drive (mounted volume)
    TDirectoryListBox* DirectoryListBox1 = nullptr; // the folder list
    TFileListBox* FileListBox1 = nullptr;           // the picture files of the folder
    QRadioButton* RadioButton1 = nullptr;           // "Alle": Start takes every file
    QRadioButton* RadioButton2 = nullptr;           // "Auswahl": Start takes the selected files
    TImage* Image2 = nullptr;                       // the web link strip
    TImage* Image3 = nullptr;                       // the About strip
    QWidget* ScrollBox1 = nullptr;                  // the preview area
    TImage* Image1 = nullptr;                       // the preview picture

    // The largest width and height of the picture in the preview area: kPreviewSide, also known
    // before the window exists.
    static constexpr int kPreviewSide = 520;
    int PreviewLimit = 0;

    // Process-wide objects; they exist from construction until the close handling.
    TJPEGImage* jpeg() const { return jpeg_.get(); }
    QImage* workingBitmap() const { return workingBitmap_.get(); }
    QImage* outputBitmap() const { return outputBitmap_.get(); }
    const QString& helpLinkAddress() const { return helpLinkAddress_; }
    bool dropInProgress() const { return dropInProgress_; }

    // Handlers, wired as the layout says; other parts of the program call some of them directly.
    void FormCloseQuery(bool& canClose);
    void StaticText2MouseMove();
    void StaticText1Click();
    void StaticText1MouseMove();
    void CheckBox3Click();
    void CheckBox1Click();
    void CheckBox2Click();
    void CheckBox4Click();
    void Button2Click();
    void Button3Click();
    void Button4Click();
    void Button5Click();
    void TrackBar1Change();
    void LabelFX1Click();
    void LabelFX1MouseEnter();
    void LabelFX1MouseLeave();
    void DriveComboBox1Change();
    void DirectoryListBox1Change();
    void FileListBox1Change();
    void FileListBox1DblClick();
    void Image1DblClick();
    void Image1MouseDown();
    void Image2Click();
    void Image3Click();

    // Brings the drive selector, the folder list and the file list to a file, selects and
    // previews it.
    void GoToFile(const QString& path);

    // A file handed over (command line or drop) that the file list does not show: a picture the
    // program reads is previewed by itself, with nothing selected in the list; any other file is
    // reported. False when nothing was previewed.
    bool PreviewHandedOver(const QString& path);

    // Decodes the file for the preview and shows it with its size; a failed load is told.
    void ShowPreviewOf(const QString& path);

    // Selects the entry of this name; letter case is ignored only when no entry has the exact
    // name (on a case-insensitive volume a path may name a listed file in other letters).
    bool selectEntryNamed(const QString& name);

    // Gives Image1 the picture, fitted to the preview limit as a picture of width x height
    // would be and centred in the preview area.
    void PlacePreview(const QImage& picture, int width, int height);

    // The two runs behind "Start".
    void RunBatchConversion();
    void RunRenameOnly();

    // The drop handler: goes to the first of the dropped files (a locked DROPFILES block).
    void DroppedFiles(const void* dropFiles);

protected:
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;

private:
    // The file list's change made by the user (keys, mouse): previews once the queued events are
    // handled.
    void FileListBox1UserChange();
    void queuedPreview();
    void buildLayout();
    void wireEvents();
    void applyButtonLooks();
    // Tells a screen reader the size of the picture in the preview.
    void describePreview();
    std::vector<BatchEntry> listEntries() const;
    void setDropsAccepted(bool accepted);
    OverlayHandlers& overlay();
    XtraHover& xtraHover();

    std::unique_ptr<TJPEGImage> jpeg_;
    std::unique_ptr<QImage> workingBitmap_;
    std::unique_ptr<QImage> outputBitmap_;
    // The working bitmap's picture at full size: the preview may hold a smaller decode of it.
    QSize workingFullSize_;
    std::unique_ptr<PreviewMemo> previewMemo_;
    std::unique_ptr<SizeRuleHandlers> sizeRules_;
    std::unique_ptr<OverlayHandlers> overlay_;
    std::unique_ptr<XtraHover> xtraHover_;
    std::unique_ptr<HelpHover> helpHover_;
    ole::TDropTarget* dropTarget_ = nullptr;
    QString helpLinkAddress_;
    QString commandTail_;
    bool dropInProgress_ = false;
    bool closed_ = false;
    bool runInProgress_ = false;
    bool closePending_ = false;
    bool previewQueued_ = false;
};

} // namespace quill
