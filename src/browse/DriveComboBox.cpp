#include "browse/DriveComboBox.h"

#include "browse/CellHeight.h"
#include "browse/Glyphs.h"
#include "platform/FileSystem.h"
#include "platform/Fonts.h"
#include "platform/GuardedSlot.h"
#include "platform/MessageBox.h"
#include "platform/Volumes.h"

#include <QEvent>
#include <QFontMetrics>
#include <QListView>
#include <QPainter>
#include <QStyleOptionComboBox>
#include <QStylePainter>
#include <QStyledItemDelegate>
#include <algorithm>

namespace quill {
namespace {

constexpr int kDriveRole = Qt::UserRole;
constexpr int kGlyphRole = Qt::UserRole + 1;

Glyph glyphFor(VolumeType type) {
    switch (type) {
    case VolumeType::Removable:
        return Glyph::Floppy;
    case VolumeType::Network:
        return Glyph::Network;
    case VolumeType::CdRom:
        return Glyph::CdRom;
    case VolumeType::Ram:
        return Glyph::Ram;
    case VolumeType::Fixed:
        break;
    }
    return Glyph::Hard;
}

// One entry: the glyph 2 pixels from the left, the text after it, one line, vertically centred.
void paintEntry(QPainter& painter, const QRect& rect, const QVariant& glyph, const QString& text,
                const QPalette& palette, bool selected) {
    painter.fillRect(rect, palette.brush(selected ? QPalette::Highlight : QPalette::Base));
    int glyphWidth = 16;
    if (glyph.isValid()) {
        const Glyph which = Glyph(glyph.toInt());
        drawGlyph(painter, which, rect.left() + 2, rect);
        glyphWidth = glyphImage(which).width();
    }
    painter.setPen(palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
    painter.drawText(rect.adjusted(glyphWidth + 6, 0, 0, 0),
                     Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
}

class DriveDelegate : public QStyledItemDelegate {
public:
    explicit DriveDelegate(TDriveComboBox* box) : QStyledItemDelegate(box), box_(box) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        painter->save();
        painter->setFont(box_->font());
        paintEntry(*painter, option.rect, index.data(kGlyphRole),
                   index.data(Qt::DisplayRole).toString(), option.palette,
                   option.state & QStyle::State_Selected);
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        const QFontMetrics metrics(box_->font());
        const int width = 16 + 6 + metrics.horizontalAdvance(index.data().toString()) + 4;
        return {std::max(width, option.rect.width()), box_->itemHeight()};
    }

private:
    TDriveComboBox* box_;
};

} // namespace

TDriveComboBox::TDriveComboBox(QWidget* parent) : QComboBox(parent) {
    setFont(uiFont(11));
    setEditable(false);
    setItemDelegate(new DriveDelegate(this));
    if (auto* list = qobject_cast<QListView*>(view())) {
        list->setUniformItemSizes(true);
    }
    updateItemHeight();
    try {
        drive_ = volumeOf(currentDir()).root;
    } catch (const InOutError&) {
        // The process's folder has gone: the system volume is the one left.
        drive_ = QStringLiteral("/");
    }
    BuildList();
    connectGuarded(this, &QComboBox::activated, this,
                   [this](int index) { SetDrive(entryDrive(index)); });
}

void TDriveComboBox::SetDrive(const QString& drive) {
    const QString root = drive.isEmpty() ? QString() : volumeOf(drive).root;
    if (currentIndex() >= 0 && root == drive_ && entryDrive(currentIndex()) == drive_) {
        return;
    }
    drive_ = root;
    selectDriveEntry();
    change();
}

void TDriveComboBox::BuildList() {
    const QSignalBlocker quiet(this);
    clear();
    for (const Volume& volume : volumes()) {
        addItem(volumeEntryText(volume), volume.root);
        setItemData(count() - 1, int(glyphFor(volume.type)), kGlyphRole);
    }
    selectDriveEntry();
}

QString TDriveComboBox::entryDrive(int index) const {
    return index >= 0 && index < count() ? itemData(index, kDriveRole).toString() : QString();
}

Glyph TDriveComboBox::entryGlyph(int index) const {
    return Glyph(itemData(index, kGlyphRole).toInt());
}

void TDriveComboBox::selectDriveEntry() {
    const QSignalBlocker quiet(this);
    setCurrentIndex(drive_.isEmpty() ? -1 : findData(drive_, kDriveRole));
}

void TDriveComboBox::change() {
    emitRelayed([this] { emit changed(); });
}

void TDriveComboBox::updateItemHeight() {
    itemHeight_ = std::max(fontCellHeight(font()), glyphImage(Glyph::Floppy).height());
}

void TDriveComboBox::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionComboBox option;
    initStyleOption(&option);
    option.currentText.clear();
    option.currentIcon = QIcon();
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    if (currentIndex() < 0) {
        return;
    }
    const QRect field =
        style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
    painter.setClipRect(field);
    paintEntry(painter, field, itemData(currentIndex(), kGlyphRole), currentText(), palette(),
               hasFocus());
}

void TDriveComboBox::changeEvent(QEvent* event) {
    QComboBox::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        updateItemHeight();
        runGuarded([this] { BuildList(); });
    }
}

void TDriveComboBox::showPopup() {
    // Volumes come and go while the program runs (a stick plugged in): list what is there now.
    // A list that could not be read opens no popup.
    if (runGuarded([this] { BuildList(); })) {
        QComboBox::showPopup();
    }
}

} // namespace quill
