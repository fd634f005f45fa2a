// A small strict JSON parser for checking the tool's output: the whole text
// must be one value (surrounding white space allowed), strings must be valid
// UTF-8 without raw control characters, escapes are decoded to UTF-8.
#pragma once

#include <charconv>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace minijson {

struct JValue {
    enum class Kind { Null, Bool, Number, String, Array, Object };
    Kind kind = Kind::Null;
    bool boolean = false;
    double number = 0;
    std::string numberText;  // the number as written
    std::string text;        // a string's value, UTF-8
    std::vector<JValue> items;
    std::vector<std::pair<std::string, JValue>> members;  // in written order

    // Defined below the class, where the pairs of members are complete types
    // (some compilers check that when the class itself is still incomplete).
    JValue();
    JValue(const JValue&);
    JValue(JValue&&) noexcept;
    JValue& operator=(const JValue&);
    JValue& operator=(JValue&&) noexcept;
    ~JValue();

    bool IsNull() const { return kind == Kind::Null; }
    bool IsNumber() const { return kind == Kind::Number; }
    bool IsString() const { return kind == Kind::String; }
    bool IsArray() const { return kind == Kind::Array; }
    bool IsObject() const { return kind == Kind::Object; }

    bool Has(std::string_view key) const {
        for (const auto& m : members)
            if (m.first == key) return true;
        return false;
    }
    const JValue& operator[](std::string_view key) const {
        if (kind != Kind::Object) throw std::logic_error("not an object");
        for (const auto& m : members)
            if (m.first == key) return m.second;
        throw std::out_of_range("no member " + std::string(key));
    }
    const JValue& operator[](std::size_t index) const {
        if (kind != Kind::Array) throw std::logic_error("not an array");
        return items.at(index);
    }
    std::size_t Size() const { return kind == Kind::Array ? items.size() : members.size(); }
    std::vector<std::string> Keys() const {
        std::vector<std::string> keys;
        for (const auto& m : members) keys.push_back(m.first);
        return keys;
    }
};

inline JValue::JValue() = default;
inline JValue::JValue(const JValue&) = default;
inline JValue::JValue(JValue&&) noexcept = default;
inline JValue& JValue::operator=(const JValue&) = default;
inline JValue& JValue::operator=(JValue&&) noexcept = default;
inline JValue::~JValue() = default;

class Parser {
public:
    explicit Parser(std::string_view text) : s_(text) {}

    JValue ParseDocument() {
        JValue v = ParseValue();
        SkipSpace();
        if (i_ != s_.size()) Fail("trailing characters");
        return v;
    }

private:
    [[noreturn]] void Fail(const std::string& what) const {
        throw std::runtime_error("JSON: " + what + " at " + std::to_string(i_));
    }
    void SkipSpace() {
        while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\t' || s_[i_] == '\n' || s_[i_] == '\r')) ++i_;
    }
    bool Eat(char c) {
        SkipSpace();
        if (i_ < s_.size() && s_[i_] == c) {
            ++i_;
            return true;
        }
        return false;
    }
    void Expect(char c) {
        if (!Eat(c)) Fail(std::string("expected '") + c + "'");
    }
    bool Literal(std::string_view word) {
        if (s_.substr(i_, word.size()) == word) {
            i_ += word.size();
            return true;
        }
        return false;
    }

    JValue ParseValue() {
        if (++depth_ > 64) Fail("too deep");
        SkipSpace();
        if (i_ >= s_.size()) Fail("unexpected end");
        JValue v;
        const char c = s_[i_];
        if (c == '{') {
            ++i_;
            v.kind = JValue::Kind::Object;
            if (!Eat('}')) {
                do {
                    SkipSpace();
                    if (i_ >= s_.size() || s_[i_] != '"') Fail("expected a key");
                    std::string key = ParseString();
                    Expect(':');
                    v.members.emplace_back(std::move(key), ParseValue());
                } while (Eat(','));
                Expect('}');
            }
        } else if (c == '[') {
            ++i_;
            v.kind = JValue::Kind::Array;
            if (!Eat(']')) {
                do v.items.push_back(ParseValue());
                while (Eat(','));
                Expect(']');
            }
        } else if (c == '"') {
            v.kind = JValue::Kind::String;
            v.text = ParseString();
        } else if (Literal("null")) {
            v.kind = JValue::Kind::Null;
        } else if (Literal("true")) {
            v.kind = JValue::Kind::Bool;
            v.boolean = true;
        } else if (Literal("false")) {
            v.kind = JValue::Kind::Bool;
        } else {
            v.kind = JValue::Kind::Number;
            ParseNumber(v);
        }
        --depth_;
        return v;
    }

