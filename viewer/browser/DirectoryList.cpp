#include "DirectoryList.h"

#include "FileList.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QFont>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStandardItemModel>
#include <QStorageInfo>
#include <QStyle>

#include <algorithm>
#include <utility>

namespace vistrel {

namespace {

#ifdef Q_OS_WIN
constexpr Qt::CaseSensitivity kPathCase = Qt::CaseInsensitive;
#else
constexpr Qt::CaseSensitivity kPathCase = Qt::CaseSensitive;
#endif

// True when ancestor names a folder that contains path (or is path).
bool IsSameOrAncestor(const QString& ancestor, const QString& path) {
    if (ancestor.isEmpty() || !path.startsWith(ancestor, kPathCase)) return false;
    if (path.size() == ancestor.size() || ancestor.endsWith(QLatin1Char('/'))) return true;
    return path.at(ancestor.size()) == QLatin1Char('/');
}

}  // namespace

// --------------------------------------------------------------- TDirectoryList

namespace {

// The folders from the root down to path (Qt form), root first.
QStringList ChainOf(const QString& path) {
    QStringList chain;
    for (QString folder = path;;) {
        chain.prepend(folder);
        if (QDir(folder).isRoot()) break;
        const QString up = QFileInfo(folder).absolutePath();
        if (up == folder || up.isEmpty()) break;
        folder = up;
    }
    return chain;
}

// Subfolders shown under the open folder: hidden ones left out, sorted by
// name ignoring letter case.
QStringList SubfoldersOf(const QString& path) {
    return QDir(path).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
}

QStandardItem* FolderItem(const QString& text, const QString& path, QStyle::StandardPixmap icon) {
    auto* item = new QStandardItem(QApplication::style()->standardIcon(icon), text);
    item->setData(path, TDirectoryList::PathRole);
    item->setEditable(false);
    return item;
}

QModelIndex FindPath(const QAbstractItemModel* model, const QModelIndex& parent, const QString& path) {
    for (int row = 0; row < model->rowCount(parent); ++row) {
        const QModelIndex index = model->index(row, 0, parent);
        if (index.data(TDirectoryList::PathRole).toString().compare(path, kPathCase) == 0) return index;
        if (IsSameOrAncestor(index.data(TDirectoryList::PathRole).toString(), path)) {
            const QModelIndex found = FindPath(model, index, path);
            if (found.isValid()) return found;
        }
    }
    return {};
}

}  // namespace

TDirectoryList::TDirectoryList(QWidget* parent) : QTreeView(parent) {
    model_ = new QStandardItemModel(this);
    setModel(model_);
    watcher_ = new QFileSystemWatcher(this);
    connect(watcher_, &QFileSystemWatcher::directoryChanged, this, &TDirectoryList::Refresh);
    setHeaderHidden(true);
    header()->setSectionResizeMode(QHeaderView::ResizeToContents);  // also for the column a rebuild makes
    header()->setStretchLastSection(false);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setExpandsOnDoubleClick(false);
    setIndentation(10);
    setUniformRowHeights(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSortingEnabled(false);
    SetDirectory(NearestExistingFolder(QDir::currentPath()));
}

QString TDirectoryList::CleanPath(const QString& path) { return QDir::cleanPath(QFileInfo(path).absoluteFilePath()); }

QString TDirectoryList::NearestExistingFolder(const QString& path) {
    if (path.isEmpty()) return QDir::rootPath();
    QString folder = CleanPath(QDir::fromNativeSeparators(path));
    while (!QFileInfo(folder).isDir()) {
        const QString up = QFileInfo(folder).absolutePath();
        if (up == folder || up.isEmpty()) return QDir::rootPath();
        folder = up;
    }
    return folder;
}

QString TDirectoryList::Directory() const { return QDir::toNativeSeparators(dir_); }

bool TDirectoryList::SetDirectory(const QString& path) {
    const QFileInfo info(path);
    if (path.isEmpty() || !info.isDir()) return false;
    dir_ = CleanPath(QDir::fromNativeSeparators(path));
    Watch();
    subfolders_ = SubfoldersOf(dir_);
    Rebuild(dir_);
    emit DirectoryChanged(Directory());
    return true;
}

void TDirectoryList::Refresh() {
    if (dir_.isEmpty()) return;
    if (!QFileInfo(dir_).isDir()) {
        SetDirectory(NearestExistingFolder(dir_));
        return;
    }
    Watch();  // a folder removed and made again is a new one to watch
    QStringList now = SubfoldersOf(dir_);
    if (now == subfolders_) return;
    subfolders_ = std::move(now);
    const QModelIndex current = currentIndex();
    Rebuild(current.isValid() ? current.data(PathRole).toString() : dir_);
}

void TDirectoryList::Watch() {
    const QStringList watched = watcher_->directories();
    if (watched == QStringList{dir_}) return;
    if (!watched.isEmpty()) watcher_->removePaths(watched);
    watcher_->addPath(dir_);
}

void TDirectoryList::Rebuild(const QString& highlight) {
    // One reset and one insertion of a finished tree: the chain, each folder
    // the parent of the next, and the open folder's subfolders under it.
    model_->clear();
    const QStringList chain = ChainOf(dir_);
    QStandardItem* top = nullptr;
    QStandardItem* parent = nullptr;
    for (const QString& folder : chain) {
        const QString text = parent ? QFileInfo(folder).fileName() : QDir::toNativeSeparators(folder);
        QStandardItem* item = FolderItem(text, folder, QStyle::SP_DirOpenIcon);
        if (parent)
            parent->appendRow(item);
        else
            top = item;
        parent = item;
    }
    QFont bold = QApplication::font();
    bold.setBold(true);
    parent->setFont(bold);
    for (const QString& name : subfolders_)
        parent->appendRow(FolderItem(name, QDir(dir_).filePath(name), QStyle::SP_DirClosedIcon));
    model_->appendRow(top);
    expandAll();

    QModelIndex current = FindPath(model_, {}, highlight);
    if (!current.isValid()) current = FindPath(model_, {}, dir_);
    selectionModel()->setCurrentIndex(current, QItemSelectionModel::ClearAndSelect);
    scrollTo(current);
}

QString TDirectoryList::HighlightedDirectory() const {
    const QModelIndex current = currentIndex();
    if (!current.isValid()) return {};
    return QDir::toNativeSeparators(current.data(PathRole).toString());
}

QModelIndex TDirectoryList::IndexOf(const QString& path) const {
    return FindPath(model_, {}, CleanPath(QDir::fromNativeSeparators(path)));
}

bool TDirectoryList::Highlight(const QString& path) {
    const QModelIndex index = IndexOf(path);
    if (!index.isValid()) return false;
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    return true;
}

void TDirectoryList::EnterHighlighted() {
    const QString path = HighlightedDirectory();
    if (!path.isEmpty()) SetDirectory(path);
}

void TDirectoryList::SetFileList(TFileList* files) {
    connect(this, &TDirectoryList::DirectoryChanged, files, &TFileList::SetDirectory);
    files->SetDirectory(Directory());
}

void TDirectoryList::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        EnterHighlighted();
        event->accept();
        return;
    }
    QTreeView::keyPressEvent(event);
}

