#pragma once
// The folder list: the path of the current folder from its volume's root down, one entry per
// folder on the way (open folders), the current folder, then its sub-folders (closed folders),
// indented like a tree. A double-click or Enter opens an entry; a single click only selects it.
// Every navigation leaves the process's current directory at the folder shown.

#include <QListWidget>
#include <QString>

namespace quill {

class TDirectoryListBox : public QListWidget {
    Q_OBJECT
public:
    enum class EntryKind { Open, Current, Closed };

    // Shows the process's current directory.
    explicit TDirectoryListBox(QWidget* parent = nullptr);

    // The current folder, absolute, as the system reports it after entering it.
    QString Directory() const { return directory_; }

    // Navigates to a path (relative ones against the process's current directory). A path that
    // names a file opens the file's folder. Fails with InOutError when a folder on the way cannot
    // be entered; the list then keeps its folder. An empty text or the current folder itself
    // changes nothing.
    void SetDirectory(const QString& path);

    // The volume (mount point) of the current folder.
    QString Drive() const;

    // Moves to the folder the given volume remembers (its root at first use). Nothing happens
    // when it is the current volume. Fails with InOutError for a volume that cannot be entered
    // (not ready); the list keeps its folder.
    void SetDrive(const QString& drive);

    // Rebuilds the entries from the current folder, then signals changed.
    void Update();

    // The folder an entry stands for; empty for an index outside the list.
    QString GetItemPath(int index) const;

    // Opens the selected entry, as a double-click does.
    void OpenCurrent();

    EntryKind entryKind(int index) const;
    // Left offset of an entry's glyph in pixels.
    int entryIndent(int index) const;
    int itemHeight() const { return itemHeight_; }

signals:
    // After every navigation and every Update. The main window connects its
    // DirectoryListBox1Change here. A guarded handler's failure comes out of the call that
    // navigated (emitRelayed).
    void changed();

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void rebuild();
    void change();
    void updateItemHeight();
    QString rootOf(const QString& folder) const;
    bool defaultButtonTakesEnter() const;

    QString directory_;
    QString root_;
    int itemHeight_ = 16;
};

} // namespace quill
