// Contract of CharUpperA, for the simulation and for Windows.
#include "file_contract_support.h"

#include <string.h>

#include <string>
#include <vector>

namespace {

TEST(char_upper, upper_cases_code_page_1252_in_place_and_keeps_sharp_s) {
    char text[] = "äöüß àéÿ abc";
    EXPECT_EQ(text, CharUpperA(text));
    EXPECT_STREQ("ÄÖÜß ÀÉŸ ABC", text);
}

TEST(char_upper, a_character_in_the_low_word_comes_back_upper_cased) {
    EXPECT_EQ((LPSTR)(ULONG_PTR)(unsigned char)'Ä', CharUpperA((LPSTR)(ULONG_PTR)(unsigned char)'ä'));
    EXPECT_EQ((LPSTR)(ULONG_PTR)(unsigned char)'ß', CharUpperA((LPSTR)(ULONG_PTR)(unsigned char)'ß'));
    EXPECT_EQ((LPSTR)(ULONG_PTR)'Q', CharUpperA((LPSTR)(ULONG_PTR)'q'));
}

}  // namespace
