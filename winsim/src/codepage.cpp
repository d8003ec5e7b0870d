// Code page 1252 to and from UTF-16, and the upper-casing and name order built on it.
#include "codepage.h"

#include <winsim/base_types.h>

#include <string.h>

namespace winsim {

namespace {

// 0x80..0x9F; every other byte is the Unicode character of the same value.
const char16_t cp1252_specials[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// Windows' best-fit table of code page 1252 (Microsoft's bestfit1252.txt) for the characters the
// code page lacks: runs of consecutive characters from the first one, "." where a character has
// none. The fullwidth forms U+FF01..U+FF5E follow apart from it.
const struct best_fit_run {
    char16_t first;
    const char* bytes;
} best_fit_runs[] = {
    {0x0100, "AaAaAaCcCcCcCcDd\xD0" "dEeEeEeEeEeGgGgGgGgHhHhIiIiIiIiIi..JjKk.LlLlLl..LlNnNnNn..."
             "OoOoOo..RrRrRrSsSsSs..TtTtTtUuUuUuUuUuUuWwYy.ZzZz...b"},
    {0x0189, "\xD0"}, {0x0191, "\x83"}, {0x0197, "I..l"}, {0x019F, "OOo"}, {0x01AB, "t..TUu"},
    {0x01B6, "z"}, {0x01C0, "|..!"}, {0x01CD, "AaIiOoUuUuUuUuUu.Aa"}, {0x01E4, "GgGgKkOoOo..j"},
    {0x0261, "g"}, {0x02B9, "'\x22.'"}, {0x02C4, "^...'\xAF\xB4`._"}, {0x02DA, "\xB0"},
    {0x0300, "`\xB4^~\xAF\xAF..\xA8.\xB0...\x22"}, {0x0327, "\xB8"}, {0x0331, "__"}, {0x037E, ";"},
    {0x0393, "G"}, {0x0398, "T"}, {0x03A3, "S..F..O"}, {0x03B1, "a\xDF.de"},
    {0x03BC, "\xB5...p..st.f"}, {0x04BB, "h"}, {0x0589, ":"}, {0x066A, "%"}, {0x2000, "       "},
    {0x2010, "--"}, {0x2017, "="}, {0x2024, "\xB7"}, {0x2032, "'..`"}, {0x2044, "/"},
    {0x2070, "\xB0...45678"}, {0x207F, "n0123456789"}, {0x20A1, "\xA2..\xA3..P"}, {0x2102, "C"},
    {0x2107, "E..gHHHh.IILl.N..PPQRRR"}, {0x2124, "Z...Z.K\xC5" "BCeeEF.Mo"}, {0x2205, "\xD8"},
    {0x2212, "-\xB1./\x5C*\xB0\xB7v...8"}, {0x2223, "|"}, {0x2229, "n"}, {0x2236, ":"},
    {0x223C, "~"}, {0x2248, "\x98"}, {0x2261, "=..=="}, {0x226A, "\xAB\xBB"}, {0x22C5, "\xB7"},
    {0x2302, "\xA6^"}, {0x2310, "\xAC"}, {0x2320, "()"}, {0x2329, "<>"}, {0x2500, "-.\xA6"},
    {0x250C, "+...+...+...+...+"}, {0x2524, "\xA6"}, {0x252C, "-"}, {0x2534, "-"}, {0x253C, "+"},
    {0x2550, "-\xA6++++++++++++\xA6\xA6\xA6\xA6\xA6\xA6------+++"},
    {0x2580, "\xAF..._...\xA6...\xA6...\xA6\xA6\xA6\xA6"}, {0x25A0, "\xA6"}, {0x263C, "\xA4"},
    {0x2758, "|"}, {0x3000, " "}, {0x3008, "<>\xAB\xBB"}, {0x301A, "[]"}, {0x30FB, "\xB7"},
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

bool cp1252_best_fit(char16_t ch, unsigned char* byte) {
    // The fullwidth forms of ASCII, except the question mark.
    if (ch >= 0xFF01 && ch <= 0xFF5E) {
        *byte = static_cast<unsigned char>(ch - 0xFEE0);
        return ch != 0xFF1F;
    }
    for (const best_fit_run& run : best_fit_runs) {
        size_t count = strlen(run.bytes);
        if (ch < run.first || ch >= run.first + count) continue;
        char found = run.bytes[ch - run.first];
        if (found == '.') return false;
        *byte = static_cast<unsigned char>(found);
        return true;
    }
    return false;
}

namespace {

// The scripts besides Latin-1 and Latin Extended-A whose letters have case in Windows' table.
const struct { char16_t first, last; } cased_scripts[] = {
    {0x0180, 0x02AF}, {0x0370, 0x052F}, {0x0531, 0x058F}, {0x10A0, 0x10FF}, {0x13A0, 0x13FF},
    {0x1D79, 0x1D8E}, {0x1E00, 0x1FFF}, {0x2132, 0x2184}, {0x24B6, 0x24E9}, {0x2C00, 0x2D2F},
    {0xA640, 0xA69F}, {0xA722, 0xA7FF}, {0xAB53, 0xABBF}, {0xFF21, 0xFF5A},
};

}  // namespace

char16_t name_upcase(char16_t ch) {
    unsigned char byte = 0;
    if (utf16_to_cp1252(ch, &byte)) return cp1252_to_utf16(cp1252_upcase(byte));
    if (ch >= 0x0100 && ch <= 0x017F) {
        // Pairs of capital and small letter; from U+0139 to U+0148 and U+0179 to U+017E the
        // capital comes first at an odd code point.
        const bool odd_capitals = (ch >= 0x0139 && ch <= 0x0148) || (ch >= 0x0179 && ch <= 0x017E);
        if (ch == 0x0131 || ch == 0x0138 || ch == 0x0149 || ch == 0x017F) return ch;
        if (odd_capitals) return (ch & 1) ? ch : static_cast<char16_t>(ch - 1);
        return (ch & 1) ? static_cast<char16_t>(ch - 1) : ch;
    }
    for (const auto& script : cased_scripts) {
        if (ch >= script.first && ch <= script.last)
            winsim_not_implemented("the upper case of a letter outside Latin-1 and Latin Extended-A");
    }
    return ch;
}

}  // namespace winsim
