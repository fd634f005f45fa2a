// Texture names under the folders they are looked up in: stored "\"
// separators, letter case of folders and files, missing files, an empty root,
// exact spellings first, names that reach outside their root, the folder
// listings shared by lookups, 8-bit names, the roots of a model.
#include "TextureLookup.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

using namespace vistrel;
namespace fs = std::filesystem;

namespace {

class TextureLookupTest : public ::testing::Test {
protected:
    TextureLookupTest() {
        std::string pattern = (fs::temp_directory_path() / "lookup-XXXXXX").string();
        root_ = ::mkdtemp(pattern.data()) ? pattern : std::string();
    }
    ~TextureLookupTest() override {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    const std::string& Root() const { return root_; }
    // Makes the file (and its folders) under the root; returns its full path.
    std::string Make(const std::string& relative) const {
        const fs::path path = fs::path(root_) / relative;
        fs::create_directories(path.parent_path());
        std::ofstream(path) << "x";
        return path.string();
    }
    void MakeFolder(const std::string& relative) const { fs::create_directories(fs::path(root_) / relative); }
    std::string Clean(const std::optional<std::string>& path) const {
        return path ? fs::path(*path).lexically_normal().string() : "(none)";
    }

private:
    std::string root_;
};

}  // namespace

TEST_F(TextureLookupTest, DisplayPathJoinsRootAndNameWithTheSeparator) {
    EXPECT_EQ(TextureDisplayPath("/tex", "data\\wall.paa"), "/tex/data/wall.paa");
    EXPECT_EQ(TextureDisplayPath("/tex", "wall.paa"), "/tex/wall.paa");
    // Nothing else is done to the name: case and extension stay.
    EXPECT_EQ(TextureDisplayPath("/tex", "DATA\\Wall.PAC"), "/tex/DATA/Wall.PAC");
    // An empty root gives a path from the file system's root.
    EXPECT_EQ(TextureDisplayPath("", "data\\wall.paa"), "/data/wall.paa");
}

TEST_F(TextureLookupTest, SeparatorsAndLetterCaseOfFoldersAndFiles) {
    const std::string wall = Make("data/wall.paa");
    const std::string deep = Make("Data/Vehicles/Tank/Hull_CO.paa");
    EXPECT_EQ(ResolveTexturePath(Root(), "data/wall.paa"), wall);  // forward slashes work too
    EXPECT_EQ(ResolveTexturePath(Root(), "DATA\\Wall.PAA"), wall);
    EXPECT_EQ(ResolveTexturePath(Root(), "Data\\WALL.paa"), wall);
    EXPECT_EQ(ResolveTexturePath(Root(), "data\\vehicles\\TANK\\hull_co.PAA"), deep);
    EXPECT_EQ(FindTextureFile({Root() + "/none", Root()}, "data\\wall.paa"), wall);  // the first root that has it
}

TEST_F(TextureLookupTest, MissingFilesFoldersAndEmptyNamesGiveNothing) {
    Make("data/wall.paa");
    MakeFolder("data/floor.paa");
    for (const char* name : {"data\\other.paa", "other\\wall.paa", "data\\wall.paa\\more", "data\\floor.paa",
                             "DATA\\FLOOR.PAA", "data", "", "\\"})
        EXPECT_FALSE(ResolveTexturePath(Root(), name)) << name;  // a folder is not a file
    EXPECT_FALSE(ResolveTexturePath(Root() + "/none", "data\\wall.paa"));
    EXPECT_FALSE(FindTextureFile({Root()}, ""));
}

TEST_F(TextureLookupTest, EmptyRootLooksFromTheFileSystemRoot) {
    const std::string file = Make("data/wall.paa");
    std::string relative = Root().substr(1) + "/DATA/Wall.paa";  // the root's own path, as a stored name
    std::replace(relative.begin(), relative.end(), '/', '\\');
    EXPECT_EQ(ResolveTexturePath("", relative), file);
}

TEST_F(TextureLookupTest, ExactSpellingsArePreferredAndEverySpellingIsSearched) {
    const std::string upper = Make("data/Wall.paa");
    const std::string lower = Make("data/wall.paa");
    EXPECT_EQ(ResolveTexturePath(Root(), "data\\Wall.paa"), upper);
    EXPECT_EQ(ResolveTexturePath(Root(), "data\\wall.paa"), lower);
    // No exact spelling: one of the two, always the same (the first by name).
    EXPECT_EQ(ResolveTexturePath(Root(), "data\\WALL.PAA"), upper);
    const std::string inUpper = Make("DATA/floor.paa");
    const std::string inLower = Make("data/floor.paa");
    EXPECT_EQ(ResolveTexturePath(Root(), "DATA\\floor.paa"), inUpper);
    EXPECT_EQ(ResolveTexturePath(Root(), "data\\floor.paa"), inLower);
    // Two folders that differ only in case: the file is in the second one.
    Make("Maps/other.paa");
    const std::string map = Make("MAPS/map.paa");
    EXPECT_EQ(ResolveTexturePath(Root(), "maps\\map.paa"), map);
    EXPECT_EQ(ResolveTexturePath(Root(), "Maps\\Map.paa"), map);
}

TEST_F(TextureLookupTest, DoubledSeparatorsAndDotsAreSkipped) {
    const std::string file = Make("data/wall.paa");
    for (const char* name : {"DATA\\\\wall.paa", "data\\\\wall.paa", ".\\data\\.\\wall.paa", "data/./WALL.paa"})
        EXPECT_EQ(ResolveTexturePath(Root(), name), file) << name;
}

TEST_F(TextureLookupTest, NamesThatReachOutsideTheRootAreNotLookedUp) {
    const std::string above = Make("x.paa");
    Make("in/data/x.paa");
    std::vector<std::string> outside{
        "..\\x.paa", "..\\..\\..\\..\\..\\tmp\\x.paa", "data\\..\\..\\x.paa", "data/../../x.paa", "data\\..", "C:x.paa",
        "z:\\x.paa"};
    outside.insert(outside.end(), {above, "\\" + above.substr(1)});  // the file's own path, as stored too
    for (const std::string& name : outside) {
        EXPECT_TRUE(OutsideTextureRoot(name)) << name;
        EXPECT_FALSE(FindTextureFile({Root() + "/in", Root()}, name)) << name;  // though a file is there
    }
    for (const char* name : {"data\\x.paa", "..x.paa", "data..\\x.paa", "...\\x.paa", "data\\c:x.paa", "1:x.paa", ""})
        EXPECT_FALSE(OutsideTextureRoot(name)) << name;
}

// Each folder listed at its first asking, later changes unseen, a missing
// folder remembered as such; listings with no room keep nothing.
TEST_F(TextureLookupTest, ListingsAreTakenOnceAndKeptWithinTheirBudget) {
    TFolderListings listings, none(0);
    const std::string later = Root() + "/later";
    EXPECT_FALSE(ResolveTexturePath(Root(), "data\\floor.paa", &listings));
    EXPECT_FALSE(ResolveTexturePath(later, "wall.paa", &listings));
    EXPECT_FALSE(ResolveTexturePath(Root(), "data\\floor.paa", &none));
    const std::string floor = Make("data/FLOOR.paa");
    const std::string wall = Make("later/wall.paa");
    EXPECT_FALSE(ResolveTexturePath(Root(), "data\\floor.paa", &listings));
    EXPECT_FALSE(ResolveTexturePath(later, "wall.paa", &listings));
    EXPECT_EQ(ResolveTexturePath(Root(), "data\\floor.paa", &none), floor);
    EXPECT_EQ(ResolveTexturePath(later, "wall.paa", &none), wall);
}

TEST_F(TextureLookupTest, EightBitNamesThatAreNotUtf8AreReadAsLatin1) {
    const std::string file = Make("data/caf\xc3\xa9.paa");
    EXPECT_EQ(TextureNamePath("data\\caf\xe9.paa"), "data/caf\xc3\xa9.paa");
    EXPECT_EQ(ResolveTexturePath(Root(), "data\\caf\xe9.paa"), file);
    EXPECT_EQ(ResolveTexturePath(Root(), "data\\caf\xc3\xa9.paa"), file);  // UTF-8 names as UTF-8
    // Letter case of non-ASCII letters is ignored as well.
    EXPECT_EQ(ResolveTexturePath(Root(), "data\\CAF\xc9.PAA"), file);
    EXPECT_TRUE(SameIgnoringCase("\xd0\x96\xc4\x80", "\xd0\xb6\xc4\x81"));  // Cyrillic, Latin Extended-A
    EXPECT_FALSE(SameIgnoringCase("\xc3\xa9", "\xc3\xa8"));
    EXPECT_FALSE(SameIgnoringCase("a\xe9", "A\xc9"));  // not text: only ASCII letters fold
    EXPECT_TRUE(SameIgnoringCase("a\xe9", "A\xe9"));
}

TEST_F(TextureLookupTest, RootsAreTheDataFolderOrTheModelsFolderAndTheOnesAbove) {
    const std::string model = Make("data/tanks/m1/m1.p3d");
    const std::vector<std::string> roots = TextureRoots("", model);
    ASSERT_GE(roots.size(), 4u);
    EXPECT_EQ(roots[0], Root() + "/data/tanks/m1");
    EXPECT_EQ(roots[1], Root() + "/data/tanks");
    EXPECT_EQ(roots.back(), "");  // the root of the file system
    EXPECT_EQ(TextureRoots("/tex", model), std::vector<std::string>{"/tex"});
    EXPECT_EQ(TextureRoots("", ""), std::vector<std::string>{""});
}