void TDirectoryList::mouseDoubleClickEvent(QMouseEvent* event) {
    const QModelIndex index = indexAt(event->position().toPoint());
    if (index.isValid() && event->button() == Qt::LeftButton) {
        selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
        EnterHighlighted();
        event->accept();
        return;
    }
    QTreeView::mouseDoubleClickEvent(event);
}

void TDirectoryList::drawBranches(QPainter*, const QRect&, const QModelIndex&) const {
    // The indentation alone shows the chain; there is nothing to fold.
}

// --------------------------------------------------------------- TDriveComboBox

TDriveComboBox::TDriveComboBox(QWidget* parent) : QComboBox(parent) {
    Refresh();
    connect(this, &QComboBox::activated, this, &TDriveComboBox::ChooseDrive);
}

void TDriveComboBox::ChooseDrive(int index) {
    if (index < 0 || index >= count()) return;
    setCurrentIndex(index);
    emit DriveChanged(Drive());
}

QStringList TDriveComboBox::VolumeRoots() {
    QStringList roots;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        if (!volume.isValid() || !volume.isReady()) continue;
        const QString root = volume.rootPath();
        if (!QFileInfo(root).isDir() || roots.contains(root)) continue;
        roots << root;
    }
    std::sort(roots.begin(), roots.end(), [](const QString& a, const QString& b) {
        if (a == QLatin1String("/") || b == QLatin1String("/"))
            return a == QLatin1String("/") && b != QLatin1String("/");
        return a.compare(b, Qt::CaseInsensitive) < 0;
    });
    if (roots.isEmpty()) roots << QDir::rootPath();
    return roots;
}

void TDriveComboBox::Refresh() {
    const QString previous = Drive();
    clear();
    for (const QString& root : VolumeRoots()) {
        addItem(QDir::toNativeSeparators(root), root);
        const QStorageInfo volume(root);
        setItemData(count() - 1, volume.displayName(), Qt::ToolTipRole);
    }
    const int keep = findData(QDir::fromNativeSeparators(previous));
    setCurrentIndex(keep >= 0 ? keep : 0);
}

QString TDriveComboBox::Drive() const { return QDir::toNativeSeparators(currentData().toString()); }

void TDriveComboBox::ShowDriveOf(const QString& path) {
    const QString clean = TDirectoryList::CleanPath(QDir::fromNativeSeparators(path));
    int best = -1;
    qsizetype bestLength = -1;
    for (int i = 0; i < count(); ++i) {
        const QString root = itemData(i).toString();
        if (IsSameOrAncestor(root, clean) && root.size() > bestLength) {
            best = i;
            bestLength = root.size();
        }
    }
    if (best >= 0) setCurrentIndex(best);
}

void TDriveComboBox::SetDirList(TDirectoryList* list) {
    connect(this, &TDriveComboBox::DriveChanged, list, [list](const QString& root) { list->SetDirectory(root); });
    connect(list, &TDirectoryList::DirectoryChanged, this, &TDriveComboBox::ShowDriveOf);
    ShowDriveOf(list->Directory());
}

}  // namespace vistrel
