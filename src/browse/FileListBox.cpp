#include "browse/FileListBox.h"

#include "browse/CellHeight.h"
#include "browse/Glyphs.h"
#include "platform/FileFailures.h"
#include "platform/FileSystem.h"
#include "platform/Fonts.h"
#include "platform/GuardedSlot.h"
#include "platform/MessageBox.h"
#include "platform/WaitCursor.h"

#include <QEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <algorithm>

namespace quill {
namespace {

// Past this many entries filling the list takes long enough to show the hourglass.
constexpr int kHourglassEntries = 100;

Glyph glyphForName(const QString& name) {
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QString extension = dot < 0 ? QString() : name.mid(dot).toLower();
    for (const char* executable : {".exe", ".com", ".bat", ".pif"}) {
        if (extension == QLatin1String(executable)) {
            return Glyph::Executable;
        }
    }
    return Glyph::UnknownFile;
}

class FileDelegate : public QStyledItemDelegate {
public:
    explicit FileDelegate(TFileListBox* list) : QStyledItemDelegate(list), list_(list) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        painter->save();
        const QString name = index.data(Qt::DisplayRole).toString();
        const std::optional<Glyph> glyph =
            list_->ShowGlyphs() ? std::optional<Glyph>(glyphForName(name)) : std::nullopt;
        drawListEntry(*painter, option, list_->font(), glyph, option.rect.left() + 2, name);
        const bool selected = option.state & QStyle::State_Selected;
        const QRect& rect = option.rect;
        if (option.state & QStyle::State_HasFocus) {
            // The current entry shows its frame even when it is not selected.
            QPen pen(option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
            pen.setStyle(Qt::DotLine);
            painter->setPen(pen);
            painter->drawRect(rect.adjusted(0, 0, -1, -1));
        }
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex& index) const override {
        const int width = (list_->ShowGlyphs() ? 22 : 2) + 2 +
                          QFontMetrics(list_->font()).horizontalAdvance(index.data().toString());
        return {width, list_->itemHeight()};
    }

private:
    TFileListBox* list_;
};

QString withoutTrailingSlash(const QString& folder) {
    QString result = folder;
    while (result.size() > 1 && result.endsWith(QLatin1Char('/'))) {
        result.chop(1);
    }
    return result;
}

} // namespace

TFileListBox::TFileListBox(QWidget* parent) : TFileListBox(QStringLiteral("*.*"), parent) {}

TFileListBox::TFileListBox(const QString& mask, QWidget* parent)
    : QListWidget(parent), mask_(mask) {
    setFont(uiFont(11));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
    setItemDelegate(new FileDelegate(this));
    updateItemHeight();
    try {
        directory_ = currentDir();
        readFolder();
    } catch (const InOutError&) {
        // A process started in a folder that has gone or cannot be read shows an empty list.
    }
}

void TFileListBox::SetDirectory(const QString& folder) {
    const QString target = withoutTrailingSlash(folder);
    if (target.isEmpty() || target == directory_) {
        return;
    }
    // A relative folder is meant relative to the folder shown.
    if (folderExists(directory_)) {
        try {
            setCurrentDir(directory_);
        } catch (const InOutError&) {
        }
    }
    setCurrentDir(target);
    directory_ = currentDir();
    readFolder();
}

QString TFileListBox::FileName() const {
    const QListWidgetItem* current = currentItem();
    if (current == nullptr || !current->isSelected()) {
        return {};
    }
    return joinPath(directory_, current->text());
}

void TFileListBox::SetFileName(const QString& path) {
    if (path.isEmpty() || path == FileName()) {
        return;
    }
    const ResolvedPath resolved = resolvePath(path);
    SetDirectory(resolved.folder);
    if (hasWildcards(resolved.file)) {
        SetMask(resolved.file);
        return;
    }
    if (resolved.file.isEmpty()) {
        return;
    }
    auto makeCurrent = [this](int index) {
        if (index < 0) {
            setCurrentRow(-1);
            clearSelection();
        } else {
            setCurrentRow(index, QItemSelectionModel::ClearAndSelect);
        }
    };
    makeCurrent(IndexOf(resolved.file));
    change();
    if (!fileExists(joinPath(directory_, resolved.file))) {
        throw InvalidFileName(path);
    }
    if (currentRow() < 0) {
        // The mask hides the file: show it by its own name.
        SetMask(resolved.file);
        makeCurrent(IndexOf(resolved.file));
    }
}

void TFileListBox::SetMask(const QString& mask) {
    if (mask == mask_) {
        return;
    }
    mask_ = mask;
    readFolder();
}

void TFileListBox::SetShowGlyphs(bool show) {
    if (show == showGlyphs_) {
        return;
    }
    showGlyphs_ = show;
    updateItemHeight();
}

void TFileListBox::SetMultiSelect(bool multi) {
    multiSelect_ = multi;
    setSelectionMode(multi ? QAbstractItemView::ExtendedSelection
                           : QAbstractItemView::SingleSelection);
}

void TFileListBox::Update() {
    readFolder();
}

QString TFileListBox::Items(int index) const {
    const QListWidgetItem* entry = item(index);
    if (entry == nullptr) {
        throw ListIndexError(index);
    }
    return entry->text();
}

void TFileListBox::SetItemIndex(int index) {
    const QModelIndex target = model()->index(index, 0);
    if (multiSelect_) {
        // With several selected entries only the current one moves.
        selectionModel()->setCurrentIndex(target, QItemSelectionModel::NoUpdate);
    } else {
        selectionModel()->setCurrentIndex(target, QItemSelectionModel::ClearAndSelect);
    }
}

bool TFileListBox::Selected(int index) const {
    const QListWidgetItem* entry = item(index);
    if (entry == nullptr) {
        throw ListIndexError(index);
    }
    return entry->isSelected();
}

void TFileListBox::SetSelected(int index, bool selected) {
    if (item(index) == nullptr) {
        throw ListIndexError(index);
    }
    const QModelIndex target = model()->index(index, 0);
    if (!multiSelect_) {
        if (selected) {
            setCurrentRow(index, QItemSelectionModel::ClearAndSelect);
        } else if (currentRow() == index) {
            clearSelection();
        }
        return;
    }
    if (selected) {
        selectionModel()->setCurrentIndex(target, QItemSelectionModel::Select);
    } else {
        selectionModel()->select(target, QItemSelectionModel::Deselect);
    }
}

int TFileListBox::IndexOf(const QString& name) const {
    // Names differing only in letter case are different files here: the exact name wins, and
    // letter case is ignored only when no entry has it (a name typed or dropped in another case
    // on a volume that ignores case).
    int folded = -1;
    for (int i = 0; i < count(); ++i) {
        const QString entry = item(i)->text();
        if (entry == name) {
            return i;
        }
        if (folded < 0 && entry.compare(name, Qt::CaseInsensitive) == 0) {
            folded = i;
        }
    }
    return folded;
}

void TFileListBox::readFolder() {
    // Entering the folder comes first: a folder that has gone fails before anything is cleared.
    setCurrentDir(directory_);
    QStringList patterns;
    for (const QString& pattern : mask_.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        if (!pattern.trimmed().isEmpty()) {
            patterns << pattern.trimmed();
        }
    }
    QStringList names;
    try {
        for (const FoundFile& found : findFiles(directory_, patterns, 0)) {
            names << found.name;
        }
    } catch (const InOutError&) {
        // A folder that can be entered but not read shows no names: the names of the folder
        // shown before must never stand under this one, where a run or rename would take them.
        clear();
        change();
        throw;
    }
    sortNames(names);
    {
        WaitCursor busy(names.size() > kHourglassEntries);
        const bool wasEnabled = updatesEnabled();
        setUpdatesEnabled(false);
        clear();
        addItems(names);
        setUpdatesEnabled(wasEnabled);
    }
    change();
}

void TFileListBox::change(bool byUser) {
    lastNotified_ = currentRow();
    emitRelayed([this, byUser] { emit changed(byUser); });
}

void TFileListBox::userMayHaveMoved() {
    if (currentRow() != lastNotified_) {
        runGuarded([this] { change(true); });
    }
}

void TFileListBox::updateItemHeight() {
    const int fontHeight = fontCellHeight(font());
    itemHeight_ =
        showGlyphs_ ? std::max(fontHeight, glyphImage(Glyph::Executable).height() + 1) : fontHeight;
    doItemsLayout();
    viewport()->update();
}

void TFileListBox::mousePressEvent(QMouseEvent* event) {
    QListWidget::mousePressEvent(event);
    userMayHaveMoved();
}

void TFileListBox::mouseMoveEvent(QMouseEvent* event) {
    QListWidget::mouseMoveEvent(event);
    if (event->buttons() != Qt::NoButton) {
        userMayHaveMoved();
    }
}

void TFileListBox::mouseReleaseEvent(QMouseEvent* event) {
    QListWidget::mouseReleaseEvent(event);
    userMayHaveMoved();
}

void TFileListBox::mouseDoubleClickEvent(QMouseEvent* event) {
    QListWidget::mouseDoubleClickEvent(event);
    userMayHaveMoved();
    runGuarded([this] { emit listDoubleClicked(); });
}

void TFileListBox::keyPressEvent(QKeyEvent* event) {
    QListWidget::keyPressEvent(event);
    userMayHaveMoved();
}

void TFileListBox::changeEvent(QEvent* event) {
    QListWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        updateItemHeight();
    }
}

} // namespace quill
