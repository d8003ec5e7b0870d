// Code page 1252, the 8-bit character set of the programs: its UTF-16 table and its upper-casing.
#pragma once

#include <string>

namespace winsim {

// The UTF-16 character of a CP1252 byte. The five bytes the code page leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) give the C1 control of the same value, as Windows' table does.
char16_t cp1252_to_utf16(unsigned char byte);

// False for the five undefined bytes.
bool cp1252_is_defined(unsigned char byte);

// The CP1252 byte of a UTF-16 character; false when the code page has none. This is the exact
// reverse of cp1252_to_utf16, without any best-fit mapping.
bool utf16_to_cp1252(char16_t ch, unsigned char* byte);

// Upper case as Windows gets it through Unicode: a-z, à..þ except ÷, and š, œ, ž, ÿ to Š, Œ, Ž, Ÿ.
// Everything else (ß, µ, ƒ among them) is left as it is, since its capital is not in the code page.
unsigned char cp1252_upcase(unsigned char byte);
std::string cp1252_upcase(const std::string& text);

// Orders two CP1252 names the way the registry orders key names: by the UTF-16 code points of
// the upper-cased characters, a shorter name first when it is a prefix of the other.
int cp1252_compare_nocase(const std::string& a, const std::string& b);
bool cp1252_equal_nocase(const std::string& a, const std::string& b);

// The byte of Windows' best-fit table of code page 1252 for a character the code page lacks
// ("Ł" gives "L", "∞" gives "8"); false when the table has none, where the conversion writes "?".
bool cp1252_best_fit(char16_t ch, unsigned char* byte);

// Upper case as Windows compares file names: the letters of code page 1252 as cp1252_upcase,
// and Latin Extended-A's pairs ("ł" to "Ł"); ı, ĸ, ŉ and ſ have none. A letter of another script
// with case is not simulated; characters without case stay as they are.
char16_t name_upcase(char16_t ch);

}  // namespace winsim
