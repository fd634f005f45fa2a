// The first four bytes of a file, which tell its format.
#pragma once

#include <array>
#include <string>

namespace vistrel {

// The file is closed again at once. Raises EFOpenError ("Cannot open file
// <path>") when it cannot be opened, EReadError when it is shorter.
std::array<char, 4> ReadFileMagic(const std::string& path);

}  // namespace vistrel
