// Code page 1252 to and from UTF-16, and the upper-casing and name order built on it.
#include "codepage.h"

namespace winsim {

namespace {

// 0x80..0x9F; every other byte is the Unicode character of the same value.
const char16_t cp1252_specials[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

}  // namespace

char16_t cp1252_to_utf16(unsigned char byte) {
    if (byte >= 0x80 && byte <= 0x9F) return cp1252_specials[byte - 0x80];
    return byte;
}

bool cp1252_is_defined(unsigned char byte) {
    return byte != 0x81 && byte != 0x8D && byte != 0x8F && byte != 0x90 && byte != 0x9D;
}

bool utf16_to_cp1252(char16_t ch, unsigned char* byte) {
    if (ch < 0x80 || (ch >= 0xA0 && ch <= 0xFF)) {
        *byte = static_cast<unsigned char>(ch);
        return true;
    }
    for (int i = 0; i < 32; ++i) {
        if (cp1252_specials[i] == ch) {
            *byte = static_cast<unsigned char>(0x80 + i);
            return true;
        }
    }
    return false;
}

unsigned char cp1252_upcase(unsigned char byte) {
    if (byte >= 'a' && byte <= 'z') return static_cast<unsigned char>(byte - 0x20);
    if (byte >= 0xE0 && byte <= 0xFE && byte != 0xF7) return static_cast<unsigned char>(byte - 0x20);
    switch (byte) {
        case 0x9A: return 0x8A;  // š
        case 0x9C: return 0x8C;  // œ
        case 0x9E: return 0x8E;  // ž
        case 0xFF: return 0x9F;  // ÿ
        default: return byte;
    }
}

std::string cp1252_upcase(const std::string& text) {
    std::string upper(text);
    for (char& c : upper) c = static_cast<char>(cp1252_upcase(static_cast<unsigned char>(c)));
    return upper;
}

int cp1252_compare_nocase(const std::string& a, const std::string& b) {
    size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        char16_t ca = cp1252_to_utf16(cp1252_upcase(static_cast<unsigned char>(a[i])));
        char16_t cb = cp1252_to_utf16(cp1252_upcase(static_cast<unsigned char>(b[i])));
        if (ca != cb) return ca < cb ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

bool cp1252_equal_nocase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && cp1252_compare_nocase(a, b) == 0;
}

}  // namespace winsim
