// Names outside code page 1252: their internal form in the simulated file system, UTF-16 and UTF-8 to and from it, the 8-bit spelling and the name order.
#include "wide_names.h"

#include <winsim/base_types.h>

#include "codepage.h"

#include <stdio.h>

namespace winsim {

namespace {

const char escape = '\x01';

int hex_value(char digit) {
    if (digit >= '0' && digit <= '9') return digit - '0';
    if (digit >= 'A' && digit <= 'F') return digit - 'A' + 10;
    return -1;
}

void append_unit(char16_t unit, std::string* out) {
    unsigned char byte = 0;
    if (unit >= 0x20 && utf16_to_cp1252(unit, &byte)) {
        *out += static_cast<char>(byte);
        return;
    }
    char text[6];
    snprintf(text, sizeof text, "%c%04X", escape, static_cast<unsigned>(unit));
    *out += text;
}

}  // namespace

std::string internal_from_utf16(const char16_t* text) {
    std::string out;
    for (const char16_t* unit = text; *unit; ++unit) append_unit(*unit, &out);
    return out;
}

std::u16string utf16_from_internal(const std::string& text) {
    std::u16string out;
    for (size_t position = 0; position < text.size();) out += next_unit(text, &position);
    return out;
}

std::string internal_from_ansi(const std::string& text) {
    std::string out;
    for (char byte : text) append_unit(cp1252_to_utf16(static_cast<unsigned char>(byte)), &out);
    return out;
}

std::string internal_from_utf8(const char* text) {
    std::u16string units;
    const unsigned char* at = reinterpret_cast<const unsigned char*>(text);
    while (*at) {
        unsigned long code = *at++;
        int following = code < 0x80 ? 0 : code >= 0xF0 ? 3 : code >= 0xE0 ? 2 : code >= 0xC0 ? 1 : -1;
        if (following < 0 || code >= 0xF8) winsim_not_implemented("a name that is not valid UTF-8");
        code &= following ? 0x3F >> following : 0x7F;
        for (int i = 0; i < following; ++i, ++at) {
            if ((*at & 0xC0) != 0x80) winsim_not_implemented("a name that is not valid UTF-8");
            code = code << 6 | (*at & 0x3F);
        }
        if (code >= 0x10000) {
            units += static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
            units += static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            units += static_cast<char16_t>(code);
        }
    }
    return internal_from_utf16(units.c_str());
}

char16_t next_unit(const std::string& text, size_t* position) {
    unsigned char byte = static_cast<unsigned char>(text[*position]);
    if (byte != escape) {
        ++*position;
        return cp1252_to_utf16(byte);
    }
    unsigned value = 0;
    for (size_t i = 1; i <= 4; ++i) {
        int digit = *position + i < text.size() ? hex_value(text[*position + i]) : -1;
        if (digit < 0) winsim_not_implemented("a name in winsim's internal form with a broken escape");
        value = value << 4 | static_cast<unsigned>(digit);
    }
    *position += 5;
    return static_cast<char16_t>(value);
}

size_t internal_length(const std::string& text) {
    size_t length = 0;
    for (size_t position = 0; position < text.size(); ++length) next_unit(text, &position);
    return length;
}

char ansi_char(char16_t ch, bool best_fit, bool* used_default) {
    unsigned char byte = 0;
    if (utf16_to_cp1252(ch, &byte)) return static_cast<char>(byte);
    if (best_fit && cp1252_best_fit(ch, &byte)) return static_cast<char>(byte);
    if (used_default) *used_default = true;
    return '?';
}

std::string ansi_from_internal(const std::string& text, bool best_fit, bool* used_default) {
    std::string out;
    for (size_t position = 0; position < text.size();)
        out += ansi_char(next_unit(text, &position), best_fit, used_default);
    return out;
}

std::string internal_upcase(const std::string& text) {
    std::string out;
    for (size_t position = 0; position < text.size();) append_unit(name_upcase(next_unit(text, &position)), &out);
    return out;
}

int internal_compare_nocase(const std::string& a, const std::string& b) {
    size_t at_a = 0, at_b = 0;
    while (at_a < a.size() && at_b < b.size()) {
        char16_t ca = name_upcase(next_unit(a, &at_a));
        char16_t cb = name_upcase(next_unit(b, &at_b));
        if (ca != cb) return ca < cb ? -1 : 1;
    }
    if (at_a == a.size() && at_b == b.size()) return 0;
    return at_a == a.size() ? -1 : 1;
}

bool internal_equal_nocase(const std::string& a, const std::string& b) {
    return internal_compare_nocase(a, b) == 0;
}

}  // namespace winsim
