#include "ProgramExit.h"

#include "LeakCheck.h"

#include <cstdio>
#include <cstdlib>

namespace vistrel {

void LeaveWithoutTeardown(int status) {
    LeakCheckBeforeTeardown();
    std::fflush(nullptr);
    std::_Exit(status);
}

}  // namespace vistrel
