// The simulated CharUpperA (user32): code page 1252 upper-casing as Windows does it through Unicode.
#include <windows.h>

#include "codepage.h"

LPSTR WINAPI CharUpperA(LPSTR text) {
    // A value below 0x10000 is one character in the low word, returned upper-cased.
    const ULONG_PTR value = reinterpret_cast<ULONG_PTR>(text);
    if ((value >> 16) == 0) {
        unsigned char upper = winsim::cp1252_upcase(static_cast<unsigned char>(value & 0xFF));
        return reinterpret_cast<LPSTR>(static_cast<ULONG_PTR>(upper));
    }
    for (char* c = text; *c; ++c) *c = static_cast<char>(winsim::cp1252_upcase(static_cast<unsigned char>(*c)));
    return text;
}
