// Texts of the model files are 8-bit: where a program needs Unicode (JSON,
// glTF, file names of the platform), each byte stands for the character of
// the same code (Latin-1). Names from the file system (files, folders, whole
// paths) are bytes too, but UTF-8 on this platform: a name stays as it is
// where it is valid UTF-8, and only a name that is not is read as Latin-1.
#pragma once

#include <string>
#include <string_view>

namespace vistrel {

inline std::string Latin1ToUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size() * 2);
    for (const unsigned char c : text) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// The code points of valid UTF-8 (no overlong forms, no surrogates, nothing
// past U+10FFFF); false for anything else.
bool DecodeUtf8(std::string_view text, std::u32string& out);

// The text as UTF-8: as it is where it is valid UTF-8, else each byte read
// as Latin-1. The one rule for names of the file system wherever they are
// written out (JSON, glTF) or looked up.
std::string Utf8OrLatin1(std::string_view text);

// A path (or a message that names one) as UTF-8: each part between two "/"
// by Utf8OrLatin1, so that one name that is not UTF-8 leaves the others of
// the path as they are.
std::string PathToUtf8(std::string_view path);

}  // namespace vistrel
