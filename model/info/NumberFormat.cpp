// Number-format masks: the mask is read once into its literal text and its
// placeholders, the value is turned into its exact decimal digits, rounded
// half away from zero at the place the mask asks for, and laid out.
//
// The number is written where the first placeholder stands: literal text
// before it goes in front, all literal text after it (also text standing
// between placeholders) follows the number, in mask order. Once an exponent
// has been read, or a point has been seen, later exponent letters or points
// are plain text.
#include "NumberFormat.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace vistrel {

namespace {

struct TMask {
    std::string Prefix, Suffix;
    bool HasNumber = false;
    int IntZeros = 0;   // least integer digits
    int IntPlaces = 0;  // '0' and '#' before the point
    int FracMin = 0;    // decimals always shown
    int FracMax = 0;    // decimals at most
    bool SeenPoint = false;
    bool Scientific = false;
    char ExpLetter = 'e';
    bool ExpPlus = false;  // "e+": the sign is always written
    int ExpDigits = 0;     // least exponent digits
};

bool IsExponentAt(const std::string& s, std::size_t i) {
    return (s[i] == 'e' || s[i] == 'E') && i + 1 < s.size() && (s[i + 1] == '+' || s[i + 1] == '-');
}

void AddPlace(TMask& m, char c) {
    m.HasNumber = true;
    if (m.SeenPoint) {
        ++m.FracMax;
        if (c == '0') m.FracMin = m.FracMax;
    } else {
        ++m.IntPlaces;
        if (c == '0') ++m.IntZeros;
    }
}

// Reads "e-00" / "E+0..." at i; returns the index of its last character.
std::size_t ReadExponent(TMask& m, const std::string& s, std::size_t i) {
    m.HasNumber = m.Scientific = true;
    m.ExpLetter = s[i];
    m.ExpPlus = s[i + 1] == '+';
    i += 2;
    while (i < s.size() && s[i] == '0') {
        ++m.ExpDigits;
        ++i;
    }
    return i - 1;
}

TMask ParseMask(const std::string& s) {
    TMask m;
    for (std::size_t i = 0; i < s.size(); ++i) {
        std::string& text = m.HasNumber ? m.Suffix : m.Prefix;
        const char c = s[i];
        if (c == '\'') {
            const std::size_t close = s.find('\'', i + 1);
            const std::size_t end = close == std::string::npos ? s.size() : close;
            text.append(s, i + 1, end - i - 1);
            i = end;
        } else if (m.Scientific) {
            text += c;
        } else if (c == '0' || c == '#') {
            AddPlace(m, c);
        } else if (c == '.' && !m.SeenPoint) {
            m.HasNumber = m.SeenPoint = true;
        } else if (IsExponentAt(s, i)) {
            i = ReadExponent(m, s, i);
        } else {
            text += c;
        }
    }
    return m;
}

// The exact value of |v| as significant digits d0 d1 d2 ... and the power of
// ten of d0. A double needs at most 767 significant digits to be exact.
struct TDigits {
    std::string Digits;
    int Exp10 = 0;
};

TDigits ExactDigits(double v) {
    char buf[800];
    const auto r = std::to_chars(buf, buf + sizeof buf, std::fabs(v), std::chars_format::scientific, 767);
    const std::string text(buf, r.ptr);
    const std::size_t e = text.find('e');
    TDigits d;
    d.Digits = text.substr(0, 1) + text.substr(2, e - 2);
    d.Exp10 = std::atoi(text.c_str() + e + 1);
    if (d.Digits[0] == '0') d.Exp10 = 0;  // the value zero
    return d;
}

// Adds one to a string of decimal digits; may make it one digit longer.
void Increment(std::string& n) {
    for (std::size_t i = n.size(); i-- > 0;) {
        if (n[i] != '9') {
            ++n[i];
            return;
        }
        n[i] = '0';
    }
    n.insert(n.begin(), '1');
}

// The first `keep` digits of d, padded with zeros, rounded half away from
// zero by the digit that follows them.
std::string Round(const TDigits& d, int keep) {
    if (keep < 0) return "";
    const std::size_t k = static_cast<std::size_t>(keep);
    std::string n = d.Digits.substr(0, k);
    n.resize(k, '0');
    if (k < d.Digits.size() && d.Digits[k] >= '5') Increment(n);
    return n;
}

bool AllZero(const std::string& s) { return s.find_first_not_of('0') == std::string::npos; }

std::string TrimFraction(std::string frac, int fracMin) {
    while (static_cast<int>(frac.size()) > fracMin && frac.back() == '0') frac.pop_back();
    return frac;
}

std::string StripInteger(const std::string& digits, int intZeros) {
    const std::size_t first = digits.find_first_not_of('0');
    std::string n = first == std::string::npos ? std::string() : digits.substr(first);
    if (static_cast<int>(n.size()) < intZeros) n.insert(0, static_cast<std::size_t>(intZeros) - n.size(), '0');
    return n;
}

std::string Join(const std::string& intPart, const std::string& frac) {
    return frac.empty() ? intPart : intPart + "." + frac;
}

std::string FixedBody(const TMask& m, const TDigits& d, bool& isZero) {
    std::string n = Round(d, d.Exp10 + 1 + m.FracMax);
    const std::size_t fracLen = static_cast<std::size_t>(m.FracMax);
    if (n.size() < fracLen + 1) n.insert(0, fracLen + 1 - n.size(), '0');
    isZero = AllZero(n);
    const std::string intPart = StripInteger(n.substr(0, n.size() - fracLen), m.IntZeros);
    return Join(intPart, TrimFraction(n.substr(n.size() - fracLen), m.FracMin));
}

std::string ExponentText(const TMask& m, int exp) {
    std::string s(1, m.ExpLetter);
    if (exp < 0)
        s += '-';
    else if (m.ExpPlus)
        s += '+';
    char buf[16];
    const auto r = std::to_chars(buf, buf + sizeof buf, std::abs(exp));
    std::string digits(buf, r.ptr);
    if (static_cast<int>(digits.size()) < m.ExpDigits)
        digits.insert(0, static_cast<std::size_t>(m.ExpDigits) - digits.size(), '0');
    return s + digits;
}

std::string ScientificBody(const TMask& m, const TDigits& d, bool& isZero) {
    const int intLen = m.IntPlaces > 0 ? m.IntPlaces : 1;
    const int total = intLen + m.FracMax;
    std::string n = Round(d, total);
    int exp = d.Exp10;
    if (static_cast<int>(n.size()) > total) {  // 9.99.. rounded up to 10.0..
        n.pop_back();
        ++exp;
    }
    isZero = AllZero(n);
    if (isZero) exp = intLen - 1;
    const std::size_t split = static_cast<std::size_t>(intLen);
    return Join(n.substr(0, split), TrimFraction(n.substr(split), m.FracMin)) + ExponentText(m, exp - (intLen - 1));
}

}  // namespace

std::string FormatFloat(const std::string& mask, double value) {
    if (std::isnan(value)) return "NAN";
    if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
    const TMask m = ParseMask(mask);
    if (!m.HasNumber) return m.Prefix;
    const TDigits d = ExactDigits(value);
    bool isZero = false;
    const std::string body = m.Scientific ? ScientificBody(m, d, isZero) : FixedBody(m, d, isZero);
    const bool minus = std::signbit(value) && !isZero;
    return m.Prefix + (minus ? "-" : "") + body + m.Suffix;
}

}  // namespace vistrel
