// The one walk of a folder tree, for check and for the -r of mlod, export and
// texture: the model files (or the files of other extensions) under it and
// what stood in the way, each named.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace p3dtool {

// Something the walk could not go through; Path relative to the tree.
struct TTreeProblem {
    std::string Path, Reason;
};

struct TModelTree {
    std::string RootError;                     // the tree itself cannot be listed (then nothing else)
    std::vector<std::filesystem::path> Files;  // sorted, each under the tree as it was named
    std::vector<TTreeProblem> Unreadable;      // folders that cannot be listed or lie too deep; sorted
    std::vector<TTreeProblem> BrokenLinks;     // links of the names looked for that lead nowhere; sorted
};

// Every "*.p3d" file (any case; or every file ending in one of extensions,
// given in lower case with their dot) under tree, also through links to
// files. Links to folders are not followed (so no walk loops), nor folders
// more than 256 below the tree entered; such a link to itself, to a loop or
// to nothing is a broken link, and links of other names are not looked at.
TModelTree WalkModelTree(const std::filesystem::path& tree, const std::vector<std::string>& extensions = {".p3d"});

}  // namespace p3dtool
