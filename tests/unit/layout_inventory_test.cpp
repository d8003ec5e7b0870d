// Tests of the inventory scan and its small helpers against seeded registries.
#include "test_support.h"

#include <string.h>

#include <string>

namespace {

#define USER_LISTS(preload, substitutes)                              \
    "[HKEY_CURRENT_USER\\Keyboard Layout\\Preload]\n" preload "\n"    \
    "[HKEY_CURRENT_USER\\Keyboard Layout\\Substitutes]\n" substitutes "\n"

layout_inventory_state& inv = layout_inventory;

TEST(parse_numbers, hex_reads_every_character_and_wraps)
{
    EXPECT_EQ(0, parse_hex(nullptr));
    EXPECT_EQ(0, parse_hex(""));
    EXPECT_EQ(0xc00, parse_hex("0c00"));
    EXPECT_EQ(0xABCD, parse_hex("AbCd"));
    EXPECT_EQ(0x102, parse_hex("1x2"));  // a non-digit still shifts the value
    EXPECT_EQ((LONG)0xFFFFFFFFu, parse_hex("ffffffff"));
    EXPECT_EQ(0x23456789, parse_hex("123456789"));  // the top digit falls out
}

TEST(parse_numbers, decimal_skips_blanks_and_ignores_other_characters)
{
    EXPECT_EQ(12, parse_decimal("12"));
    EXPECT_EQ(-3, parse_decimal(" -3"));
    EXPECT_EQ(12, parse_decimal("1a2"));
    EXPECT_EQ(0, parse_decimal("abc"));
    EXPECT_EQ(5, parse_decimal("\t5"));  // only the space is a blank; the tab is ignored
    EXPECT_EQ(7, parse_decimal("7-"));   // a later minus is just another character
    EXPECT_EQ((LONG)(4294967295u * 10u + 6u), parse_decimal("42949672956"));
    EXPECT_EQ((LONG)(0u - 2147483648u), parse_decimal("-2147483648"));
}

TEST(layout_names, standard_names_and_case_blind_comparison)
{
    EXPECT_TRUE(is_standard_layout_name("00000407"));
    EXPECT_TRUE(is_standard_layout_name("0000040x"));
    EXPECT_FALSE(is_standard_layout_name("00010407"));
    EXPECT_FALSE(is_standard_layout_name("000004070"));
    EXPECT_FALSE(is_standard_layout_name("0000047"));
    EXPECT_FALSE(is_standard_layout_name(nullptr));

    EXPECT_TRUE(names_equal_nocase(nullptr, nullptr));
    EXPECT_FALSE(names_equal_nocase(nullptr, ""));
    EXPECT_FALSE(names_equal_nocase("", nullptr));
    EXPECT_TRUE(names_equal_nocase("KbdEditLKQ7V308.dll", "KBDEDITLKQ7V308.DLL"));
    EXPECT_FALSE(names_equal_nocase("b001", "b0010"));
    EXPECT_FALSE(names_equal_nocase("b0010407", "b0020407"));
}

class inventory_scan : public kb_test {};

TEST_F(inventory_scan, substitutes_attach_to_every_preload_entry_with_that_data_in_any_case)
{
    // Windows resolves each Preload value, and looks the name up without regard to case.
    SEED(USER_LISTS("\"1\"=\"00000407\"\n\"2\"=\"d0010407\"\n\"3\"=\"D0010407\"\n",
                    "\"d0010407\"=\"b0040407\"\n\"d0090407\"=\"a0000409\"\n"));
    SEED(LAYOUTS "]\n");
    ASSERT_TRUE(scan_layout_inventory()) << inv.error_text;
    ASSERT_EQ(3, inv.preload_count);
    EXPECT_EQ(nullptr, inv.preload_list[0].substitute);
    EXPECT_STREQ("b0040407", inv.preload_list[1].substitute);
    EXPECT_STREQ("b0040407", inv.preload_list[2].substitute);
    EXPECT_STREQ("D0010407", inv.preload_list[2].data);
    ASSERT_EQ(2, inv.substitute_count);
    EXPECT_STREQ("d0090407", inv.substitute_list[1].name);
    EXPECT_STREQ("a0000409", inv.substitute_list[1].data);
    EXPECT_FALSE(inv.preload_list[1].standard);
    EXPECT_EQ(0, inv.preload_list[1].new_number);
    EXPECT_EQ(nullptr, inv.preload_list[1].new_data);
}

TEST_F(inventory_scan, preload_names_give_numbers_and_canonical_flags)
{
    SEED(USER_LISTS("\"1\"=\"00000407\"\n\"01\"=\"00000409\"\n\"abc\"=\"00000809\"\n"
                    "\"-2\"=\"00000c07\"\n\" 3\"=\"00001407\"\n", ""));
    SEED(LAYOUTS "]\n");
    ASSERT_TRUE(scan_layout_inventory()) << inv.error_text;
    ASSERT_EQ(5, inv.preload_count);
    const struct { LONG number; bool canonical; } expected[] = {
        {1, true}, {1, false}, {0, false}, {-2, true}, {3, false}};
    for (int i = 0; i < 5; i++) {
        SCOPED_TRACE(inv.preload_list[i].name);
        EXPECT_EQ(expected[i].number, inv.preload_list[i].number);
        EXPECT_EQ(expected[i].canonical, inv.preload_list[i].canonical);
    }
}

TEST_F(inventory_scan, only_german_family_keys_are_taken_and_give_the_maxima)
{
    SEED(USER_LISTS("\"1\"=\"00000407\"\n", ""));
    SEED(LAYOUTS "\\00000407]\n\"Layout File\"=\"KBDGR.DLL\"\n\n"
         LAYOUTS "\\00010407]\n\"Layout Id\"=\"00c0\"\n\n"
         LAYOUTS "\\b0040407]\n\"Layout Id\"=\"0c01\"\n\n"
         LAYOUTS "\\00000409]\n\"Layout Id\"=\"ffff\"\n\n"
         LAYOUTS "\\00000C07]\n\n"
         LAYOUTS "\\a0010c07]\n\n"
         LAYOUTS "\\00000c07x]\n\n"
         LAYOUTS "\\f00c0407]\n\n"
         LAYOUTS "\\0407]\n\n"
         LAYOUTS "\\c0001407]\n\n");
    ASSERT_TRUE(scan_layout_inventory()) << inv.error_text;
    std::string taken;
    for (int i = 0; i < inv.layout_key_count; i++)
        taken += std::string(inv.layout_key_list[i].key_name) + " ";
    // The language in any case; 00000c07x is nine characters, 0407 is too short.
    EXPECT_EQ("00000407 00000C07 00010407 a0010c07 b0040407 c0001407 f00c0407 ", taken);
    EXPECT_EQ(0xc01, inv.max_layout_id);
    EXPECT_EQ(0x00c, inv.max_key_number);  // from f00c0407
    EXPECT_EQ(0, inv.layout_key_list[0].layout_id_value);
    EXPECT_EQ(nullptr, inv.layout_key_list[0].layout_id_text);
    EXPECT_STREQ("KBDGR.DLL", inv.layout_key_list[0].layout_file);
    EXPECT_EQ(4, inv.layout_key_list[4].key_number);
}

TEST_F(inventory_scan, layout_ids_of_all_keys_are_noted_as_in_use)
{
    SEED(USER_LISTS("", ""));
    SEED(LAYOUTS "\\00010407]\n\"Layout Id\"=\"00c0\"\n\n"
         LAYOUTS "\\00000409]\n\"Layout Id\"=\"0c00\"\n\n");
    ASSERT_TRUE(scan_layout_inventory()) << inv.error_text;
    auto in_use = [](int id) { return (inv.layout_ids_in_use[id / 8] >> (id % 8)) & 1; };
    EXPECT_TRUE(in_use(0x0c0));
    EXPECT_TRUE(in_use(0xc00));
    EXPECT_FALSE(in_use(0xc01));
    EXPECT_EQ(0xc0, inv.max_layout_id);  // the maximum covers the German family only
    EXPECT_EQ(1, inv.layout_key_count);
}

TEST_F(inventory_scan, own_layout_file_is_found_without_regard_to_case_and_the_last_key_wins)
{
    strcpy(inv.own_layout_file, "KbdEditLKQ7V308.dll");
    SEED(USER_LISTS("\"1\"=\"00000407\"\n", ""));
    SEED(LAYOUTS "\\b0010407]\n\"Layout File\"=\"KBDEDITLKQ7V308.DLL\"\n\n"
         LAYOUTS "\\b0020407]\n\"layout file\"=\"KbdEditLKQ7V308.dll\"\n\n"
         LAYOUTS "\\b0030407]\n\"Layout File\"=\"kbdeditlkq7v308.dll\"\n\n");
    ASSERT_TRUE(scan_layout_inventory()) << inv.error_text;
    EXPECT_EQ(2, inv.own_layout_index);
    EXPECT_EQ(nullptr, inv.layout_key_list[1].layout_file);  // value names compare exactly
    EXPECT_FALSE(inv.own_layout_in_use);
    EXPECT_EQ(-1, inv.target_key_index);  // the installer's scan has no target
}

TEST_F(inventory_scan, own_layout_in_use_through_preload_or_substitutes)
{
    strcpy(inv.own_layout_file, "KbdEditLKQ7V308.dll");
    SEED(LAYOUTS "\\b0010407]\n\"Layout File\"=\"KbdEditLKQ7V308.DLL\"\n\n");

    SEED(USER_LISTS("\"1\"=\"B0010407\"\n", ""));
    ASSERT_TRUE(scan_layout_inventory());
    EXPECT_TRUE(inv.own_layout_in_use);

    reset_layout_inventory();
    strcpy(inv.own_layout_file, "KbdEditLKQ7V308.dll");
    SEED(USER_LISTS("\"1\"=\"d0010407\"\n", "\"d0050407\"=\"b0010407\"\n"));
    ASSERT_TRUE(scan_layout_inventory());
    EXPECT_TRUE(inv.own_layout_in_use);
}

TEST_F(inventory_scan, a_program_that_starts_with_zeroed_state_finds_no_key_by_accident)
{
    memset(&layout_inventory, 0, sizeof layout_inventory);  // as a new process has it
    strcpy(inv.own_layout_file, "KbdEditLKQ7V308.dll");
    SEED(german_windows_fixture);
    ASSERT_TRUE(scan_layout_inventory()) << inv.error_text;
    EXPECT_EQ(-1, inv.own_layout_index);
    EXPECT_EQ(-1, inv.target_key_index);
    EXPECT_FALSE(inv.own_layout_in_use);
}

TEST_F(inventory_scan, target_key_is_found_without_regard_to_case)
{
    strcpy(inv.target_key_name, "B0020407");
    SEED(USER_LISTS("\"1\"=\"00000407\"\n", ""));
    SEED(LAYOUTS "\\b0010407]\n\n" LAYOUTS "\\b0020407]\n\"Layout Text\"=\"T\"\n\n");
    ASSERT_TRUE(scan_layout_inventory()) << inv.error_text;
    EXPECT_EQ(1, inv.target_key_index);
    EXPECT_STREQ("T", inv.layout_key_list[1].layout_text);
}

TEST_F(inventory_scan, values_and_keys_that_fail_to_enumerate_are_skipped)
{
    SEED(USER_LISTS("\"1\"=\"00000407\"\n\"2\"=\"00000409\"\n\"3\"=\"00000807\"\n", ""));
    SEED(LAYOUTS "\\00000407]\n\n" LAYOUTS "\\00000807]\n\n" LAYOUTS "\\00010407]\n\n");
    winsim::fail_call("RegEnumValueA", "HKEY_CURRENT_USER\\Keyboard Layout\\Preload",
                      ERROR_MORE_DATA, 1);
    winsim::fail_call("RegEnumKeyExA",
                      "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Keyboard Layouts",
                      ERROR_MORE_DATA, 0);
    ASSERT_TRUE(scan_layout_inventory()) << inv.error_text;
    ASSERT_EQ(2, inv.preload_count);
    EXPECT_STREQ("3", inv.preload_list[1].name);
    ASSERT_EQ(2, inv.layout_key_count);
    EXPECT_STREQ("00000807", inv.layout_key_list[0].key_name);
}

TEST_F(inventory_scan, a_preload_value_that_is_binary_data_is_skipped)
{
    std::string hex;
    for (int i = 0; i < 260; i++)
        hex += (i ? ",30" : "30");
    std::string text = "[HKEY_CURRENT_USER\\Keyboard Layout\\Preload]\n\"1\"=hex:" + hex +
                       "\n\"2\"=\"00000407\"\n\n[HKEY_CURRENT_USER\\Keyboard Layout\\Substitutes]\n\n"
                       LAYOUTS "]\n";
    seed(text.c_str());
    ASSERT_TRUE(scan_layout_inventory()) << inv.error_text;
    ASSERT_EQ(1, inv.preload_count);
    EXPECT_STREQ("2", inv.preload_list[0].name);
}

// Each place that cannot be opened names itself in error_text.
class inventory_scan_failure : public kb_test {
protected:
    void SetUp() override
    {
        kb_test::SetUp();
        SEED(german_windows_fixture);
    }
};

TEST_F(inventory_scan_failure, preload_cannot_be_opened)
{
    winsim::fail_call("RegOpenKeyExA", "HKEY_CURRENT_USER\\Keyboard Layout\\Preload",
                      ERROR_ACCESS_DENIED);
    EXPECT_FALSE(scan_layout_inventory());
    EXPECT_STREQ("Fehler beim Öffnen des Registry-Keys HKEY_CURRENT_USER\\Keyboard Layout\\Preload",
                 inv.error_text);
    EXPECT_EQ(0, inv.preload_count);
}

TEST_F(inventory_scan_failure, missing_substitutes_fail_after_preload_was_read)
{
    SEED("[-HKEY_CURRENT_USER\\Keyboard Layout\\Substitutes]\n");
    EXPECT_FALSE(scan_layout_inventory());
    EXPECT_STREQ(
        "Fehler beim Öffnen des Registry-Keys HKEY_CURRENT_USER\\Keyboard Layout\\Substitutes",
        inv.error_text);
    EXPECT_EQ(1, inv.preload_count);
}

TEST_F(inventory_scan_failure, layouts_key_cannot_be_opened)
{
    winsim::fail_call("RegOpenKeyExA",
                      "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Keyboard Layouts",
                      ERROR_ACCESS_DENIED);
    EXPECT_FALSE(scan_layout_inventory());
    EXPECT_STREQ("Fehler beim Öffnen des Registry-Keys HKEY_LOCAL_MACHINE\\System\\"
                 "CurrentControlSet\\Control\\Keyboard Layouts",
                 inv.error_text);
}

TEST_F(inventory_scan_failure, german_subkey_cannot_be_opened_and_the_scan_stops_there)
{
    winsim::fail_call("RegOpenKeyExA",
                      "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Keyboard "
                      "Layouts\\00000C07",
                      ERROR_ACCESS_DENIED);
    EXPECT_FALSE(scan_layout_inventory());
    EXPECT_STREQ("Fehler beim Öffnen des Registry-Subkeys System\\CurrentControlSet\\Control\\"
                 "Keyboard Layouts - 00000C07",
                 inv.error_text);
    EXPECT_EQ(2, inv.layout_key_count);  // 00000407 and 00000807 were read before it
}

TEST_F(inventory_scan_failure, an_unreadable_key_of_another_language_is_passed_over)
{
    winsim::fail_call("RegOpenKeyExA",
                      "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Keyboard "
                      "Layouts\\00000409",
                      ERROR_ACCESS_DENIED);
    EXPECT_TRUE(scan_layout_inventory()) << inv.error_text;
    EXPECT_EQ(7, inv.layout_key_count);
}

// A place that opens but cannot be read completely fails the scan as well: a shorter list
// would be rewritten without the entries not read, and a German-family key passed over could
// be this product's own or hold the next free number.
TEST_F(inventory_scan_failure, lists_that_cannot_be_read_completely_fail_the_scan)
{
    const char* preload = "HKEY_CURRENT_USER\\Keyboard Layout\\Preload";
    const char* substitutes = "HKEY_CURRENT_USER\\Keyboard Layout\\Substitutes";
    struct case_t {
        const char* call;
        const char* subject;
        long index;
        const char* text;
    } cases[] = {
        {"RegQueryInfoKeyA", preload, -1,
         "Fehler beim Lesen des Registry-Keys HKEY_CURRENT_USER\\Keyboard Layout\\Preload"},
        {"RegEnumValueA", preload, 0,
         "Fehler beim Lesen des Registry-Keys HKEY_CURRENT_USER\\Keyboard Layout\\Preload"},
        {"RegQueryInfoKeyA", substitutes, -1,
         "Fehler beim Lesen des Registry-Keys HKEY_CURRENT_USER\\Keyboard Layout\\Substitutes"},
        {"RegEnumValueA", substitutes, 0,
         "Fehler beim Lesen des Registry-Keys HKEY_CURRENT_USER\\Keyboard Layout\\Substitutes"},
        {"RegQueryInfoKeyA", LAYOUTS_KEY, -1,
         "Fehler beim Lesen des Registry-Keys HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\"
         "Control\\Keyboard Layouts"},
        {"RegEnumKeyExA", LAYOUTS_KEY, 2,
         "Fehler beim Lesen des Registry-Keys HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\"
         "Control\\Keyboard Layouts"},
        {"RegQueryInfoKeyA", LAYOUTS_KEY "\\b0040407", -1,
         "Fehler beim Lesen des Registry-Subkeys System\\CurrentControlSet\\Control\\"
         "Keyboard Layouts - b0040407"},
        {"RegEnumValueA", LAYOUTS_KEY "\\b0040407", 0,
         "Fehler beim Lesen des Registry-Subkeys System\\CurrentControlSet\\Control\\"
         "Keyboard Layouts - b0040407"},
    };
    for (const case_t& c : cases) {
        SCOPED_TRACE(std::string(c.call) + " " + c.subject);
        SetUp();
        SEED("[" LAYOUTS_KEY "\\b0040407]\n\"Layout File\"=\"KbdEditLKQ7V308.DLL\"\n\n"
             "[HKEY_CURRENT_USER\\Keyboard Layout\\Substitutes]\n\"d0010407\"=\"b0040407\"\n");
        winsim::fail_call(c.call, c.subject, ERROR_ACCESS_DENIED, c.index);
        EXPECT_FALSE(scan_layout_inventory());
        EXPECT_STREQ(c.text, inv.error_text);
    }
}

// The lists hold 100 records; Preload keeps one free for the installer's own entry.
class inventory_capacity : public kb_test {
protected:
    std::string values(int count, const char* data_format)
    {
        std::string text;
        for (int i = 1; i <= count; i++) {
            char line[64];
            snprintf(line, sizeof line, "\"%d\"=\"", i);
            text += line;
            snprintf(line, sizeof line, data_format, i);
            text += line;
            text += "\"\n";
        }
        return text;
    }
    void seed_lists(int preload, int substitutes, int german_keys)
    {
        std::string text = "[HKEY_CURRENT_USER\\Keyboard Layout\\Preload]\n" +
                           values(preload, "d%03x0407") +
                           "\n[HKEY_CURRENT_USER\\Keyboard Layout\\Substitutes]\n" +
                           values(substitutes, "b%03x0407") + "\n" LAYOUTS "]\n\n";
        for (int i = 1; i <= german_keys; i++) {
            char line[128];
            snprintf(line, sizeof line, LAYOUTS "\\b%03x0407]\n\n", i);
            text += line;
        }
        seed(text.c_str());
    }
};

TEST_F(inventory_capacity, full_lists_within_the_limits_are_read)
{
    seed_lists(99, 100, 100);
    ASSERT_TRUE(scan_layout_inventory()) << inv.error_text;
    EXPECT_EQ(99, inv.preload_count);
    EXPECT_EQ(100, inv.substitute_count);
    EXPECT_EQ(100, inv.layout_key_count);
    EXPECT_EQ(100, inv.max_key_number);
}

TEST_F(inventory_capacity, a_hundredth_preload_value_fails_the_scan)
{
    seed_lists(100, 0, 0);
    EXPECT_FALSE(scan_layout_inventory());
    EXPECT_STREQ("Zu viele Einträge in HKEY_CURRENT_USER\\Keyboard Layout\\Preload (höchstens 99)",
                 inv.error_text);
    EXPECT_EQ(99, inv.preload_count);
}

TEST_F(inventory_capacity, a_hundred_and_first_substitute_fails_the_scan)
{
    seed_lists(1, 101, 0);
    EXPECT_FALSE(scan_layout_inventory());
    EXPECT_STREQ(
        "Zu viele Einträge in HKEY_CURRENT_USER\\Keyboard Layout\\Substitutes (höchstens 100)",
        inv.error_text);
    EXPECT_EQ(100, inv.substitute_count);
}

TEST_F(inventory_capacity, a_hundred_and_first_german_key_fails_the_scan)
{
    seed_lists(1, 0, 101);
    EXPECT_FALSE(scan_layout_inventory());
    EXPECT_STREQ("Zu viele deutsche Tastaturbelegungen in HKEY_LOCAL_MACHINE\\System\\"
                 "CurrentControlSet\\Control\\Keyboard Layouts (höchstens 100)",
                 inv.error_text);
    EXPECT_EQ(100, inv.layout_key_count);
}

TEST_F(inventory_capacity, longest_texts_in_every_record_fit_the_text_store)
{
    std::string text = "[HKEY_CURRENT_USER\\Keyboard Layout\\Preload]\n";
    std::string long_data(259, 'x');
    for (int i = 0; i < 99; i++) {
        std::string name = std::to_string(i) + std::string(259 - std::to_string(i).size(), ' ');
        text += "\"" + name + "\"=\"" + long_data.substr(0, 256) + std::to_string(100 + i) + "\"\n";
    }
    text += "\n[HKEY_CURRENT_USER\\Keyboard Layout\\Substitutes]\n";
    for (int i = 0; i < 99; i++)
        text += "\"" + long_data.substr(0, 256) + std::to_string(100 + i) + "\"=\"" + long_data + "\"\n";
    text += "\n" LAYOUTS "]\n\n";
    for (int i = 0; i < 100; i++) {
        char name[16];
        snprintf(name, sizeof name, "b%03x0407", i);
        text += std::string(LAYOUTS "\\") + name + "]\n\"Layout File\"=\"" + long_data +
                "\"\n\"Layout Text\"=\"" + long_data + "\"\n\"Layout Id\"=\"" + long_data + "\"\n\n";
    }
    seed(text.c_str());
    ASSERT_TRUE(scan_layout_inventory()) << inv.error_text;
    EXPECT_EQ(99, inv.preload_count);
    EXPECT_STREQ(long_data.c_str(), inv.preload_list[98].substitute);
    EXPECT_EQ(100, inv.layout_key_count);
    EXPECT_STREQ(long_data.c_str(), inv.layout_key_list[99].layout_id_text);
}

}  // namespace
