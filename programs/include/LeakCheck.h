// The leak check of a sanitizer build, run while the program's libraries are
// still loaded.
//
// The OpenGL driver and the X libraries are loaded with the application and
// unloaded when it goes; a check at process exit then finds their blocks with
// no module to name them by, so that no suppression can tell them from ours.
// Programs call this once, with the application object (or the headless
// context) still alive; the check at exit is then skipped. Without the
// sanitizer it does nothing.
#pragma once

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace vistrel {

inline void LeakCheckBeforeTeardown() {
#if defined(__SANITIZE_ADDRESS__)
    __lsan_do_leak_check();
#endif
}

// Runs the check when it goes out of scope: declared right after a headless
// context, it checks before the context unloads the driver.
struct TLeakCheckAtScopeEnd {
    TLeakCheckAtScopeEnd() = default;
    TLeakCheckAtScopeEnd(const TLeakCheckAtScopeEnd&) = delete;
    TLeakCheckAtScopeEnd& operator=(const TLeakCheckAtScopeEnd&) = delete;
    ~TLeakCheckAtScopeEnd() { LeakCheckBeforeTeardown(); }
};

}  // namespace vistrel
