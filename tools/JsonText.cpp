#include "JsonText.h"

#include <charconv>
#include <cmath>

#include "EightBitText.h"

namespace p3dtool {

namespace {

void AppendUnicodeEscape(std::string& out, unsigned char c) {
    static constexpr char kHex[] = "0123456789abcdef";
    out += "\\u00";
    out += kHex[c >> 4];
    out += kHex[c & 0x0F];
}

// A quoted JSON string of valid UTF-8: quote, backslash and the control
// characters (C0, DEL and C1) escaped, everything else as it is.
void AppendUtf8(std::string& out, std::string_view utf8) {
    out += '"';
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20 || c == 0x7F) {
                AppendUnicodeEscape(out, c);
            } else if (c == 0xC2 && i + 1 < utf8.size() && static_cast<unsigned char>(utf8[i + 1]) < 0xA0) {
                AppendUnicodeEscape(out, static_cast<unsigned char>(utf8[++i]));  // U+0080..U+009F
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    out += '"';
}

}  // namespace

void AppendJsonText(std::string& out, std::string_view latin1) { AppendUtf8(out, vistrel::Latin1ToUtf8(latin1)); }

void AppendJsonPath(std::string& out, std::string_view path) { AppendUtf8(out, vistrel::PathToUtf8(path)); }

void AppendJsonFloat(std::string& out, float value) {
    if (!std::isfinite(value)) {
        out += "null";
        return;
    }
    char buf[48];
    const auto r = std::to_chars(buf, buf + sizeof buf, value);
    out.append(buf, r.ptr);
}

void AppendJsonVec(std::string& out, const vistrel::TVec3& v) {
    out += '[';
    AppendJsonFloat(out, v.X);
    out += ',';
    AppendJsonFloat(out, v.Y);
    out += ',';
    AppendJsonFloat(out, v.Z);
    out += ']';
}

void AppendJsonInt(std::string& out, long long value) {
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, value);
    out.append(buf, r.ptr);
}

std::string ShortFloat(float value) {
    char buf[48];
    const auto r = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, r.ptr);
}

}  // namespace p3dtool
