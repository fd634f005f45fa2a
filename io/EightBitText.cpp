#include "EightBitText.h"

#include <algorithm>
#include <iterator>

#include <utf8.h>

namespace vistrel {

bool DecodeUtf8(std::string_view text, std::u32string& out) {
    out.clear();
    if (!utf8::is_valid(text.begin(), text.end())) return false;
    utf8::unchecked::utf8to32(text.begin(), text.end(), std::back_inserter(out));
    return true;
}

std::string Utf8OrLatin1(std::string_view text) {
    return utf8::is_valid(text.begin(), text.end()) ? std::string(text) : Latin1ToUtf8(text);
}

std::string PathToUtf8(std::string_view path) {
    std::string out;
    out.reserve(path.size());
    for (std::size_t start = 0; start <= path.size();) {
        const std::size_t end = std::min(path.find('/', start), path.size());
        out += Utf8OrLatin1(path.substr(start, end - start));
        if (end < path.size()) out += '/';
        start = end + 1;
    }
    return out;
}

}  // namespace vistrel
