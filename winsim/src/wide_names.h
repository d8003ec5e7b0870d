// The internal form of names and paths that hold characters outside code page 1252, and the conversions of it.
#pragma once

#include <string>

namespace winsim {

// The simulated file system keeps names in code page 1252, with every other UTF-16 unit and
// every control character written as the byte 0x01 and four upper-case hex digits of the unit
// ("Łukasz" is "\x01" "0141ukasz"). The 8-bit calls never give that form: their control
// characters are escaped the same way, and names refuse control characters.
std::string internal_from_utf16(const char16_t* text);
std::u16string utf16_from_internal(const std::string& text);
// A path or name an 8-bit call passes.
std::string internal_from_ansi(const std::string& text);
// UTF-8 (the tests' spelling of a name); invalid UTF-8 is not simulated.
std::string internal_from_utf8(const char* text);

// The unit at *position, which moves past it (past the whole escape).
char16_t next_unit(const std::string& text, size_t* position);
// The length in UTF-16 units.
size_t internal_length(const std::string& text);

// One character as the system's 8-bit conversion spells it: its byte in code page 1252, else its
// best fit when best_fit is set and it has one, else "?" with *used_default set.
char ansi_char(char16_t ch, bool best_fit, bool* used_default);
std::string ansi_from_internal(const std::string& text, bool best_fit, bool* used_default = nullptr);

// Upper case and order as Windows compares file names (name_upcase): by the UTF-16 units of the
// upper-cased names, a shorter name first when it is a prefix of the other.
std::string internal_upcase(const std::string& text);
int internal_compare_nocase(const std::string& a, const std::string& b);
bool internal_equal_nocase(const std::string& a, const std::string& b);

}  // namespace winsim
