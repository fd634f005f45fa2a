#include "Globals.h"

#include <QCoreApplication>
#include <QDir>

namespace vistrel {

QString ExeDir;
QString DataPath;
QString VersionText;

void InitGlobals() {
    ExeDir = QDir::toNativeSeparators(QCoreApplication::applicationDirPath());
    if (!ExeDir.endsWith(QDir::separator())) ExeDir += QDir::separator();
    DataPath.clear();
    VersionText = QStringLiteral("v2.44");
}

void ReleaseGlobals() {
    ExeDir.clear();
    DataPath.clear();
    VersionText.clear();
}

}  // namespace vistrel
