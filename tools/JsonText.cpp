#include "JsonText.h"

#include <charconv>
#include <cmath>

namespace p3dtool {

namespace {

void AppendUnicodeEscape(std::string& out, unsigned char c) {
    static constexpr char kHex[] = "0123456789abcdef";
    out += "\\u00";
    out += kHex[c >> 4];
    out += kHex[c & 0x0F];
}

}  // namespace

void AppendJsonText(std::string& out, std::string_view latin1) {
    out += '"';
    for (const char ch : latin1) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20 || (c >= 0x7F && c < 0xA0)) {
                AppendUnicodeEscape(out, c);
            } else if (c < 0x80) {
                out += static_cast<char>(c);
            } else {
                out += static_cast<char>(0xC0 | (c >> 6));
                out += static_cast<char>(0x80 | (c & 0x3F));
            }
        }
    }
    out += '"';
}

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
