// The simulated wvsprintfA/wsprintfA: Windows' conversions, 'l' as 32 bits, output cut at 1024 bytes.
#include <windows.h>

#include "codepage.h"

#include <string.h>

#include <string>

namespace {

// wvsprintfA writes at most this many bytes, the terminating zero included.
const size_t output_limit = 1024;

struct conversion {
    bool left = false;
    bool prefix = false;
    bool zero = false;
    int width = 0;
    int precision = -1;
    char size = 0;  // 'h', 'l' or 0
    char type = 0;
};

int saturated_digit(int value, char digit) {
    int next = value * 10 + (digit - '0');
    return next > (int)output_limit ? (int)output_limit : next;
}

std::string wide_to_cp1252(const WCHAR* text, int precision) {
    std::string out;
    for (; *text && (precision < 0 || (int)out.size() < precision); text++) {
        unsigned char byte = 0;
        out += winsim::utf16_to_cp1252(*text, &byte) ? (char)byte : '?';
    }
    return out;
}

std::string number_text(const conversion& c, va_list& arguments) {
    std::string digits;
    bool negative = false;
    if (c.type == 'd' || c.type == 'i') {
        int32_t value = c.size == 'h' ? (int16_t)va_arg(arguments, int) : va_arg(arguments, int32_t);
        uint32_t magnitude = value < 0 ? 0u - (uint32_t)value : (uint32_t)value;
        negative = value < 0;
        do {
            digits.insert(digits.begin(), (char)('0' + magnitude % 10));
            magnitude /= 10;
        } while (magnitude);
    } else {
        uint32_t value = c.size == 'h' ? (uint16_t)va_arg(arguments, unsigned)
                                       : va_arg(arguments, uint32_t);
        unsigned base = c.type == 'u' ? 10 : 16;
        const char* alphabet = c.type == 'X' ? "0123456789ABCDEF" : "0123456789abcdef";
        do {
            digits.insert(digits.begin(), alphabet[value % base]);
            value /= base;
        } while (value);
    }
    int precision = c.precision <= 0 ? 1 : c.precision;
    while ((int)digits.size() < precision)
        digits.insert(digits.begin(), '0');
    std::string sign = negative ? "-" : "";
    if (c.prefix && (c.type == 'x' || c.type == 'X'))
        sign = c.type == 'x' ? "0x" : "0X";
    if (c.zero && !c.left) {
        while ((int)(sign.size() + digits.size()) < c.width)
            digits.insert(digits.begin(), '0');
    }
    return sign + digits;
}

}  // namespace

int WINAPI wvsprintfA(LPSTR output, LPCSTR format, va_list arguments_in) {
    va_list arguments;
    va_copy(arguments, arguments_in);
    std::string out;
    for (const char* p = format; *p && out.size() < output_limit; p++) {
        if (*p != '%') {
            out += *p;
            continue;
        }
        p++;
        conversion c;
        for (;; p++) {
            if (*p == '-') c.left = true;
            else if (*p == '#') c.prefix = true;
            else if (*p == '0') c.zero = true;
            else break;
        }
        // Widths and precisions beyond the output limit mean the same as the limit itself.
        while (*p >= '0' && *p <= '9')
            c.width = saturated_digit(c.width, *p++);
        if (*p == '.') {
            p++;
            c.precision = 0;
            while (*p >= '0' && *p <= '9')
                c.precision = saturated_digit(c.precision, *p++);
        }
        if (*p == 'h' || *p == 'l')
            c.size = *p++;
        c.type = *p;
        std::string field;
        switch (c.type) {
        case 'c':
        case 'C': {
            int value = va_arg(arguments, int);
            bool wide = c.type == 'C' ? c.size != 'h' : c.size == 'l';
            if (wide) {
                WCHAR text[2] = {(WCHAR)value, 0};
                field = wide_to_cp1252(text, -1);
            } else {
                field = std::string(1, (char)value);
            }
            break;
        }
        case 's':
        case 'S': {
            bool wide = c.type == 'S' ? c.size != 'h' : c.size == 'l';
            if (wide) {
                const WCHAR* text = va_arg(arguments, const WCHAR*);
                field = text ? wide_to_cp1252(text, c.precision) : "(null)";
            } else {
                const char* text = va_arg(arguments, const char*);
                if (!text)
                    text = "(null)";
                size_t length = strlen(text);
                if (c.precision >= 0 && (size_t)c.precision < length)
                    length = (size_t)c.precision;
                field.assign(text, length);
            }
            break;
        }
        case 'd':
        case 'i':
        case 'u':
        case 'x':
        case 'X':
            field = number_text(c, arguments);
            break;
        case 'p': {
            // A pointer, as eight upper-case hexadecimal digits of its 32 low bits.
            uintptr_t value = (uintptr_t)va_arg(arguments, void*);
            char text[9];
            const char* alphabet = "0123456789ABCDEF";
            for (int i = 7; i >= 0; i--, value >>= 4)
                text[i] = alphabet[value & 15];
            text[8] = 0;
            field = text;
            break;
        }
        case 0:
            p--;  // a lone '%' at the end
            continue;
        default:
            // A character that means nothing as a conversion is copied (%% gives %).
            out += *p;
            continue;
        }
        std::string padding;
        if ((int)field.size() < c.width)
            padding.assign((size_t)c.width - field.size(), ' ');
        out += c.left ? field + padding : padding + field;
    }
    va_end(arguments);
    if (out.size() > output_limit - 1)
        out.resize(output_limit - 1);
    memcpy(output, out.c_str(), out.size() + 1);
    return (int)out.size();
}

int WINAPIV wsprintfA(LPSTR output, LPCSTR format, ...) {
    va_list arguments;
    va_start(arguments, format);
    int result = wvsprintfA(output, format, arguments);
    va_end(arguments);
    return result;
}
