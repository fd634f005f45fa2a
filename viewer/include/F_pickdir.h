// The directory picker: a small modal dialog for choosing the texture root.
// Its result is the folder its list has entered, not a merely highlighted one.
#pragma once

#include <QDialog>
#include <QSize>
#include <QString>

#include <optional>

class QPushButton;

namespace vistrel {

class TDirectoryList;
class TDriveComboBox;

class TPickDir : public QDialog {
    Q_OBJECT
public:
    explicit TPickDir(QWidget* parent = nullptr);

    // The size it opens at, where a folder tree of a few levels can be read;
    // the designed 187 x 215 stays the least it can be made.
    static constexpr QSize OpeningSize{400, 480};
    static constexpr QSize LeastSize{187, 215};

    TDirectoryList* DirList;
    TDriveComboBox* DriveComboBox1;
    QPushButton* BitBtn1;  // OK
    QPushButton* BitBtn2;  // Cancel

    // The open directory of DirList: no trailing separator except a root's.
    QString Directory() const;
    // Shows the dialog modally; the open directory on OK, nothing on Cancel
    // or the close box. The list keeps its folder for the next time.
    std::optional<QString> Execute();
};

// The program's picker, made at start-up after the main window.
extern TPickDir* PickDir;

}  // namespace vistrel
