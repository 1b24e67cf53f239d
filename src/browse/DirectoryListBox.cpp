#include "browse/DirectoryListBox.h"

#include "browse/CellHeight.h"
#include "browse/Glyphs.h"
#include "platform/FileSystem.h"
#include "platform/Fonts.h"
#include "platform/GuardedSlot.h"
#include "platform/MessageBox.h"
#include "platform/Volumes.h"

#include <QDialog>
#include <QEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QPainter>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <algorithm>

namespace quill {
namespace {

constexpr int kKindRole = Qt::UserRole;
constexpr int kIndentRole = Qt::UserRole + 1;
constexpr int kPathRole = Qt::UserRole + 2;

Glyph glyphFor(TDirectoryListBox::EntryKind kind) {
    switch (kind) {
    case TDirectoryListBox::EntryKind::Open:
        return Glyph::OpenFolder;
    case TDirectoryListBox::EntryKind::Current:
        return Glyph::CurrentFolder;
    case TDirectoryListBox::EntryKind::Closed:
        break;
    }
    return Glyph::ClosedFolder;
}

class FolderDelegate : public QStyledItemDelegate {
public:
    explicit FolderDelegate(TDirectoryListBox* list) : QStyledItemDelegate(list), list_(list) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        painter->save();
        const int indent = index.data(kIndentRole).toInt();
        const Glyph glyph = glyphFor(TDirectoryListBox::EntryKind(index.data(kKindRole).toInt()));
        drawListEntry(*painter, option, list_->font(), glyph, option.rect.left() + indent,
                      index.data(Qt::DisplayRole).toString());
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex& index) const override {
        const int width = index.data(kIndentRole).toInt() + 16 + 4 +
                          QFontMetrics(list_->font()).horizontalAdvance(index.data().toString());
        return {width, list_->itemHeight()};
    }

private:
    TDirectoryListBox* list_;
};

} // namespace

TDirectoryListBox::TDirectoryListBox(QWidget* parent) : QListWidget(parent) {
    setFont(uiFont(11));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
    setItemDelegate(new FolderDelegate(this));
    updateItemHeight();
    try {
        directory_ = currentDir();
    } catch (const InOutError&) {
        directory_ = QStringLiteral("/");
    }
    rebuild();
}

void TDirectoryListBox::SetDirectory(const QString& path) {
    if (path.isEmpty() || path == directory_) {
        return;
    }
    const ResolvedPath resolved = resolvePath(path);
    setCurrentDir(resolved.folder);
    directory_ = currentDir();
    rebuild();
    change();
}

QString TDirectoryListBox::Drive() const {
    return volumeOf(directory_).root;
}

void TDirectoryListBox::SetDrive(const QString& drive) {
    if (drive.isEmpty() || volumeOf(drive).root == Drive()) {
        return;
    }
    enterVolume(volumeOf(drive).root);
    directory_ = currentDir();
    rebuild();
    change();
}

void TDirectoryListBox::Update() {
    rebuild();
    change();
}

QString TDirectoryListBox::GetItemPath(int index) const {
    const QListWidgetItem* entry = item(index);
    return entry != nullptr ? entry->data(kPathRole).toString() : QString();
}

void TDirectoryListBox::OpenCurrent() {
    const QString path = GetItemPath(currentRow());
    if (!path.isEmpty()) {
        SetDirectory(path);
    }
}

TDirectoryListBox::EntryKind TDirectoryListBox::entryKind(int index) const {
    const QListWidgetItem* entry = item(index);
    return entry != nullptr ? EntryKind(entry->data(kKindRole).toInt()) : EntryKind::Closed;
}

int TDirectoryListBox::entryIndent(int index) const {
    const QListWidgetItem* entry = item(index);
    return entry != nullptr ? entry->data(kIndentRole).toInt() : 0;
}

void TDirectoryListBox::rebuild() {
    const bool wasEnabled = updatesEnabled();
    setUpdatesEnabled(false);
    clear();
    root_ = volumeOf(directory_).root;
    // Below the root: the folders on the way down to the current one.
    const QString below = root_ == QLatin1String("/") ? directory_ : directory_.mid(root_.size());
    const QStringList pieces = below.split(QLatin1Char('/'), Qt::SkipEmptyParts);

    auto add = [this](const QString& text, EntryKind kind, int indent, const QString& path) {
        auto* entry = new QListWidgetItem(text, this);
        entry->setData(kKindRole, int(kind));
        entry->setData(kIndentRole, indent);
        entry->setData(kPathRole, path);
    };
    add(root_, pieces.isEmpty() ? EntryKind::Current : EntryKind::Open, 2, root_);
    QString path = root_;
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        path = joinPath(path, pieces[i]);
        add(pieces[i], i + 1 == pieces.size() ? EntryKind::Current : EntryKind::Open,
            int(i + 1) * 4 + 2, path);
    }
    const int currentIndex = int(pieces.size());
    // Sub-folders sit one step deeper than the current folder; a root's are two steps in.
    const int levels = std::max<qsizetype>(1, below.count(QLatin1Char('/')));
    const int closedIndent = levels * 4 + 6;
    for (const QString& name : subFolders(directory_)) {
        add(name, EntryKind::Closed, closedIndent, joinPath(directory_, name));
    }
    setCurrentRow(currentIndex);
    setUpdatesEnabled(wasEnabled);
}

void TDirectoryListBox::change() {
    emitRelayed([this] { emit changed(); });
}

void TDirectoryListBox::updateItemHeight() {
    itemHeight_ = std::max(fontCellHeight(font()), glyphImage(Glyph::OpenFolder).height() + 1);
    doItemsLayout();
}

bool TDirectoryListBox::defaultButtonTakesEnter() const {
    if (qobject_cast<QDialog*>(window()) == nullptr) {
        return false;
    }
    const QList<QPushButton*> buttons = window()->findChildren<QPushButton*>();
    return std::any_of(buttons.begin(), buttons.end(), [](const QPushButton* button) {
        return button->isDefault() && button->isEnabled();
    });
}

void TDirectoryListBox::mouseDoubleClickEvent(QMouseEvent* event) {
    QListWidget::mouseDoubleClickEvent(event);
    runGuarded([this] { OpenCurrent(); });
}

void TDirectoryListBox::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        // In a dialog the default button takes Enter, as it does everywhere in a dialog.
        if (defaultButtonTakesEnter()) {
            event->ignore();
            return;
        }
        runGuarded([this] { OpenCurrent(); });
        event->accept();
        return;
    }
    QListWidget::keyPressEvent(event);
}

void TDirectoryListBox::changeEvent(QEvent* event) {
    QListWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        updateItemHeight();
    }
}

} // namespace quill
