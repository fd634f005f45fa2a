// Where "Setting.def" lives: beside the executable when that folder can be
// written (a portable install), else in the user's configuration folder.
#pragma once

#include <QString>

namespace vistrel {

inline constexpr char kSettingsFileName[] = "Setting.def";

// exeDir ends in a separator; configDir is the user's configuration folder
// for this program (created when it is chosen).
QString SettingsFilePath(const QString& exeDir, const QString& configDir);
// The same with the platform's configuration folder.
QString SettingsFilePath(const QString& exeDir);

}  // namespace vistrel
