// Process-wide state of the viewer, set at program entry before any window
// exists and released at exit.
#pragma once

#include <QString>

namespace vistrel {

// Directory of the running executable, ending in the platform's separator
// (the settings file lives there).
extern QString ExeDir;
// Root directory of the extracted game textures; empty until the user picks
// one. Kept without a trailing separator, as the directory picker returns it.
extern QString DataPath;
// Version shown in the window caption.
extern QString VersionText;

// Fills the three globals: ExeDir from the application's directory (needs the
// application object), DataPath empty, VersionText "v2.44".
void InitGlobals();
// Empties them again at program end.
void ReleaseGlobals();

}  // namespace vistrel
