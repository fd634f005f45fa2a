#include "DirectoryList.h"

#include "FileList.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QFont>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStorageInfo>
#include <QStyle>

#include <algorithm>

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

// ---------------------------------------------------------------- TFolderFilter

TFolderFilter::TFolderFilter(QFileSystemModel* source, QObject* parent) : QSortFilterProxyModel(parent), fs_(source) {
    setSourceModel(source);
    setSortCaseSensitivity(Qt::CaseInsensitive);
    setDynamicSortFilter(true);
}

void TFolderFilter::SetOpenDir(const QString& path) {
    // Nearly every row changes with the open folder. A reset tells the view
    // to drop all it holds at once; removing the old rows one range at a time
    // would have the view move its current entry, and measure rows, while
    // the filter is half way between the two folders.
    beginResetModel();
    open_ = path;
    endResetModel();
}

bool TFolderFilter::OnChain(const QString& path) const { return IsSameOrAncestor(path, open_); }

bool TFolderFilter::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const {
    const QModelIndex index = fs_->index(sourceRow, 0, sourceParent);
    if (!index.isValid()) return false;
    const QString path = fs_->filePath(index);
    if (OnChain(path)) return true;
    // Subfolders of the open folder, hidden ones left out.
    if (sourceParent.isValid() && fs_->filePath(sourceParent).compare(open_, kPathCase) == 0)
        return !fs_->fileInfo(index).isHidden();
    return false;
}

bool TFolderFilter::filterAcceptsColumn(int sourceColumn, const QModelIndex&) const {
    return sourceColumn == 0;  // the name; size, type and date are not shown
}

QVariant TFolderFilter::data(const QModelIndex& index, int role) const {
    if (index.column() == 0 && (role == Qt::FontRole || role == Qt::DecorationRole)) {
        const QString path = fs_->filePath(mapToSource(index));
        if (role == Qt::FontRole) {
            if (path.compare(open_, kPathCase) == 0) {
                QFont font = QApplication::font();
                font.setBold(true);
                return font;
            }
        } else {
            const QStyle* style = QApplication::style();
            return style->standardIcon(OnChain(path) ? QStyle::SP_DirOpenIcon : QStyle::SP_DirClosedIcon);
        }
    }
    return QSortFilterProxyModel::data(index, role);
}

// --------------------------------------------------------------- TDirectoryList

TDirectoryList::TDirectoryList(QWidget* parent) : QTreeView(parent) {
    fs_ = new QFileSystemModel(this);
    fs_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::Drives);
    fs_->setReadOnly(true);
    filter_ = new TFolderFilter(fs_, this);
    setModel(filter_);
    // The file system model sorts the folders it has filled in whenever it
    // likes, and the filter then rebuilds its mappings: rows the view laid
    // out before point into mappings that are gone. The view is told to lay
    // out again (setModel connected that first); doing it now, not on the
    // next idle turn, leaves no moment in which a removal or a change of the
    // current entry could make the view measure such a row.
    connect(filter_, &QAbstractItemModel::layoutChanged, this, [this] { executeDelayedItemsLayout(); });
    // A removal may be the open folder itself, or one above it.
    connect(fs_, &QAbstractItemModel::rowsRemoved, this, &TDirectoryList::LeaveIfGone, Qt::QueuedConnection);
    setHeaderHidden(true);
    header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    header()->setStretchLastSection(false);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setExpandsOnDoubleClick(false);
    setIndentation(10);
    setUniformRowHeights(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSortingEnabled(false);
    filter_->sort(0, Qt::AscendingOrder);
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
    fs_->setRootPath(dir_);  // loads and watches the open folder
    filter_->SetOpenDir(dir_);
    ShowOpenChain();
    emit DirectoryChanged(Directory());
    return true;
}

void TDirectoryList::LeaveIfGone() {
    if (!dir_.isEmpty() && !QFileInfo(dir_).isDir()) SetDirectory(NearestExistingFolder(dir_));
}

void TDirectoryList::ShowOpenChain() {
    // Expand every folder from the root down to the open one; that brings in
    // the open folder's subfolders, which the file system model fills in.
    const QModelIndex source = fs_->index(dir_);
    QList<QModelIndex> chain;
    for (QModelIndex i = source; i.isValid(); i = i.parent()) chain.prepend(i);
    for (const QModelIndex& i : chain) expand(filter_->mapFromSource(i));
    const QModelIndex open = filter_->mapFromSource(source);
    if (open.isValid()) {
        selectionModel()->setCurrentIndex(open, QItemSelectionModel::ClearAndSelect);
        scrollTo(open);
    }
}

QString TDirectoryList::HighlightedDirectory() const {
    const QModelIndex current = currentIndex();
    if (!current.isValid()) return {};
    return QDir::toNativeSeparators(fs_->filePath(filter_->mapToSource(current)));
}

QModelIndex TDirectoryList::IndexOf(const QString& path) const {
    const QModelIndex source = fs_->index(CleanPath(QDir::fromNativeSeparators(path)));
    return source.isValid() ? filter_->mapFromSource(source) : QModelIndex();
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
