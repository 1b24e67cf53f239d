#include "app/Unit1.h"

#include "app/ButtonLook.h"
#include "app/Forms.h"
#include "app/Program.h"
#include "batch/Naming.h"
#include "browse/DirectoryListBox.h"
#include "browse/DriveComboBox.h"
#include "browse/FileListBox.h"
#include "controls/Accessible.h"
#include "controls/HelpHover.h"
#include "controls/Image.h"
#include "controls/LabelFX.h"
#include "controls/LayoutPalette.h"
#include "controls/StaticText.h"
#include "controls/XAquaButton.h"
#include "dragdrop/DragFile.h"
#include "dragdrop/DropFiles.h"
#include "dragdrop/DropTarget.h"
#include "dragdrop/OleShim.h"
#include "dragdrop/WindowMessage.h"
#include "imaging/DecoderService.h"
#include "imaging/ImageLoading.h"
#include "imaging/JpegImage.h"
#include "imaging/PreviewGeometry.h"
#include "imaging/SizeRules.h"
#include "imaging_ui/OverlayHandlers.h"
#include "imaging_ui/SizeRuleHandlers.h"
#include "imaging_ui/XtraHover.h"
#include "platform/FileNames.h"
#include "platform/FileSystem.h"
#include "platform/Fonts.h"
#include "platform/GuardedSlot.h"
#include "platform/MessageBox.h"
#include "platform/Shell.h"
#include "platform/WaitCursor.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QScopeGuard>
#include <QScreen>
#include <QSlider>
#include <algorithm>
#include <utility>

