// Texts of the model files are 8-bit: where a program needs Unicode (JSON,
// glTF, file names of the platform), each byte stands for the character of
// the same code (Latin-1).
#pragma once

#include <string>

namespace vistrel {

inline std::string Latin1ToUtf8(const std::string& text) {
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

}  // namespace vistrel
