// Texture names as models store them ("data\wall.paa": relative to a data
// folder, "\" between the parts, letter case as typed on a file system that
// ignores it) turned into files under the folders they are looked up in. One
// lookup for the window, the pictures and the export.
//
// Paths are 8-bit strings as the file system takes them. A name's bytes are
// read as the platform's 8-bit text: UTF-8 here, where bytes that are not
// valid UTF-8 are read as Latin-1 (and so become UTF-8), the ANSI code page on
// Windows, where they are taken as they are. Everything here is reentrant:
// the loaders call it from their decoding threads.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vistrel {

// The entries of the folders that lookups walk through, each folder listed
// once (a folder that does not exist remembered as such too), shared by every
// lookup of a run: a hundred names under eight roots then list eight folders,
// not eight hundred. Safe from several threads; a second asker of a folder
// waits for the first one's listing. Holds at most about budgetBytes; past
// that, what it holds is forgotten and listed again when asked for. Files
// added or removed after a folder was listed are not seen: a lookup that
// must see them takes a new one.
class TFolderListings {
public:
    explicit TFolderListings(std::size_t budgetBytes = std::size_t{64} << 20);
    ~TFolderListings();
    TFolderListings(const TFolderListings&) = delete;
    TFolderListings& operator=(const TFolderListings&) = delete;

    struct TListing;  // the lookup's own
    std::shared_ptr<const TListing> Listing(const std::string& folder);

private:
    struct TState;
    std::unique_ptr<TState> state_;
};

// The name as a path of the platform: its text, the stored "\" turned into
// the platform's separator.
std::string TextureNamePath(const std::string& name);

// The path the user is told of: root + separator + the name as a path. With
// an empty root the path starts at the root of the file system.
std::string TextureDisplayPath(const std::string& root, const std::string& name);

// Whether the name reaches outside the folder it is looked up under: a part
// (between "\" or "/") that is "..", a separator first, or a drive letter
// ("C:"). Such a name is never looked up. "." parts and doubled separators
// stay inside.
bool OutsideTextureRoot(const std::string& name);

// The existing file that the name stands for under root, found by matching
// each part of the name (folders, then the file) ignoring letter case, an
// exact spelling preferred at every step, the other spellings in name order.
// Empty parts (doubled separators) and "." parts are skipped. Nothing when no
// file matches (a folder does not count as a file) or the name is outside
// the root. The folders are listed through listings; none: listings of this
// lookup's own.
std::optional<std::string> ResolveTexturePath(const std::string& root, const std::string& name,
                                              TFolderListings* listings = nullptr);

// The first root, in order, under which the name stands for a file.
std::optional<std::string> FindTextureFile(const std::vector<std::string>& roots, const std::string& name,
                                           TFolderListings* listings = nullptr);

// The folders a model's texture names are looked up under, in order: the
// texture root when one is set; otherwise the model's folder and each folder
// above it, nearest first (texture names are relative to the data folder a
// model was taken from), the root of the file system as ""; with neither,
// the root of the file system.
std::vector<std::string> TextureRoots(const std::string& dataDir, const std::string& modelFile);

// Whether two file names are the same but for letter case (ASCII, Latin-1,
// Latin Extended-A, Greek and Cyrillic letters; UTF-8 on both sides).
bool SameIgnoringCase(const std::string& a, const std::string& b);

}  // namespace vistrel