namespace quill {
namespace {

const QColor windowColour(235, 235, 235);
const QColor panelColour(156, 180, 188);
const QColor previewColour(128, 128, 128);
const QColor hoverColour(220, 5, 27);

constexpr ole::BOOL lock = 1;
constexpr ole::BOOL unlock = 0;
constexpr ole::BOOL lastUnlockReleases = 1;

// The sixteen patterns of old, then the formats of phones, the web and cameras.
const QString fileMask = QStringLiteral(
    "*.jpg;*.bmp;*.pcd;*.tif;*.tiff;*.ico;*.koa;*.lbm;*.mng;*.pcx;*.ppm;*.pgm;*.pbm;*.png;*.ras;*."
    "tga;"
    "*.heic;*.heif;*.hif;*.avif;*.webp;*.gif;*.jxl;*.dng;*.cr2;*.cr3;*.nef;*.arw;*.raf;*.orf;*.rw2;"
    "*.pef;*.srw");

void place(QWidget* widget, int left, int top, int width, int height) {
    widget->setGeometry(left, top, width, height);
}

void setBackground(QWidget* widget, const QColor& colour) {
    // Buttons (check boxes among them) fill with their Button colour unless told otherwise.
    widget->setBackgroundRole(QPalette::Window);
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

void setTextColour(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    widget->setPalette(palette);
}

} // namespace

TForm1::TForm1(const QString& commandTail, PreviewAhead* ahead) : commandTail_(commandTail) {
    // The start-up runs in a fixed order: the controls (the lists show the process's current
    // folder), the decoder service, the shared picture objects, the window's place, the
    // defaults, drag and drop, the first preview, and last the file named on the command line.
    buildLayout();
    sizeRules_ =
        std::make_unique<SizeRuleHandlers>(CheckBox1, CheckBox2, CheckBox4, Edit1, Edit2, Label1);
    helpHover_ = std::make_unique<HelpHover>(StaticText1, this);
    helpHover_->setOnStart([this] {
        setTextColour(StaticText1, hoverColour);
        RedCross->show();
    });
    helpHover_->setOnEnd([this] {
        setTextColour(StaticText1, Qt::black);
        RedCross->hide();
    });
    wireEvents();
    startDecoderService();
    PreviewLimit = kPreviewSide;
    jpeg_ = std::make_unique<TJPEGImage>();
    jpeg_->SetCompressionQuality(90);
    workingBitmap_ = std::make_unique<QImage>();
    previewMemo_ = std::make_unique<PreviewMemo>();
    outputBitmap_ = std::make_unique<QImage>();
    // A fixed client area; the window manager adds the frame. Centred on the desktop.
    setFixedSize(794, 576);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect desktop = screen->availableGeometry();
        move(desktop.left() + (desktop.width() - 800) / 2,
             desktop.top() + (desktop.height() - 600) / 2);
    }
    ScrollBox1->resize(532, 532);
    Image1->setStretch(true);
    helpLinkAddress_ = helpPageAddress();
    RadioButton1->setChecked(true);
    // The targets start at 200 in the size handlers; the explanation for neither box.
    Label1->setText(explanationText(SizeModeNeither));
    Label3->hide();
    if (FileListBox1->Count() > 0) {
        FileListBox1->SetSelected(0, true);
    }
    ole::OleInitialize(nullptr);
    // The window keeps one reference of its own; the lock keeps another until the close.
    dropTarget_ = ole::TDropTarget::Create(this);
    if (dropTarget_) {
        ole::CoLockObjectExternal(dropTarget_, lock, lastUnlockReleases);
        ole::RegisterDragDrop(this, dropTarget_);
    }
    if (ahead) {
        previewMemo_->ahead = ahead->take();
    }
    // Ticking runs the click reaction at once: the first preview is built now.
    CheckBox3->setChecked(true);
    CheckBox3Click();
    // A tail that names nothing that exists gives no long form: nothing is selected then.
    if (!commandTail_.isEmpty()) {
        if (const std::optional<QString> longPath = GetLongPathName(commandTail_)) {
            GoToFile(*longPath);
        }
    }
    previewMemo_->ahead.reset();
}

TForm1::~TForm1() {
    if (!closed_) {
        bool canClose = true;
        FormCloseQuery(canClose);
    }
}

void TForm1::applyButtonLooks() {
    applyMainWindowLook(*Button2, QStringLiteral("Start"), true);
    applyMainWindowLook(*Button3, QStringLiteral("Text Font"), false);
    applyMainWindowLook(*Button4, QStringLiteral("Text Farbe"), false);
    applyMainWindowLook(*Button5, QStringLiteral("Text"), false);
}

void TForm1::wireEvents() {
    connectGuarded(StaticText2, &TStaticText::mouseMoved, this, &TForm1::StaticText2MouseMove);
    // The pointer's hover from the keyboard: the tool window stays until Escape.
    connectGuarded(StaticText2, &TStaticText::clicked, this,
                   [this] { xtraHover().openFromKeyboard(StaticText2); });
    connectGuarded(StaticText1, &TStaticText::clicked, this, &TForm1::StaticText1Click);
    connectGuarded(StaticText1, &TStaticText::mouseMoved, this, &TForm1::StaticText1MouseMove);
    connectGuarded(CheckBox3, &QCheckBox::clicked, this, &TForm1::CheckBox3Click);
    connectGuarded(CheckBox1, &QCheckBox::clicked, this, &TForm1::CheckBox1Click);
    connectGuarded(CheckBox2, &QCheckBox::clicked, this, &TForm1::CheckBox2Click);
    connectGuarded(CheckBox4, &QCheckBox::clicked, this, &TForm1::CheckBox4Click);
    connectGuarded(Button2, &TXAquaButton::clicked, this, &TForm1::Button2Click);
    connectGuarded(Button3, &TXAquaButton::clicked, this, &TForm1::Button3Click);
    connectGuarded(Button4, &TXAquaButton::clicked, this, &TForm1::Button4Click);
    connectGuarded(Button5, &TXAquaButton::clicked, this, &TForm1::Button5Click);
    // Dragging stops on any whole number; the arrow and page keys step by 10.
    connectGuarded(TrackBar1, &QSlider::valueChanged, this, &TForm1::TrackBar1Change);
    connectGuarded(LabelFX1, &TLabelFX::clicked, this, &TForm1::LabelFX1Click);
    connectGuarded(LabelFX1, &TLabelFX::mouseEnter, this, &TForm1::LabelFX1MouseEnter);
    connectGuarded(LabelFX1, &TLabelFX::mouseLeave, this, &TForm1::LabelFX1MouseLeave);
    connectGuarded(DriveComboBox1, &TDriveComboBox::changed, this, &TForm1::DriveComboBox1Change);
    connectGuarded(DirectoryListBox1, &TDirectoryListBox::changed, this,
                   &TForm1::DirectoryListBox1Change);
    connectGuarded(FileListBox1, &TFileListBox::changed, this, [this](bool byUser) {
        if (byUser) {
            FileListBox1UserChange();
        } else {
            FileListBox1Change();
        }
    });
    connectGuarded(FileListBox1, &TFileListBox::listDoubleClicked, this,
                   &TForm1::FileListBox1DblClick);
    connectGuarded(Image1, &TImage::pictureChanged, this, &TForm1::describePreview);
    connectGuarded(Image1, &TImage::doubleClicked, this, &TForm1::Image1DblClick);
    connectGuarded(Image1, &TImage::mouseDown, this, &TForm1::Image1MouseDown);
    connectGuarded(Image2, &TImage::clicked, this, &TForm1::Image2Click);
    connectGuarded(Image3, &TImage::clicked, this, &TForm1::Image3Click);
}

// Start-up and close.

void TForm1::closeEvent(QCloseEvent* event) {
    if (runInProgress_) {
        // The run works on the bitmaps the close would free: close when it is over.
        closePending_ = true;
        event->ignore();
        return;
    }
    // A failure leaves the event accepted: the window closes.
    runGuarded([&] {
        bool canClose = true;
        if (!closed_) {
            FormCloseQuery(canClose);
        }
        if (canClose) {
            event->accept();
        } else {
            event->ignore();
        }
    });
}

void TForm1::FormCloseQuery(bool& canClose) {
    // What the start-up made goes again, in a fixed order: the decoder service, the shared picture
    // objects, then drag and drop, whose target goes with the last reference.
    stopDecoderService();
    workingBitmap_.reset();
    previewMemo_.reset();
    jpeg_.reset();
    outputBitmap_.reset();
    ole::RevokeDragDrop(this);
    if (dropTarget_) {
        // The window's own reference.
        ole::TDropTarget* target = std::exchange(dropTarget_, nullptr);
        target->Release();
        // The lock's reference was the last one: the target is destroyed here.
        ole::CoLockObjectExternal(target, unlock, lastUnlockReleases);
    }
    ole::OleUninitialize();
    closed_ = true;
    // Closing is never refused and nothing is asked.
    canClose = true;
}

bool TForm1::event(QEvent* event) {
    if (event->type() == ole::WindowMessageEvent::eventType()) {
        auto* message = static_cast<ole::WindowMessageEvent*>(event);
        if (message->message() == ole::WM_FILESDROPPED) {
            // A folder that cannot be entered ends the handler; its failure is shown here, in
            // the standard error box, so it never travels back into the drop target.
            runGuarded([&] { DroppedFiles(reinterpret_cast<ole::HDROP>(message->wParam())); });
            message->setResult(0);
            return true;
        }
    }
    return QWidget::event(event);
}

// Settings handlers.

void TForm1::TrackBar1Change() {
    Label8->setText(QString::number(TrackBar1->value()));
    if (jpeg_) {
        jpeg_->SetCompressionQuality(TrackBar1->value());
    }
}

void TForm1::CheckBox1Click() {
    sizeRules_->CheckBox1Click();
}
void TForm1::CheckBox2Click() {
    sizeRules_->CheckBox2Click();
}
void TForm1::CheckBox4Click() {
    sizeRules_->CheckBox4Click();
}
void TForm1::Button3Click() {
    overlay().Button3Click();
}
void TForm1::Button4Click() {
    overlay().Button4Click();
}
void TForm1::Button5Click() {
    overlay().Button5Click();
}
void TForm1::StaticText2MouseMove() {
    xtraHover().StaticText2MouseMove();
}

// The text dialog and the tool window are created after the main window, so the handlers that
// work with them are made at their first use.
OverlayHandlers& TForm1::overlay() {
    if (!overlay_) {
        overlay_ = std::make_unique<OverlayHandlers>(Form2, this);
    }
    return *overlay_;
}

XtraHover& TForm1::xtraHover() {
    if (!xtraHover_) {
        xtraHover_ = std::make_unique<XtraHover>(this, Form4, this);
    }
    return *xtraHover_;
}

void TForm1::LabelFX1Click() {
    LabelFX1->setText(isPostFix(LabelFX1->text()) ? QStringLiteral("PreFix")
                                                  : QStringLiteral("PostFix"));
}

void TForm1::LabelFX1MouseEnter() {
    setTextColour(LabelFX1, hoverColour);
}
void TForm1::LabelFX1MouseLeave() {
    setTextColour(LabelFX1, Qt::black);
}

// The three lists and the preview.

void TForm1::DriveComboBox1Change() {
    try {
        DirectoryListBox1->SetDrive(DriveComboBox1->Drive());
    } catch (const InOutError&) {
        DriveComboBox1->SetDrive(DirectoryListBox1->Drive());
        showMessage(QStringLiteral("Kein Datenträger im Laufwerk"));
    }
}

void TForm1::DirectoryListBox1Change() {
    FileListBox1->SetDirectory(DirectoryListBox1->Directory());
    if (dropInProgress_) {
        return;
    }
    if (FileListBox1->Count() > 0) {
        FileListBox1->SetSelected(0, true);
    }
    FileListBox1Change();
}

void TForm1::CheckBox3Click() {
    if (CheckBox3->isChecked()) {
        FileListBox1Change();
    }
}

void TForm1::FileListBox1UserChange() {
    // Keys held down move the list faster than pictures decode. The preview waits until the
    // events queued meanwhile are handled and then shows only the entry current at that moment,
    // so entries passed over are never decoded and the list never runs on after the key.
    if (std::exchange(previewQueued_, true)) {
        return;
    }
    QMetaObject::invokeMethod(
        this, [this] { runGuarded([this] { queuedPreview(); }); }, Qt::QueuedConnection);
}

void TForm1::queuedPreview() {
    // A run works on the working bitmap and previews its last entry when it ends.
    if (!std::exchange(previewQueued_, false) || runInProgress_) {
        return;
    }
    // A Ctrl-click that left the focused entry unselected names no picture: the one shown stays,
    // with its size.
    const int current = FileListBox1->ItemIndex();
    if (current >= 0 && !FileListBox1->Selected(current)) {
        return;
    }
    // The list shows where the keys took it before the decode holds the window.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
    FileListBox1Change();
}

void TForm1::FileListBox1Change() {
    if (!CheckBox3->isChecked() || !workingBitmap_) {
        return;
    }
    // This preview takes the current entry: one still waiting would only repeat it.
    previewQueued_ = false;
    ShowPreviewOf(FileListBox1->FileName());
}

void TForm1::ShowPreviewOf(const QString& path) {
    const WaitCursor hourglass;
    // What the decode replaces is let go before it starts, so that two large pictures are never
    // held at once; the look on screen stays until the new picture comes.
    Image1->releasePicture();
    // An empty path has no decoder: the working bitmap becomes empty, without a message. A JPEG
    // is decoded only as large as the preview needs; the size display gives its full size.
    const LoadResult outcome = LoadPreviewFile(*workingBitmap_, *jpeg_, path, PreviewLimit,
                                               workingFullSize_, previewMemo_.get());
    if (outcome != LoadOk) {
        showMessage(LoadOutcomeMessage(outcome));
    }
    // A JPEG that fails before any picture was shown leaves the size unset (-1 x -1) beside an
    // empty working bitmap, whose size is 0 x 0.
    const int width = std::max(0, workingFullSize_.width());
    const int height = std::max(0, workingFullSize_.height());
    Label4->setText(QStringLiteral("x"));
    Label5->setText(QString::number(width));
    Label6->setText(QString::number(height));
    PlacePreview(*workingBitmap_, width, height);
    Image1->repaint();
}

void TForm1::PlacePreview(const QImage& picture, int width, int height) {
    const QSize fitted = FitIntoPreview(width, height, PreviewLimit);
    Image1->setPicture(picture, QRect((ScrollBox1->width() - fitted.width()) / 2,
                                      (ScrollBox1->height() - fitted.height()) / 2, fitted.width(),
                                      fitted.height()));
}

void TForm1::GoToFile(const QString& path) {
    DirectoryListBox1->SetDirectory(path);
    DriveComboBox1->SetDrive(DirectoryListBox1->Drive());
    FileListBox1->SetDirectory(DirectoryListBox1->Directory());
    FileListBox1->Update();
    if (!selectEntryNamed(QFileInfo(path).fileName())) {
        if (PreviewHandedOver(path)) {
            return;
        }
        if (FileListBox1->Count() > 0) {
            FileListBox1->SetSelected(0, true);
        }
        return;
    }
    if (!CheckBox3->isChecked()) {
        CheckBox3->setChecked(true);
        CheckBox3Click();
    }
    FileListBox1Change();
}

bool TForm1::PreviewHandedOver(const QString& path) {
    if (!QFileInfo(path).isFile()) {
        return false;
    }
    if (!HasDecoder(path)) {
        showMessage(NoDecoderMessage(QFileInfo(path).fileName()));
        return false;
    }
    // Ticked without its click reaction, which would only preview the empty selection first.
    CheckBox3->setChecked(true);
    previewQueued_ = false;
    ShowPreviewOf(path);
    return true;
}

bool TForm1::selectEntryNamed(const QString& name) {
    if (name.isEmpty()) {
        return false;
    }
    const int index = FileListBox1->IndexOf(name);
    if (index < 0) {
        return false;
    }
    FileListBox1->SetSelected(index, true);
    return true;
}

// Drag and drop.

void TForm1::DroppedFiles(const void* drop) {
    // The flag is cleared on every way out, also when navigation fails: otherwise the folder
    // list would never preview again.
    dropInProgress_ = true;
    const auto clearFlag = qScopeGuard([this] { dropInProgress_ = false; });

    const ole::UINT length = ole::DragQueryFileA(drop, 0, nullptr, 0);
    QByteArray buffer(static_cast<qsizetype>(length) + 1, '\0');
    ole::DragQueryFileA(drop, 0, buffer.data(), length + 1);
    buffer.truncate(static_cast<qsizetype>(length));
    const QString path = decodeFileName(buffer);

    DirectoryListBox1->SetDirectory(path);
    DriveComboBox1->SetDrive(DirectoryListBox1->Drive());
    FileListBox1->SetDirectory(DirectoryListBox1->Directory());
    FileListBox1->Update();
    const QString name = path.endsWith(QLatin1Char('/')) ? QString() : QFileInfo(path).fileName();
    if (selectEntryNamed(name)) {
        if (!CheckBox3->isChecked()) {
            CheckBox3->setChecked(true);
            CheckBox3Click();
        }
        FileListBox1Change();
    } else if (name.isEmpty() || !PreviewHandedOver(path)) {
        CheckBox3->setChecked(false);
        if (FileListBox1->Count() > 0) {
            FileListBox1->SetSelected(0, true);
        }
    }
}

void TForm1::Image1MouseDown() {
    ole::DragFile(FileListBox1->FileName());
}

void TForm1::buildLayout() {
    // Before any control exists: an interface once made for a control is kept.
    installControlAccessibility();
    setWindowTitle(applicationTitle());
    setObjectName(QStringLiteral("Form1"));
    setFont(uiFont(11));
    useLayoutPalette(*this);
    setBackground(this, windowColour);
    resize(794, 576);

    const QFont font13 = uiFont(13);

    // Top bar.
    StaticText2 = new TStaticText(QStringLiteral(" XTRA "), this);
    place(StaticText2, 8, 8, 46, 20);
    StaticText2->setFont(font13);
    setBackground(StaticText2, windowColour);

    StaticText1 = new TStaticText(QStringLiteral("HELP"), this);
    place(StaticText1, 120, 8, 39, 20);
    StaticText1->setFont(font13);
    setBackground(StaticText1, windowColour);
    StaticText1->setCursor(Qt::PointingHandCursor);

    RedCross = new TImage(this);
    place(RedCross, 216, 4, 26, 20);
    RedCross->setPicture(QImage(QStringLiteral(":/quillmere/redcross.bmp")));
    RedCross->hide();

    CheckBox3 = new QCheckBox(QStringLiteral("Vorschau"), this);
    place(CheckBox3, 252, 8, 81, 17);
    CheckBox3->setFont(font13);

    Label7 = new QLabel(QStringLiteral("Bildgröße"), this);
    place(Label7, 568, 8, 59, 16);
    Label7->setFont(font13);
    // The picture's width and height grow away from the "x" between them as their numbers get
    // longer: the width to the right of 648, the height to the left of 782. Their boxes reach
    // to just short of the "x", room for eight digits each.
    Label5 = new QLabel(QStringLiteral("Breite"), this);
    place(Label5, 648, 8, 58, 16);
    Label5->setFont(font13);
    Label4 = new QLabel(QStringLiteral("x"), this);
    place(Label4, 708, 8, 8, 16);
    Label4->setFont(font13);
    Label6 = new QLabel(QStringLiteral("Höhe"), this);
    place(Label6, 718, 8, 64, 16);
    Label6->setFont(font13);
    Label6->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    // Size panel.
    Shape1 = new QWidget(this);
    place(Shape1, 8, 32, 233, 157);
    setBackground(Shape1, panelColour);

    CheckBox1 = new QCheckBox(QStringLiteral("Breite"), this);
    place(CheckBox1, 16, 40, 97, 17);
    setBackground(CheckBox1, Qt::white);
    Edit1 = new QLineEdit(QStringLiteral("200"), this);
    place(Edit1, 120, 40, 109, 21);
    CheckBox2 = new QCheckBox(QStringLiteral("Höhe"), this);
    place(CheckBox2, 16, 72, 97, 17);
    setBackground(CheckBox2, Qt::white);
    Edit2 = new QLineEdit(QStringLiteral("200"), this);
    place(Edit2, 120, 72, 109, 21);
    CheckBox4 = new QCheckBox(QStringLiteral("Grösse ändern"), this);
    place(CheckBox4, 16, 104, 97, 17);
    setBackground(CheckBox4, Qt::white);
    CheckBox4->setChecked(true);

    Label1 = new QLabel(this);
    place(Label1, 16, 128, 217, 49);
    Label1->setWordWrap(true);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    Label3 = new QLabel(QStringLiteral("Fertig !"), this);
    place(Label3, 172, 100, 62, 24);
    Label3->setFont(uiFont(19));
    setBackground(Label3, panelColour);

    // Actions, quality and naming.
    Button2 = new TXAquaButton(this);
    place(Button2, 8, 196, 80, 24);
    // Both widened to the right, where the bar leaves free space: the caption and "100" are
    // wider in our face than the layout's boxes.
    Label2 = new QLabel(QStringLiteral("JPEG-Qualität:"), this);
    place(Label2, 96, 196, 76, 13);
    Label8 = new QLabel(QStringLiteral("90"), this);
    place(Label8, 224, 196, 24, 13);

    TrackBar1 = new QSlider(Qt::Horizontal, this);
    place(TrackBar1, 90, 216, 158, 45);
    TrackBar1->setRange(10, 100);
    TrackBar1->setSingleStep(10);
    TrackBar1->setPageStep(10);
    TrackBar1->setTickInterval(10);
    TrackBar1->setTickPosition(QSlider::TicksBelow);
    TrackBar1->setValue(90);

    Button3 = new TXAquaButton(this);
    place(Button3, 8, 232, 80, 24);
    Button4 = new TXAquaButton(this);
    place(Button4, 8, 268, 80, 24);
    Button5 = new TXAquaButton(this);
    place(Button5, 8, 304, 80, 24);
    applyButtonLooks();

    LabelFX1 = new TLabelFX(this);
    LabelFX1->setText(QStringLiteral("PostFix"));
    place(LabelFX1, 96, 264, 56, 20);
    LabelFX1->setFont(uiFont(16));
    LabelFX1->setAttribute(Qt::WA_TranslucentBackground);
    LabelFX1->setCursor(Qt::PointingHandCursor);
    Edit3 = new QLineEdit(this);
    place(Edit3, 164, 264, 77, 21);
    CheckBox5 = new QCheckBox(QStringLiteral("nur Name ändern"), this);
    place(CheckBox5, 96, 288, 111, 17);

    // Browser.
    DriveComboBox1 = new TDriveComboBox(this);
    place(DriveComboBox1, 96, 312, 145, 19);
    DirectoryListBox1 = new TDirectoryListBox(this);
    place(DirectoryListBox1, 96, 344, 145, 97);
    // Made with its mask, so that the folder is read once, not first for every name in it.
    FileListBox1 = new TFileListBox(fileMask, this);
    place(FileListBox1, 96, 448, 145, 97);
    FileListBox1->SetMultiSelect(true);
    RadioButton1 = new QRadioButton(QStringLiteral("Alle"), this);
    place(RadioButton1, 96, 552, 60, 17);
    RadioButton2 = new QRadioButton(QStringLiteral("Auswahl"), this);
    place(RadioButton2, 168, 552, 70, 17);

    // Left strip and preview.
    Image2 = new TImage(this);
    place(Image2, 8, 340, 60, 225);
    Image2->setPicture(QImage(QStringLiteral(":/quillmere/weblink.jpg")));
    Image2->setCursor(Qt::PointingHandCursor);
    Image3 = new TImage(this);
    place(Image3, 68, 340, 20, 225);
    Image3->setPicture(QImage(QStringLiteral(":/quillmere/about.jpg")));
    Image3->setCursor(Qt::PointingHandCursor);

    ScrollBox1 = new QWidget(this);
    place(ScrollBox1, 252, 32, 533, 533);
    setBackground(ScrollBox1, previewColour);
    ScrollBox1->setFocusPolicy(Qt::StrongFocus);
    Image1 = new TImage(ScrollBox1);
    place(Image1, 0, 0, 237, 253);

    // Keyboard order of the focusable controls.
    QWidget* const order[] = {
        Edit1,        Edit2,        FileListBox1, DirectoryListBox1, CheckBox1,      CheckBox2,
        RadioButton1, RadioButton2, ScrollBox1,   CheckBox3,         DriveComboBox1, Edit3,
        CheckBox4,    TrackBar1,    StaticText2,  StaticText1,       CheckBox5};
    StaticText1->setFocusPolicy(Qt::TabFocus);
    StaticText2->setFocusPolicy(Qt::TabFocus);
    for (std::size_t i = 1; i < std::size(order); ++i) {
        setTabOrder(order[i - 1], order[i]);
    }
    // Then the button-like controls, "Start" first, the way down the left side. The keyboard
    // reaches them; a click does not take the focus from the field being typed in.
    QWidget* const buttons[] = {CheckBox5, Button2,  Button3, Button4,
                                Button5,   LabelFX1, Image2,  Image3};
    for (std::size_t i = 1; i < std::size(buttons); ++i) {
        buttons[i]->setFocusPolicy(Qt::TabFocus);
        setTabOrder(buttons[i - 1], buttons[i]);
    }

    // What a screen reader calls the controls whose caption is beside them or drawn in a picture.
    const std::pair<QWidget*, QString> names[] = {{Edit1, QStringLiteral("Breite")},
                                                  {Edit2, QStringLiteral("Höhe")},
                                                  {Edit3, QStringLiteral("Namenszusatz")},
                                                  {TrackBar1, QStringLiteral("JPEG-Qualität")},
                                                  {DriveComboBox1, QStringLiteral("Laufwerk")},
                                                  {DirectoryListBox1, QStringLiteral("Ordner")},
                                                  {FileListBox1, QStringLiteral("Dateien")},
                                                  {ScrollBox1, QStringLiteral("Vorschau")},
                                                  {Image1, QStringLiteral("Vorschau")},
                                                  {Image2, QStringLiteral("Webseite")},
                                                  {Image3, QStringLiteral("Über Quillmere")}};
    for (const auto& [widget, name] : names) {
        widget->setAccessibleName(name);
    }
}

void TForm1::describePreview() {
    // The picture's own size as the size display gives it; during a run, the output's.
    bool wide = false;
    bool high = false;
    QSize size(Label5->text().toInt(&wide), Label6->text().toInt(&high));
    if (!wide || !high) {
        size = Image1->picture().size();
    }
    const QString description =
        size.isEmpty() ? QString()
                       : QStringLiteral("%1 × %2 Pixel").arg(size.width()).arg(size.height());
    Image1->setAccessibleDescription(description);
    ScrollBox1->setAccessibleDescription(description);
}

} // namespace quill
