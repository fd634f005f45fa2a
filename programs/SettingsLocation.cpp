#include "SettingsLocation.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace vistrel {

QString SettingsFilePath(const QString& exeDir, const QString& configDir) {
    const QString besideExe = exeDir + QLatin1String(kSettingsFileName);
    const QFileInfo folder(exeDir);
    const QFileInfo file(besideExe);
    if (folder.isDir() && folder.isWritable() && (!file.exists() || file.isWritable())) return besideExe;
    QDir().mkpath(configDir);
    return QDir(configDir).filePath(QLatin1String(kSettingsFileName));
}

QString SettingsFilePath(const QString& exeDir) {
    return SettingsFilePath(exeDir, QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation));
}

}  // namespace vistrel
