#pragma once
// The drive selector: a drop-down list of the mounted volumes, each with its glyph and its text
// ("/ [system]", "/media/anna/STICK", "/mnt/nas server:/export"). A drive is named by its mount
// point.

#include <QComboBox>
#include <QString>

namespace quill {

enum class Glyph;

class TDriveComboBox : public QComboBox {
    Q_OBJECT
public:
    // Lists the volumes and takes the volume of the process's current directory as its drive.
    explicit TDriveComboBox(QWidget* parent = nullptr);

    // The current drive: the mount point of a volume, or empty for none.
    QString Drive() const { return drive_; }

    // Selects the volume holding the given path (a mount point, or any path on it) and signals
    // changed, unless that volume is the current one and its entry is selected. An empty text
    // clears the drive and selects no entry.
    void SetDrive(const QString& drive);

    // Reads the volume table again, keeping the current drive selected when it is still listed.
    void BuildList();

    // The mount point of an entry (empty outside the list).
    QString entryDrive(int index) const;
    Glyph entryGlyph(int index) const;

    int itemHeight() const { return itemHeight_; }

signals:
    // After every effective drive change, by the program or by a choice in the list. The main
    // window connects its DriveComboBox1Change here. A guarded handler's failure comes out of the
    // call that changed the drive (emitRelayed).
    void changed();

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showPopup() override;

private:
    void updateItemHeight();
    void selectDriveEntry();
    void change();

    QString drive_;
    int itemHeight_ = 13;
};

} // namespace quill
