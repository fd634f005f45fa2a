// --data DIR, the texture root a program is given on its command line
// (p3dtool check and export, vistrel and its --screenshot, the thumbnailer):
// a DIR that is no folder is said so, never taken as a root under which
// every texture is missing.
#pragma once

#include <string>

namespace vistrel {

// What is wrong with DIR as a texture root: "--data DIR: no such folder",
// "--data DIR: not a folder", or "--data DIR: " and the system's reason when
// it cannot be looked at; empty when it is a folder (or DIR is empty: none
// given).
std::string DataDirProblem(const std::string& dir);

}  // namespace vistrel
