#include "FileList.h"

#include <QDir>

namespace vistrel {

TFileList::TFileList(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
    connect(this, &QListWidget::itemSelectionChanged, this, [this] {
        if (!filling_) emit Change();
    });
}

void TFileList::SetMask(const QString& mask) {
    mask_ = mask;
    Update();
}

void TFileList::SetDirectory(const QString& directory) {
    dir_ = directory;
    Update();
}

void TFileList::Update() {
    filling_ = true;
    clear();
    if (!dir_.isEmpty()) {
        QDir folder(QDir::fromNativeSeparators(dir_));
        // QDir matches name filters without regard to letter case unless told
        // otherwise, so TANK.P3D passes "*.p3d".
        const QStringList names = folder.entryList(mask_.split(QLatin1Char(';'), Qt::SkipEmptyParts), QDir::Files,
                                                   QDir::Name | QDir::IgnoreCase);
        addItems(names);
        for (int row = 0; row < count(); ++row) item(row)->setToolTip(item(row)->text());  // names the list cuts
    }
    filling_ = false;
    emit Change();
}

QString TFileList::FileName() const {
    const QList<QListWidgetItem*> selected = selectedItems();
    if (selected.isEmpty() || dir_.isEmpty()) return {};
    return QDir::toNativeSeparators(QDir(QDir::fromNativeSeparators(dir_)).filePath(selected.first()->text()));
}

bool TFileList::SelectFile(const QString& name) {
    const QList<QListWidgetItem*> found = findItems(name, Qt::MatchExactly);
    if (found.isEmpty()) return false;
    setCurrentItem(found.first(), QItemSelectionModel::ClearAndSelect);
    return true;
}

}  // namespace vistrel
