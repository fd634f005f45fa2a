// The folder browser shared by the main window and the directory picker: a
// drive selector, a folder list and (in the main window) a file list, linked
// so that they work together without any handler of the form.
//
// The folder list shows the chain of folders from the root down to the open
// folder, then the open folder's subfolders. Clicking or moving with the arrow
// keys only highlights an entry; double-click or Enter enters it, and only the
// entered folder is the open directory.
//
// The list is read from the file system at once when a folder is entered, and
// replaced as a whole (one model reset) when the open folder's subfolders
// change or the folder goes away. Nothing fills in later and no row is ever
// removed from under the view: a tree view that moves its current entry off
// rows being removed measures every row of its last layout, which an earlier
// asynchronous change of the model may already have made stale.
#pragma once

#include <QComboBox>
#include <QString>
#include <QStringList>
#include <QTreeView>

class QFileSystemWatcher;
class QStandardItem;
class QStandardItemModel;

namespace vistrel {

class TFileList;

class TDirectoryList : public QTreeView {
    Q_OBJECT
public:
    explicit TDirectoryList(QWidget* parent = nullptr);

    // The open (entered) folder with native separators, without a trailing
    // separator except for a root.
    QString Directory() const;
    // Enters a folder; false, with nothing changed, when it is not an
    // existing folder.
    bool SetDirectory(const QString& path);
    // The highlighted entry's folder (native separators); empty when none.
    QString HighlightedDirectory() const;
    // The entry that shows a folder, when it is shown.
    QModelIndex IndexOf(const QString& path) const;
    // Highlights the entry of a shown folder without entering it.
    bool Highlight(const QString& path);
    // Enters the highlighted folder (what double-click and Enter do).
    void EnterHighlighted();
    // The file list that follows the open folder.
    void SetFileList(TFileList* files);
    // Reads the open folder again: new or removed subfolders are shown, and
    // a folder that no longer exists is left for the nearest one above it
    // that does. Runs by itself when the file system reports a change.
    void Refresh();

    // Clean absolute form of a path in Qt separators.
    static QString CleanPath(const QString& path);
    // The path itself when it is an existing folder, else the nearest
    // existing folder above it; the root of the file system when none is.
    static QString NearestExistingFolder(const QString& path);

    // The entry's folder in Qt form.
    static constexpr int PathRole = Qt::UserRole + 1;

signals:
    // After every entering of a folder (native separators).
    void DirectoryChanged(const QString& directory);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void drawBranches(QPainter* painter, const QRect& rect, const QModelIndex& index) const override;

private:
    void Rebuild(const QString& highlight);
    void Watch();
    QStandardItemModel* model_;
    QFileSystemWatcher* watcher_;
    QString dir_;             // Qt form
    QStringList subfolders_;  // as shown, in order
};

class TDriveComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit TDriveComboBox(QWidget* parent = nullptr);

    // Re-reads the mounted volumes.
    void Refresh();
    // Root of the chosen volume (native separators).
    QString Drive() const;
    // Shows the volume that holds a path, without moving the linked list.
    void ShowDriveOf(const QString& path);
    // Chooses a volume as the user does: the linked list moves to its root.
    void ChooseDrive(int index);
    // Links a folder list: choosing a volume moves the list to its root, and
    // the box follows the folder the list enters.
    void SetDirList(TDirectoryList* list);

    // Roots of the mounted, ready volumes that are folders; "/" first.
    static QStringList VolumeRoots();

signals:
    // A volume was chosen (by the user or ChooseDrive).
    void DriveChanged(const QString& root);
};

}  // namespace vistrel
