// Tests of writing and removing the product's entry in the Windows list of installed programs.
#include "test_support.h"

#include <ctype.h>

#include <string>

#include "layout_registry/uninstall_entry.h"
#include "product_constants.h"

namespace {

#define UNINSTALL_KEY "HKEY_LOCAL_MACHINE\\" UNINSTALL_PARENT_PATH
#define ENTRY_KEY UNINSTALL_KEY "\\" UNINSTALL_DISPLAY_NAME

class uninstall_entry : public kb_test {
protected:
    bool write_full_entry()
    {
        return write_uninstall_entry(UNINSTALL_DISPLAY_NAME, "\"C:\\P\\u.exe\" b0020407",
                                     UNINSTALL_DISPLAY_NAME, UNINSTALL_DISPLAY_NAME,
                                     PRODUCT_WEB_ADDRESS, PRODUCT_WEB_ADDRESS, PUBLISHER_TEXT,
                                     PRODUCT_WEB_ADDRESS, VERSION_TEXT, "C:\\P\\s.ico", "Hinweis");
    }
};

// Entries below Uninstall: two that begin with the display name (one in capitals, with a
// subkey), one that is shorter than it and one of another program.
std::string older_entries()
{
    std::string upper = UNINSTALL_DISPLAY_NAME;
    for (char& c : upper)
        c = (char)toupper((unsigned char)c);
    return "[" UNINSTALL_KEY "\\Anderes Programm]\n\"DisplayName\"=\"Anderes Programm\"\n\n"
           "[" UNINSTALL_KEY "\\" + upper + " alt]\n\"DisplayName\"=\"alt\"\n\n"
           "[" UNINSTALL_KEY "\\" + upper + " alt\\Teil]\n\"x\"=\"y\"\n\n"
           "[" UNINSTALL_KEY "\\Tastaturbelegung DIN Q7]\n\"DisplayName\"=\"kürzer als das Präfix\"\n\n"
           "[" ENTRY_KEY "-zwei]\n\"DisplayName\"=\"zwei\"\n";
}

TEST_F(uninstall_entry, writes_all_values_in_order)
{
    ASSERT_TRUE(write_full_entry());
    EXPECT_EQ("[" ENTRY_KEY "]\n"
              "\"DisplayName\"=\"" UNINSTALL_DISPLAY_NAME "\"\n"
              "\"UninstallString\"=\"\\\"C:\\\\P\\\\u.exe\\\" b0020407\"\n"
              "\"HelpLink\"=\"" PRODUCT_WEB_ADDRESS "\"\n"
              "\"URLUpdateInfo\"=\"" PRODUCT_WEB_ADDRESS "\"\n"
              "\"Publisher\"=\"" PUBLISHER_TEXT "\"\n"
              "\"URLInfoAbout\"=\"" PRODUCT_WEB_ADDRESS "\"\n"
              "\"DisplayVersion\"=\"" VERSION_TEXT "\"\n"
              "\"DisplayIcon\"=\"C:\\\\P\\\\s.ico\"\n"
              "\"Comments\"=\"Hinweis\"\n\n",
              dump(ENTRY_KEY));
}

TEST_F(uninstall_entry, replaces_an_older_entry_completely)
{
    SEED(R"REG(
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\Eintrag]
"DisplayName"="alt"
"EstimatedSize"="12"
"Comments"="alt"

[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\Eintrag\Teil]
"x"="y"
)REG");
    ASSERT_TRUE(write_uninstall_entry("Eintrag", "u.exe b1", nullptr, nullptr, nullptr, nullptr,
                                      nullptr, nullptr, nullptr, nullptr, nullptr));
    // No display name: the entry name stands in; absent values are not written at all.
    EXPECT_EQ("[" UNINSTALL_KEY "\\Eintrag]\n"
              "\"DisplayName\"=\"Eintrag\"\n"
              "\"UninstallString\"=\"u.exe b1\"\n\n",
              dump(UNINSTALL_KEY "\\Eintrag"));
}

TEST_F(uninstall_entry, deletes_older_entries_by_prefix_in_any_case)
{
    SEED(older_entries().c_str());
    ASSERT_TRUE(write_full_entry());
    EXPECT_FALSE(winsim::reg_key_exists(ENTRY_KEY " alt"));
    EXPECT_FALSE(winsim::reg_key_exists(ENTRY_KEY "-zwei"));
    EXPECT_TRUE(winsim::reg_key_exists(UNINSTALL_KEY "\\Anderes Programm"));
    EXPECT_TRUE(winsim::reg_key_exists(UNINSTALL_KEY "\\Tastaturbelegung DIN Q7"));
    EXPECT_TRUE(winsim::reg_key_exists(ENTRY_KEY));
}

TEST_F(uninstall_entry, removal_call_deletes_only_the_named_entry)
{
    SEED(older_entries().c_str());
    ASSERT_TRUE(write_full_entry());
    SEED("[" ENTRY_KEY "\\Teil]\n\"x\"=\"y\"\n");
    std::string others = dump(UNINSTALL_KEY "\\Anderes Programm");
    EXPECT_TRUE(write_uninstall_entry(UNINSTALL_DISPLAY_NAME, nullptr, nullptr, nullptr, nullptr,
                                      nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
    EXPECT_FALSE(winsim::reg_key_exists(ENTRY_KEY));
    EXPECT_EQ(others, dump(UNINSTALL_KEY "\\Anderes Programm"));
    EXPECT_TRUE(winsim::reg_key_exists(UNINSTALL_KEY "\\Tastaturbelegung DIN Q7"));
}

TEST_F(uninstall_entry, removal_of_a_missing_entry_changes_nothing)
{
    SEED(older_entries().c_str());
    std::string before = dump(UNINSTALL_KEY);
    EXPECT_TRUE(write_uninstall_entry(UNINSTALL_DISPLAY_NAME, nullptr, nullptr, nullptr, nullptr,
                                      nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(before, dump(UNINSTALL_KEY));
}

TEST_F(uninstall_entry, removal_creates_a_missing_uninstall_key)
{
    EXPECT_TRUE(write_uninstall_entry("Eintrag", nullptr, nullptr, nullptr, nullptr, nullptr,
                                      nullptr, nullptr, nullptr, nullptr, nullptr));
    EXPECT_TRUE(winsim::reg_key_exists(UNINSTALL_KEY));
}

TEST_F(uninstall_entry, fails_when_the_uninstall_key_cannot_be_opened)
{
    winsim::fail_call("RegCreateKeyExA", UNINSTALL_KEY, ERROR_ACCESS_DENIED);
    EXPECT_FALSE(write_full_entry());
    EXPECT_FALSE(winsim::reg_key_exists(UNINSTALL_KEY));
}

TEST_F(uninstall_entry, fails_when_the_entry_cannot_be_created_after_removing_the_old_ones)
{
    SEED(older_entries().c_str());
    winsim::reg_deny_create(ENTRY_KEY);
    EXPECT_FALSE(write_full_entry());
    EXPECT_FALSE(winsim::reg_key_exists(ENTRY_KEY));
    EXPECT_FALSE(winsim::reg_key_exists(ENTRY_KEY "-zwei"));
}

}  // namespace
