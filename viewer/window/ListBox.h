// A list box whose Click signal reports only what the user does: a mouse
// press on an entry or a keyboard move of the selection. Filling or selecting
// entries from code stays silent.
#pragma once

#include <QListWidget>

namespace vistrel {

class TListBox : public QListWidget {
    Q_OBJECT
public:
    explicit TListBox(QWidget* parent = nullptr);

    // The selected entry's row, -1 when none.
    int ItemIndex() const;
    // Selects a row from code (-1 clears the selection); raises no Click.
    void SetItemIndex(int row);

signals:
    void Click();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace vistrel
