// A list of the file names in one folder that match a mask, letter case
// ignored, sorted by name. The folder comes from a linked TDirectoryList.
#pragma once

#include <QListWidget>
#include <QString>

namespace vistrel {

class TFileList : public QListWidget {
    Q_OBJECT
public:
    explicit TFileList(QWidget* parent = nullptr);

    // Patterns separated by ';' ("*.p3d"); letter case is ignored.
    QString Mask() const { return mask_; }
    void SetMask(const QString& mask);
    QString Directory() const { return dir_; }
    // Full path of the selected file (native separators); empty when none.
    QString FileName() const;
    // Selects a listed file by name; false when it is not listed.
    bool SelectFile(const QString& name);

public slots:
    // Shows another folder (the list is read again even for the same one).
    void SetDirectory(const QString& directory);
    // Reads the folder again.
    void Update();

signals:
    // The selected file changed (also to none, after the list was refilled).
    void Change();

private:
    QString dir_;
    QString mask_ = QStringLiteral("*.*");
    bool filling_ = false;
};

}  // namespace vistrel
