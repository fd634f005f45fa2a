// Records the largest single request made to the global operator new, so that
// tests can tell that reading a file with an absurd count allocated nothing
// large for it. Replaces the global operator new and delete of the test
// program (they forward to malloc and free).
#pragma once

#include <cstddef>

namespace vistrel_test {

void ResetLargestAllocation();
std::size_t LargestAllocation();

}  // namespace vistrel_test
