#pragma once
// The file list: the files of one folder that match the mask, sorted by name (letter case
// ignored, names shown as stored). Hidden files and folders are not listed. The current entry
// (the focused one) is kept apart from the set of selected entries.

#include <QListWidget>
#include <QString>

namespace quill {

class TFileListBox : public QListWidget {
    Q_OBJECT
public:
    // Shows the process's current directory with the mask "*.*".
    explicit TFileListBox(QWidget* parent = nullptr);
    // Shows the process's current directory with the given mask, read once.
    TFileListBox(const QString& mask, QWidget* parent);

    // The current folder, absolute, as the system reports it after entering it.
    QString Directory() const { return directory_; }

    // Moves to another folder and reads it. The folder already shown is not read again. Fails
    // with InOutError when the folder cannot be entered.
    void SetDirectory(const QString& folder);

    // The full path of the current entry when it is selected; otherwise empty.
    QString FileName() const;

    // Navigates by a path: its folder becomes the list's folder; a name with "*" or "?" becomes
    // the mask; another name becomes the current entry (and, when the mask hides it, the mask).
    // Fails with InOutError for a folder that cannot be entered and InvalidFileName for a name
    // that is not an existing file.
    void SetFileName(const QString& path);

    // Patterns separated by ";", matched ignoring letter case. Setting another mask re-reads.
    QString Mask() const { return mask_; }
    void SetMask(const QString& mask);

    bool ShowGlyphs() const { return showGlyphs_; }
    void SetShowGlyphs(bool show);

    // Several entries at once, with shift and control.
    bool MultiSelect() const { return multiSelect_; }
    void SetMultiSelect(bool multi);

    // Reads the folder again (the selection is cleared), then signals changed. Fails with
    // InOutError before anything is cleared when the folder has gone. The design's name: not
    // Qt's update(), which only schedules a repaint.
    void Update();

    int Count() const { return count(); }
    QString Items(int index) const;

    // The current entry's index, -1 when there is none.
    int ItemIndex() const { return currentRow(); }
    void SetItemIndex(int index);

    // The index of the first entry equal to the name, letter case ignored; -1 when none is.
    int IndexOf(const QString& name) const;

    bool Selected(int index) const;
    // Selecting adds the entry to the selection and makes it the current entry. Fails with
    // ListIndexError for an index outside the list.
    void SetSelected(int index, bool selected);

    // The current entry's index at the last change notification (-1 at creation).
    int lastNotifiedIndex() const { return lastNotified_; }

    int itemHeight() const { return itemHeight_; }

signals:
    // After every read and whenever the user makes another entry current (byUser, from a key or
    // the mouse). The main window connects FileListBox1Change here. A guarded handler's failure
    // comes out of the call that read the folder (emitRelayed).
    void changed(bool byUser);
    // At a double click anywhere in the list; the main window connects FileListBox1DblClick.
    void listDoubleClicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void readFolder();
    void change(bool byUser = false);
    void userMayHaveMoved();
    void updateItemHeight();

    QString directory_;
    QString mask_ = QStringLiteral("*.*");
    bool showGlyphs_ = false;
    bool multiSelect_ = false;
    int lastNotified_ = -1;
    int itemHeight_ = 13;
};

} // namespace quill
