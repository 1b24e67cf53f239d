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
    TStaticText* StaticText2 = nullptr;
    TStaticText* StaticText1 = nullptr;
    TImage* RedCross = nullptr;
    QCheckBox* CheckBox3 = nullptr;
    QLabel* Label7 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label6 = nullptr;
    QWidget* Shape1 = nullptr;
    QCheckBox* CheckBox1 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QCheckBox* CheckBox2 = nullptr;
    QLineEdit* Edit2 = nullptr;
    QCheckBox* CheckBox4 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label3 = nullptr;
    TXAquaButton* Button2 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label8 = nullptr;
    QSlider* TrackBar1 = nullptr;
    TXAquaButton* Button3 = nullptr;
    TXAquaButton* Button4 = nullptr;
    TXAquaButton* Button5 = nullptr;
    TLabelFX* LabelFX1 = nullptr;
    QLineEdit* Edit3 = nullptr;
    QCheckBox* CheckBox5 = nullptr;
    TDriveComboBox* DriveComboBox1 = nullptr;
    TDirectoryListBox* DirectoryListBox1 = nullptr;
    TFileListBox* FileListBox1 = nullptr;
    QRadioButton* RadioButton1 = nullptr;
    QRadioButton* RadioButton2 = nullptr;
    TImage* Image2 = nullptr;
    TImage* Image3 = nullptr;
    QWidget* ScrollBox1 = nullptr;
    TImage* Image1 = nullptr;

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
