// The folder browser shared by the main window and the directory picker: a
// drive selector, a folder list and (in the main window) a file list, linked
// so that they work together without any handler of the form.
//
// The folder list shows the chain of folders from the root down to the open
// folder, then the open folder's subfolders. Clicking or moving with the arrow
// keys only highlights an entry; double-click or Enter enters it, and only the
// entered folder is the open directory.
//
// The list stands on QFileSystemModel, which fills in folders and sorts them
// on its own time, seen through a filter that keeps the chain and the open
// folder's subfolders. Two rules keep the view from ever touching a row the
// filter has let go of: entering a folder changes the filter with one reset
// of the filter model (no rows are removed from under the view while it moves
// its current entry), and the view lays its rows out again as soon as the
// model's layout changes, instead of keeping rows of the old layout until
// its next idle turn.
#pragma once

#include <QComboBox>
#include <QSortFilterProxyModel>
#include <QString>
#include <QStringList>
#include <QTreeView>

class QFileSystemModel;

namespace vistrel {

class TFileList;

// Keeps the open folder, its ancestors and its direct subfolders (hidden ones
// left out); marks the open folder in bold and the chain with open-folder
// icons.
class TFolderFilter : public QSortFilterProxyModel {
    Q_OBJECT
public:
    explicit TFolderFilter(QFileSystemModel* source, QObject* parent = nullptr);
    // Path in Qt form ('/' separators), as cleaned by TDirectoryList. The
    // filter changes with one reset of this model.
    void SetOpenDir(const QString& path);
    QString OpenDir() const { return open_; }
    QVariant data(const QModelIndex& index, int role) const override;

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;
    bool filterAcceptsColumn(int sourceColumn, const QModelIndex& sourceParent) const override;

private:
    bool OnChain(const QString& path) const;  // the open folder or an ancestor of it
    QFileSystemModel* fs_;
    QString open_;
};

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
    // Leaves an open folder that no longer exists for the nearest one above
    // it that does. Runs by itself when the file system reports a removal.
    void LeaveIfGone();

    // Clean absolute form of a path in Qt separators.
    static QString CleanPath(const QString& path);
    // The path itself when it is an existing folder, else the nearest
    // existing folder above it; the root of the file system when none is.
    static QString NearestExistingFolder(const QString& path);

signals:
    // After every entering of a folder (native separators).
    void DirectoryChanged(const QString& directory);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void drawBranches(QPainter* painter, const QRect& rect, const QModelIndex& index) const override;

private:
    void ShowOpenChain();
    QFileSystemModel* fs_;
    TFolderFilter* filter_;
    QString dir_;  // Qt form
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