    void Digits() {
        const std::size_t start = i_;
        while (i_ < s_.size() && s_[i_] >= '0' && s_[i_] <= '9') ++i_;
        if (i_ == start) Fail("expected a digit");
    }

    void ParseNumber(JValue& v) {
        const std::size_t start = i_;
        if (i_ < s_.size() && s_[i_] == '-') ++i_;
        if (i_ < s_.size() && s_[i_] == '0') {
            ++i_;
        } else {
            Digits();
        }
        if (i_ < s_.size() && s_[i_] == '.') {
            ++i_;
            Digits();
        }
        if (i_ < s_.size() && (s_[i_] == 'e' || s_[i_] == 'E')) {
            ++i_;
            if (i_ < s_.size() && (s_[i_] == '+' || s_[i_] == '-')) ++i_;
            Digits();
        }
        v.numberText = std::string(s_.substr(start, i_ - start));
        const auto r = std::from_chars(v.numberText.data(), v.numberText.data() + v.numberText.size(), v.number);
        if (r.ec != std::errc()) Fail("bad number");
    }

    static void PutUtf8(std::string& out, uint32_t cp) {
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }

    uint32_t Hex4() {
        if (i_ + 4 > s_.size()) Fail("short \\u escape");
        uint32_t v = 0;
        for (int k = 0; k < 4; ++k) {
            const char c = s_[i_++];
            v <<= 4;
            if (c >= '0' && c <= '9')
                v |= static_cast<uint32_t>(c - '0');
            else if (c >= 'a' && c <= 'f')
                v |= static_cast<uint32_t>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F')
                v |= static_cast<uint32_t>(c - 'A' + 10);
            else
                Fail("bad hex digit");
        }
        return v;
    }

    // One UTF-8 sequence starting at i_, copied to out; strict (no overlong
    // forms, no surrogates, nothing above U+10FFFF).
    void CopyUtf8(std::string& out) {
        const auto b0 = static_cast<unsigned char>(s_[i_]);
        int extra;
        uint32_t cp, min;
        if (b0 < 0x80) {
            extra = 0;
            cp = b0;
            min = 0;
        } else if ((b0 & 0xE0) == 0xC0) {
            extra = 1;
            cp = b0 & 0x1F;
            min = 0x80;
        } else if ((b0 & 0xF0) == 0xE0) {
            extra = 2;
            cp = b0 & 0x0F;
            min = 0x800;
        } else if ((b0 & 0xF8) == 0xF0) {
            extra = 3;
            cp = b0 & 0x07;
            min = 0x10000;
        } else
            Fail("invalid UTF-8 lead byte");
        if (i_ + 1 + static_cast<std::size_t>(extra) > s_.size()) Fail("truncated UTF-8");
        for (int k = 1; k <= extra; ++k) {
            const auto b = static_cast<unsigned char>(s_[i_ + static_cast<std::size_t>(k)]);
            if ((b & 0xC0) != 0x80) Fail("invalid UTF-8 continuation");
            cp = (cp << 6) | (b & 0x3F);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) Fail("invalid UTF-8 sequence");
        out.append(s_.substr(i_, 1 + static_cast<std::size_t>(extra)));
        i_ += 1 + static_cast<std::size_t>(extra);
    }

    std::string ParseString() {
        ++i_;  // the opening quote
        std::string out;
        for (;;) {
            if (i_ >= s_.size()) Fail("unterminated string");
            const auto c = static_cast<unsigned char>(s_[i_]);
            if (c == '"') {
                ++i_;
                return out;
            }
            if (c < 0x20) Fail("raw control character in a string");
            if (c != '\\') {
                CopyUtf8(out);
                continue;
            }
            ++i_;
            if (i_ >= s_.size()) Fail("unterminated escape");
            const char e = s_[i_++];
            switch (e) {
            case '"': out += '"'; break;
            case '\\': out += '\\'; break;
            case '/': out += '/'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'u': {
                uint32_t cp = Hex4();
                if (cp >= 0xD800 && cp <= 0xDBFF) {
                    if (!Literal("\\u")) Fail("lone high surrogate");
                    const uint32_t lo = Hex4();
                    if (lo < 0xDC00 || lo > 0xDFFF) Fail("bad low surrogate");
                    cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
                } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
                    Fail("lone low surrogate");
                }
                PutUtf8(out, cp);
                break;
            }
            default: Fail("bad escape");
            }
        }
    }

    std::string_view s_;
    std::size_t i_ = 0;
    int depth_ = 0;
};

inline JValue Parse(std::string_view text) { return Parser(text).ParseDocument(); }

}  // namespace minijson
