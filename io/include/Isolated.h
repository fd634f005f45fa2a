// Work that a library does on hostile input, run where a crash of that
// library cannot take the program down: in a child process where the
// platform has them (POSIX), in the calling process elsewhere.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vistrel {

// Runs work, which gives its result as bytes, and hands those bytes back.
// False, with the reason in error ("its reader crashed on it (Segmentation
// fault)"), when the work did not end normally or took more than
// cpuSeconds of processor time (a library that loops on a damaged file).
bool RunIsolated(const std::function<std::vector<uint8_t>()>& work, unsigned cpuSeconds, std::vector<uint8_t>& result,
                 std::string& error);

}  // namespace vistrel
