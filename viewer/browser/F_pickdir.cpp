#include "F_pickdir.h"

#include "DirectoryList.h"

#include <QDir>
#include <QHBoxLayout>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace vistrel {

TPickDir* PickDir = nullptr;

TPickDir::TPickDir(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("PickDir"));
    setWindowTitle(QStringLiteral("Pick Directory"));

    DriveComboBox1 = new TDriveComboBox(this);
    DriveComboBox1->setObjectName(QStringLiteral("DriveComboBox1"));
    DirList = new TDirectoryList(this);  // opens in the working directory
    DirList->setObjectName(QStringLiteral("DirList"));
    DriveComboBox1->SetDirList(DirList);

    BitBtn1 = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), QStringLiteral("OK"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setDefault(true);
    BitBtn1->setAutoDefault(true);
    BitBtn2 = new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton), QStringLiteral("Cancel"), this);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    BitBtn2->setAutoDefault(false);
    for (QPushButton* button : {BitBtn1, BitBtn2}) button->setMinimumSize(81, 25);
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);  // Esc rejects too

    // The list grows with the dialog; the buttons stay at the lower left.
    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->setSpacing(6);
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn2);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->setSpacing(6);
    layout->addWidget(DriveComboBox1);
    layout->addWidget(DirList, 1);
    layout->addLayout(buttons);

    setTabOrder(DirList, DriveComboBox1);
    setTabOrder(DriveComboBox1, BitBtn1);
    setTabOrder(BitBtn1, BitBtn2);

    setMinimumSize(LeastSize);
    resize(OpeningSize);  // kept between showings: the user's size, once given
}

QString TPickDir::Directory() const { return DirList->Directory(); }

std::optional<QString> TPickDir::Execute() {
    DirList->setFocus();
    if (exec() != QDialog::Accepted) return std::nullopt;
    return Directory();
}

}  // namespace vistrel
