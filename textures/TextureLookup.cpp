#include "TextureLookup.h"

#include "EightBitText.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <future>
#include <mutex>
#include <system_error>
#include <unordered_map>

namespace fs = std::filesystem;

namespace vistrel {

namespace {

#ifdef _WIN32
constexpr char kSeparator = '\\';
#else
constexpr char kSeparator = '/';
#endif

// The name's bytes as the platform's 8-bit text.
std::string NameText(const std::string& name) {
#ifdef _WIN32
    return name;
#else
    return Utf8OrLatin1(name);
#endif
}

// The lower-case letter of an upper-case one in the scripts that texture
// names use; everything else as it is.
char32_t Folded(char32_t c) {
    if (c < 0x80) return c >= 'A' && c <= 'Z' ? c + 32 : c;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;  // Latin-1
    if (c >= 0x100 && c <= 0x17F) {                          // Latin Extended-A: pairs of upper, lower
        if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F) return c;
        if (c == 0x178) return 0xFF;
        const bool oddUpper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        return (c % 2 == 1) == oddUpper ? c + 1 : c;
    }
    if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return c + 32;  // Greek
    if (c >= 0x410 && c <= 0x42F) return c + 32;                // Cyrillic
    if (c >= 0x400 && c <= 0x40F) return c + 80;
    return c;
}

// What two names that are the same but for letter case share (as
// SameIgnoringCase tells them): the folded letters of text; of bytes that are
// not text, the bytes with ASCII letters folded. The first byte keeps the
// two kinds apart.
std::string FoldKey(const std::string& name) {
    std::u32string text;
    std::string key;
    key.reserve(name.size() + 1);
    if (!DecodeUtf8(name, text)) {
        key += 'b';
        for (const char c : name) key += c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
        return key;
    }
    key += 't';
    for (const char32_t original : text) {
        const char32_t c = Folded(original);
        if (c < 0x80) {
            key += static_cast<char>(c);
        } else if (c < 0x800) {
            key += static_cast<char>(0xC0 | (c >> 6));
            key += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            key += static_cast<char>(0xE0 | (c >> 12));
            key += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            key += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            key += static_cast<char>(0xF0 | (c >> 18));
            key += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            key += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            key += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return key;
}

std::string Join(const std::string& base, const std::string& part) {
    if (!base.empty() && (base.back() == '/' || base.back() == kSeparator)) return base + part;
    return base + kSeparator + part;
}

bool HasKind(const std::string& path, bool wantFile) {
    std::error_code ec;
    return wantFile ? fs::is_regular_file(path, ec) : fs::is_directory(path, ec);
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

}  // namespace

struct TFolderListings::TListing {
    struct TEntry {
        std::string key, name;
        bool file = false, folder = false;  // links count as what they lead to
    };
    std::vector<TEntry> entries;  // by key, then name
    // Listed, or known not to be there; otherwise (a folder that may be
    // entered but not read) only exact spellings are tried in it.
    bool known = true;
    std::size_t bytes = 0;
};

struct TFolderListings::TState {
    std::mutex mutex;
    std::unordered_map<std::string, std::shared_future<std::shared_ptr<const TListing>>> folders;
    std::size_t bytes = 0;
    std::size_t budget = 0;
    unsigned long long dropped = 0;  // how often everything was forgotten
};

TFolderListings::TFolderListings(std::size_t budgetBytes) : state_(std::make_unique<TState>()) {
    state_->budget = budgetBytes;
}

TFolderListings::~TFolderListings() = default;

namespace {

// What a folder's listing costs beside its entries.
constexpr std::size_t kListingBytes = 128;

std::shared_ptr<const TFolderListings::TListing> ListFolder(const std::string& folder) {
    using TListing = TFolderListings::TListing;
    auto listing = std::make_shared<TListing>();
    listing->bytes = kListingBytes + folder.size();
    std::error_code ec;
    fs::directory_iterator it(folder, ec), end;
    if (ec) {
        listing->known = ec == std::errc::no_such_file_or_directory || ec == std::errc::not_a_directory;
        return listing;
    }
    for (; it != end; it.increment(ec)) {
        if (ec) break;
        TListing::TEntry entry;
        entry.name = it->path().filename().string();
        entry.key = FoldKey(entry.name);
        std::error_code kindEc;
        entry.file = it->is_regular_file(kindEc);
        entry.folder = !entry.file && it->is_directory(kindEc);
        listing->bytes += sizeof(TListing::TEntry) + entry.name.size() + entry.key.size();
        listing->entries.push_back(std::move(entry));
    }
    std::sort(listing->entries.begin(), listing->entries.end(),
              [](const auto& a, const auto& b) { return a.key != b.key ? a.key < b.key : a.name < b.name; });
    return listing;
}

}  // namespace

std::shared_ptr<const TFolderListings::TListing> TFolderListings::Listing(const std::string& folder) {
    TState& state = *state_;
    std::promise<std::shared_ptr<const TListing>> promise;
    unsigned long long dropped = 0;
    {
        std::unique_lock lock(state.mutex);
        if (const auto it = state.folders.find(folder); it != state.folders.end()) {
            auto pending = it->second;
            lock.unlock();
            return pending.get();
        }
        state.folders.emplace(folder, promise.get_future().share());
        dropped = state.dropped;
    }
    std::shared_ptr<const TListing> listing;
    try {
        listing = ListFolder(folder);
    } catch (...) {  // out of memory: this asker and those waiting are told, the next one lists again
        promise.set_exception(std::current_exception());
        const std::lock_guard lock(state.mutex);
        if (state.dropped == dropped) state.folders.erase(folder);
        throw;
    }
    promise.set_value(listing);
    const std::lock_guard lock(state.mutex);
    if (state.dropped != dropped) return listing;  // forgotten meanwhile: not counted
    state.bytes += listing->bytes;
    if (state.bytes > state.budget) {
        state.folders.clear();
        state.bytes = 0;
        ++state.dropped;
    }
    return listing;
}

namespace {

// Depth first over the spellings of parts[k..] below base: the exact one
// first, then the other entries of base that match ignoring case, in name
// order. Two spellings of one folder ("Data" and "DATA") are both tried, so a
// file in either is found.
bool Walk(TFolderListings& listings, const std::string& base, const std::vector<std::string>& parts, std::size_t k,
          std::string& found) {
    const bool last = k + 1 == parts.size();
    const std::string& part = parts[k];
    const auto tryPath = [&](const std::string& path) {
        if (last) {
            found = path;
            return true;
        }
        return Walk(listings, path, parts, k + 1, found);
    };
    const std::shared_ptr<const TFolderListings::TListing> listing = listings.Listing(base);
    if (!listing->known) return HasKind(Join(base, part), last) && tryPath(Join(base, part));

    const std::string key = FoldKey(part);
    using TEntry = TFolderListings::TListing::TEntry;
    const std::vector<TEntry>& entries = listing->entries;
    const auto from = std::lower_bound(entries.begin(), entries.end(), key,
                                       [](const TEntry& e, const std::string& wanted) { return e.key < wanted; });
    auto to = from;
    while (to != entries.end() && to->key == key) ++to;
    const auto fits = [last](const TEntry& e) { return last ? e.file : e.folder; };
    for (auto it = from; it != to; ++it)
        if (it->name == part && fits(*it) && tryPath(Join(base, it->name))) return true;
    for (auto it = from; it != to; ++it)
        if (it->name != part && fits(*it) && tryPath(Join(base, it->name))) return true;
    return false;
}

}  // namespace

bool SameIgnoringCase(const std::string& a, const std::string& b) {
    std::u32string x, y;
    if (!DecodeUtf8(a, x) || !DecodeUtf8(b, y)) {
        // bytes that are not text: ASCII letters alone are folded
        return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char p, char q) {
                   return Folded(static_cast<unsigned char>(p)) == Folded(static_cast<unsigned char>(q)) &&
                          (static_cast<unsigned char>(p) < 0x80 || p == q);
               });
    }
    return x.size() == y.size() &&
           std::equal(x.begin(), x.end(), y.begin(), [](char32_t p, char32_t q) { return Folded(p) == Folded(q); });
}

std::string TextureNamePath(const std::string& name) {
    std::string text = NameText(name);
#ifndef _WIN32
    std::replace(text.begin(), text.end(), '\\', '/');
#endif
    return text;
}

std::string TextureDisplayPath(const std::string& root, const std::string& name) {
    return root + kSeparator + TextureNamePath(name);
}

bool OutsideTextureRoot(const std::string& name) {
    if (name.empty()) return false;
    if (IsSeparator(name[0])) return true;
    const auto letter = static_cast<unsigned char>(name[0]);
    if (name.size() >= 2 && name[1] == ':' && letter < 0x80 && std::isalpha(letter)) return true;
    for (std::size_t start = 0; start <= name.size();) {
        std::size_t end = start;
        while (end < name.size() && !IsSeparator(name[end])) ++end;
        if (end - start == 2 && name.compare(start, 2, "..") == 0) return true;
        start = end + 1;
    }
    return false;
}

std::optional<std::string> ResolveTexturePath(const std::string& root, const std::string& name,
                                              TFolderListings* listings) {
    if (OutsideTextureRoot(name)) return std::nullopt;
    std::vector<std::string> parts;
    std::string part;
    for (const char c : NameText(name)) {
        if (IsSeparator(c)) {
            if (!part.empty() && part != ".") parts.push_back(std::move(part));
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty() && part != ".") parts.push_back(std::move(part));
    if (parts.empty()) return std::nullopt;
    std::optional<TFolderListings> own;
    if (!listings) listings = &own.emplace();
    std::string found;
    if (!Walk(*listings, root.empty() ? std::string(1, kSeparator) : root, parts, 0, found)) return std::nullopt;
    return found;
}

std::optional<std::string> FindTextureFile(const std::vector<std::string>& roots, const std::string& name,
                                           TFolderListings* listings) {
    if (name.empty() || OutsideTextureRoot(name)) return std::nullopt;
    std::optional<TFolderListings> own;
    if (!listings) listings = &own.emplace();
    for (const std::string& root : roots)
        if (std::optional<std::string> file = ResolveTexturePath(root, name, listings)) return file;
    return std::nullopt;
}

std::vector<std::string> TextureRoots(const std::string& dataDir, const std::string& modelFile) {
    if (!dataDir.empty() || modelFile.empty()) return {dataDir};
    std::vector<std::string> roots;
    std::error_code ec;
    fs::path folder = fs::absolute(modelFile, ec).lexically_normal().parent_path();
    for (;;) {
        // a root without its separator: "" + "/" + name, "D:" + "\\" + name
        std::string root = folder.string();
        while (!root.empty() && (root.back() == '/' || root.back() == kSeparator)) root.pop_back();
        roots.push_back(root);
        const fs::path up = folder.parent_path();
        if (folder == folder.root_path() || up == folder || up.empty()) break;
        folder = up;
    }
    return roots;
}

}  // namespace vistrel
