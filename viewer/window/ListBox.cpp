#include "ListBox.h"

#include <QKeyEvent>
#include <QMouseEvent>

namespace vistrel {

TListBox::TListBox(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
}

int TListBox::ItemIndex() const {
    const QList<QListWidgetItem*> selected = selectedItems();
    return selected.isEmpty() ? -1 : row(selected.first());
}

void TListBox::SetItemIndex(int row) {
    if (row < 0 || row >= count()) {
        clearSelection();
        return;
    }
    setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
}

void TListBox::mousePressEvent(QMouseEvent* event) {
    QListWidget::mousePressEvent(event);
    if (event->button() == Qt::LeftButton && itemAt(event->position().toPoint())) emit Click();
}

void TListBox::keyPressEvent(QKeyEvent* event) {
    const int before = ItemIndex();
    QListWidget::keyPressEvent(event);
    if (ItemIndex() != before) emit Click();
}

}  // namespace vistrel
