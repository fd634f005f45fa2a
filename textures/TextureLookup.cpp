#include "TextureLookup.h"

#include "EightBitText.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

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

std::string Join(const std::string& base, const std::string& part) {
    if (!base.empty() && (base.back() == '/' || base.back() == kSeparator)) return base + part;
    return base + kSeparator + part;
}

bool HasKind(const std::string& path, bool wantFile) {
    std::error_code ec;
    return wantFile ? fs::is_regular_file(path, ec) : fs::is_directory(path, ec);
}

// Depth first over the spellings of parts[k..] below base: the exact one
// first, then the other entries of base that match ignoring case, in name
// order. Two spellings of one folder ("Data" and "DATA") are both tried, so a
// file in either is found.
bool Walk(const std::string& base, const std::vector<std::string>& parts, std::size_t k, std::string& found) {
    const bool last = k + 1 == parts.size();
    const std::string& part = parts[k];
    const auto tryPath = [&](const std::string& path) {
        if (!HasKind(path, last)) return false;
        if (last) {
            found = path;
            return true;
        }
        return Walk(path, parts, k + 1, found);
    };
    if (tryPath(Join(base, part))) return true;
    if (part == "." || part == "..") return false;

    std::vector<std::string> entries;
    std::error_code ec;
    for (fs::directory_iterator it(base, ec), end; !ec && it != end; it.increment(ec)) {
        std::string entry = it->path().filename().string();
        if (entry != part && SameIgnoringCase(entry, part)) entries.push_back(std::move(entry));
    }
    std::sort(entries.begin(), entries.end());
    for (const std::string& entry : entries)
        if (tryPath(Join(base, entry))) return true;
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

std::optional<std::string> ResolveTexturePath(const std::string& root, const std::string& name) {
    const std::string display = TextureDisplayPath(root, name);
    if (HasKind(display, true)) return display;

    std::vector<std::string> parts;
    std::string part;
    for (const char c : NameText(name)) {
        if (c == '\\' || c == '/') {
            if (!part.empty()) parts.push_back(std::move(part));
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty()) parts.push_back(std::move(part));
    if (parts.empty()) return std::nullopt;
    std::string found;
    if (!Walk(root.empty() ? std::string(1, kSeparator) : root, parts, 0, found)) return std::nullopt;
    return found;
}

std::optional<std::string> FindTextureFile(const std::vector<std::string>& roots, const std::string& name) {
    if (name.empty()) return std::nullopt;
    for (const std::string& root : roots)
        if (std::optional<std::string> file = ResolveTexturePath(root, name)) return file;
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
