// Tests of the install, update and removal plans and of the list write, on the simulated registry.
#include "test_support.h"

#include <string.h>

#include <sstream>
#include <string>

#include "layout_registry/layout_plans.h"
#include "product_constants.h"

namespace {

#define LAYOUTS_KEY "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Keyboard Layouts"
#define PRELOAD_KEY "HKEY_CURRENT_USER\\Keyboard Layout\\Preload"
#define SUBSTITUTES_KEY "HKEY_CURRENT_USER\\Keyboard Layout\\Substitutes"

layout_inventory_state& inv = layout_inventory;

std::string quoted(const std::string& text)
{
    return "\"" + text + "\"";
}

// Lines "name"="data" from blank-separated name=data words.
std::string value_lines(const char* pairs)
{
    std::istringstream words(pairs);
    std::string word, lines;
    while (words >> word) {
        size_t equals = word.find('=');
        lines += quoted(word.substr(0, equals)) + "=" + quoted(word.substr(equals + 1)) + "\n";
    }
    return lines;
}

class layout_plans : public kb_test {
protected:
    // Preload and Substitutes from name=data words; one key below Keyboard Layouts per word
    // "name", "name/layout id" or "name/layout id/own" (own: Layout File is this build's DLL).
    void seed_layouts(const char* preload, const char* substitutes, const char* keys)
    {
        std::string text = "[" PRELOAD_KEY "]\n" + value_lines(preload) + "\n[" SUBSTITUTES_KEY "]\n" +
                           value_lines(substitutes) + "\n[" LAYOUTS_KEY "]\n\n";
        std::istringstream words(keys);
        std::string word;
        while (words >> word) {
            std::string name = word.substr(0, word.find('/'));
            text += "[" LAYOUTS_KEY "\\" + name + "]\n";
            bool own = word.size() > 4 && word.compare(word.size() - 4, 4, "/own") == 0;
            text += "\"Layout File\"=" + quoted(own ? DLL_FILE_NAME : "KBDX.DLL") + "\n";
            size_t slash = word.find('/');
            if (slash != std::string::npos)
                text += "\"Layout Id\"=" + quoted(word.substr(slash + 1, 4)) + "\n";
            text += "\n";
        }
        SEED(text.c_str());
    }

    void scan_as_installer()
    {
        strcpy(inv.own_layout_file, OWN_LAYOUT_SEARCH_NAME);
        ASSERT_TRUE(scan_layout_inventory()) << inv.error_text;
        if (inv.own_layout_index != -1)
            strcpy(inv.target_key_name, inv.layout_key_list[inv.own_layout_index].key_name);
    }

    void scan_as_uninstaller(const char* key_name)
    {
        strcpy(inv.target_key_name, key_name);
        ASSERT_TRUE(scan_layout_inventory()) << inv.error_text;
    }

    // The planned lists as blank-separated name=data words, in list order.
    std::string planned_preload()
    {
        std::string words;
        for (int i = 0; i < inv.newpreloadcount; i++)
            words += std::string(words.empty() ? "" : " ") + inv.new_preload_list[i].name + "=" +
                     inv.new_preload_list[i].data;
        return words;
    }
    std::string planned_substitutes()
    {
        std::string words;
        for (int i = 0; i < inv.newsubstitutecount; i++)
            words += std::string(words.empty() ? "" : " ") + inv.new_substitute_list[i].name + "=" +
                     inv.new_substitute_list[i].data;
        return words;
    }

    std::string user_lists() { return dump(PRELOAD_KEY) + dump(SUBSTITUTES_KEY); }
    static std::string lists_text(const char* preload, const char* substitutes)
    {
        return "[" PRELOAD_KEY "]\n" + value_lines(preload) + "\n[" SUBSTITUTES_KEY "]\n" +
               value_lines(substitutes) + "\n";
    }
};

// The installer's creation of the new layout key.
void create_layout_key()
{
    HKEY layouts = reg_open_key_full(HKEY_LOCAL_MACHINE, KEYBOARD_LAYOUTS_PATH);
    ASSERT_NE(nullptr, layouts);
    HKEY key = reg_create_key(layouts, inv.layout_key_name, 0);
    ASSERT_NE(nullptr, key);
    EXPECT_TRUE(reg_set_string(key, LAYOUT_TEXT_VALUE, LAYOUT_TEXT));
    EXPECT_TRUE(reg_set_string(key, LAYOUT_FILE_VALUE, DLL_FILE_NAME));
    EXPECT_TRUE(reg_set_string(key, LAYOUT_ID_VALUE, inv.layout_id_text));
    EXPECT_TRUE(reg_set_string(key, CREATED_BY_EDITOR_VALUE, ""));
    RegCloseKey(key);
    RegCloseKey(layouts);
}

TEST_F(layout_plans, worked_example_install_then_removal)
{
    seed_layouts("1=00000407", "", "00000407 00010407/0012");
    scan_as_installer();
    ASSERT_TRUE(plan_layout_install(-1)) << inv.error_text;
    create_layout_key();
    ASSERT_TRUE(write_preload_substitutes()) << inv.error_text;
    EXPECT_TRUE(inv.preload_rewritten);
    EXPECT_EQ(lists_text("2=00000407 1=d0010407", "d0010407=b0020407"), user_lists());
    EXPECT_EQ("[" LAYOUTS_KEY "\\b0020407]\n"
              "\"Layout Text\"=\"" LAYOUT_TEXT "\"\n"
              "\"Layout File\"=\"" DLL_FILE_NAME "\"\n"
              "\"Layout Id\"=\"0c00\"\n"
              "\"Created by KbdEdit\"=\"\"\n\n",
              dump(LAYOUTS_KEY "\\b0020407"));

    reset_registry_layer();
    reset_layout_inventory();
    scan_as_uninstaller("b0020407");
    plan_layout_removal();
    ASSERT_TRUE(write_preload_substitutes()) << inv.error_text;
    EXPECT_EQ(lists_text("1=00000407", ""), user_lists());
    HKEY layouts = reg_open_key_full(HKEY_LOCAL_MACHINE, KEYBOARD_LAYOUTS_PATH);
    ASSERT_NE(nullptr, layouts);
    EXPECT_TRUE(reg_delete_tree(layouts, "b0020407"));
    RegCloseKey(layouts);
    EXPECT_FALSE(winsim::reg_key_exists(LAYOUTS_KEY "\\b0020407"));
}

// ---- install: key name and Layout Id ----

TEST_F(layout_plans, new_key_follows_the_largest_key_number_and_layout_id)
{
    struct {
        const char* keys;
        const char* key_name;
        const char* layout_id;
    } cases[] = {
        {"00000407 00010407/0012 00020407/00c0 00030407/0bff", "b0040407", "0c00"},
        {"00000407 a00f0407/0c00", "b0100407", "0c01"},
        {"00000407 00000C07/0c0f a0021407", "b0030407", "0c10"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.keys);
        winsim::reset();
        reset_layout_inventory();
        seed_layouts("1=00000407", "", c.keys);
        scan_as_installer();
        ASSERT_TRUE(plan_layout_install(-1));
        EXPECT_STREQ(c.key_name, inv.layout_key_name);
        EXPECT_STREQ(c.layout_id, inv.layout_id_text);
    }
}

// The next number, 0x1000, would give the nine-character b10000407; the lowest free name is taken.
TEST_F(layout_plans, key_name_stays_eight_characters_after_number_fff)
{
    seed_layouts("1=00000407", "", "00000407 bfff0407 b0010407 B0020407 b0040407");
    scan_as_installer();
    ASSERT_EQ(0xfff, inv.max_key_number);
    ASSERT_TRUE(plan_layout_install(-1)) << inv.error_text;
    EXPECT_STREQ("b0030407", inv.layout_key_name);
}

// The German family's largest id + 1 collides with a layout of another language.
TEST_F(layout_plans, layout_id_is_unique_among_all_languages)
{
    seed_layouts("1=00000407", "", "00000407 00010407/0012 a0000409/0c00 a0010409/0c01 00000809/0c03");
    scan_as_installer();
    ASSERT_TRUE(plan_layout_install(-1)) << inv.error_text;
    EXPECT_STREQ("0c02", inv.layout_id_text);
}

TEST_F(layout_plans, layout_id_keeps_four_digits_after_ffff)
{
    seed_layouts("1=00000407", "", "00000407 a0010407/ffff a0020407/0c00");
    scan_as_installer();
    ASSERT_TRUE(plan_layout_install(-1)) << inv.error_text;
    EXPECT_STREQ("0c01", inv.layout_id_text);
}

TEST_F(layout_plans, free_layout_id_of_the_german_family_is_kept_over_lower_free_ones)
{
    seed_layouts("1=00000407", "", "00000407 a0010407/0c05 a0000409/0c00");
    scan_as_installer();
    ASSERT_TRUE(plan_layout_install(-1)) << inv.error_text;
    EXPECT_STREQ("0c06", inv.layout_id_text);
}

TEST_F(layout_plans, no_free_layout_id_fails_and_nothing_is_written)
{
    seed_layouts("1=00000407", "", "00000407");
    scan_as_installer();
    for (unsigned id = 0xc00; id < 0x10000; id++)
        inv.layout_ids_in_use[id / 8] |= (unsigned char)(1u << (id % 8));
    std::string before = user_lists();
    EXPECT_FALSE(plan_layout_install(-1));
    EXPECT_STREQ("Keine freie Layout Id für die neue Tastaturbelegung (0c00 bis ffff sind alle belegt)",
                 inv.error_text);
    EXPECT_STREQ("", inv.layout_key_name);
    EXPECT_EQ(0, inv.newpreloadcount);
    EXPECT_FALSE(write_preload_substitutes());
    EXPECT_EQ(before, user_lists());
}

TEST_F(layout_plans, existing_key_is_taken_over_with_its_layout_id)
{
    seed_layouts("1=00000407", "d0090407=b0090407", "00000407 b0070407/0c0a/own b0090407/0c0b");
    scan_as_installer();
    ASSERT_EQ(1, inv.own_layout_index);
    ASSERT_FALSE(inv.own_layout_in_use);
    ASSERT_TRUE(plan_layout_install(inv.own_layout_index)) << inv.error_text;
    EXPECT_STREQ("b0070407", inv.layout_key_name);
    EXPECT_STREQ("0c0a", inv.layout_id_text);
    EXPECT_EQ("2=00000407 1=d0010407", planned_preload());
    EXPECT_EQ("d0010407=b0070407", planned_substitutes());
}

TEST_F(layout_plans, install_refuses_an_existing_target_key)
{
    seed_layouts("1=00000407", "", "00000407 b0010407");
    strcpy(inv.target_key_name, "B0010407");
    ASSERT_TRUE(scan_layout_inventory());
    std::string before = user_lists();
    EXPECT_FALSE(plan_layout_install(-1));
    EXPECT_STREQ("Schlüssel schon vorhanden", inv.error_text);
    EXPECT_EQ(0, inv.newpreloadcount);
    EXPECT_FALSE(write_preload_substitutes());
    EXPECT_STREQ("INTERNER FEHLER: newpreloadcount ist 0!", inv.error_text);
    EXPECT_EQ(before, user_lists());
}

TEST_F(layout_plans, install_refuses_a_full_preload_list)
{
    seed_layouts("1=00000407", "", "00000407");
    scan_as_installer();
    inv.preload_count = LAYOUT_LIST_CAPACITY;
    EXPECT_FALSE(plan_layout_install(-1));
    EXPECT_EQ(0, strncmp("Kein Platz", inv.error_text, 10)) << inv.error_text;
    EXPECT_EQ(0, inv.newpreloadcount);
}

TEST_F(layout_plans, install_with_99_entries_plans_all_100)
{
    std::string preload;
    for (int n = 1; n <= 99; n++) {
        char word[32];
        snprintf(word, sizeof word, "%d=00000%03x ", n, (unsigned)n);
        preload += word;
    }
    seed_layouts(preload.c_str(), "", "00000407");
    scan_as_installer();
    ASSERT_EQ(99, inv.preload_count);
    ASSERT_TRUE(plan_layout_install(-1)) << inv.error_text;
    ASSERT_EQ(100, inv.newpreloadcount);
    EXPECT_STREQ("1", inv.new_preload_list[98].name);
    // The entry that was 99 is now 100, beyond the walked numbers, and follows the others.
    EXPECT_STREQ("100", inv.new_preload_list[99].name);
    EXPECT_STREQ("00000063", inv.new_preload_list[99].data);
}

// ---- install: planned lists ----

TEST_F(layout_plans, install_gives_every_other_custom_layout_a_fresh_d_name)
{
    seed_layouts("1=00000407 2=d0010407 3=d0050407", "d0010407=a0000409 d0050407=b0010407 d0070407=b0020407",
                 "00000407 b0010407 b0020407");
    scan_as_installer();
    ASSERT_TRUE(plan_layout_install(-1));
    EXPECT_EQ("2=00000407 1=d0010407 3=d0020407 4=d0030407", planned_preload());
    // The Substitutes value d0070407 that no Preload entry names is not planned.
    EXPECT_EQ("d0010407=b0030407 d0020407=a0000409 d0030407=b0010407", planned_substitutes());
}

TEST_F(layout_plans, standard_data_keep_their_name_and_are_written_first)
{
    seed_layouts("1=00000407", "00000407=00010407", "00000407 00010407 b0010407");
    scan_as_installer();
    ASSERT_TRUE(plan_layout_install(-1));
    EXPECT_EQ("2=00000407 1=d0010407", planned_preload());
    EXPECT_EQ("00000407=00010407 d0010407=b0020407", planned_substitutes());
    // Written with the standard names first even when planned later.
    inv.new_substitute_list[0] = {"d0010407", "b0020407"};
    inv.new_substitute_list[1] = {"00000407", "00010407"};
    ASSERT_TRUE(write_preload_substitutes()) << inv.error_text;
    EXPECT_EQ(lists_text("2=00000407 1=d0010407", "00000407=00010407 d0010407=b0020407"),
              user_lists());
}

TEST_F(layout_plans, non_canonical_names_keep_name_and_number)
{
    seed_layouts("01=00000407 2=00000409 abc=00000809", "", "00000407");
    scan_as_installer();
    ASSERT_TRUE(plan_layout_install(-1));
    EXPECT_EQ("abc=00000809 01=00000407 3=00000409 1=d0010407", planned_preload());
}

// Canonical name 0 would become 1 next to the product's 1, and one of them would be lost.
TEST_F(layout_plans, install_keeps_an_entry_named_0_at_0)
{
    seed_layouts("0=00000409 1=00000407", "", "00000407");
    scan_as_installer();
    ASSERT_TRUE(plan_layout_install(-1));
    ASSERT_TRUE(write_preload_substitutes());
    EXPECT_EQ(lists_text("0=00000409 2=00000407 1=d0010407", "d0010407=b0010407"), user_lists());
}

TEST_F(layout_plans, install_places_entries_beyond_99_and_below_0_after_the_others)
{
    seed_layouts("150=00000409 1=00000407 -4=d0010407 120=00000809 0150=00000c07",
                 "d0010407=a0000409", "00000407");
    scan_as_installer();
    ASSERT_TRUE(plan_layout_install(-1));
    // After renumbering: -4, 121, 150 (0150) and 151 (150), in that order from place 3 on.
    EXPECT_EQ("2=00000407 1=d0010407 3=d0020407 4=00000809 5=00000c07 6=00000409", planned_preload());
    EXPECT_EQ("d0010407=b0010407 d0020407=a0000409", planned_substitutes());
}

// ---- update ----

TEST_F(layout_plans, update_moves_the_layout_to_place_1_and_keeps_substitutes)
{
    seed_layouts("1=00000407 2=d0010407", "d0010407=b0010407 d0090407=a0000409",
                 "00000407 b0010407/0c00/own");
    scan_as_installer();
    ASSERT_TRUE(inv.own_layout_in_use);
    ASSERT_TRUE(plan_layout_update());
    EXPECT_TRUE(inv.keep_substitutes);
    std::string substitutes_before = dump(SUBSTITUTES_KEY);
    ASSERT_TRUE(write_preload_substitutes());
    EXPECT_EQ("[" PRELOAD_KEY "]\n\"2\"=\"00000407\"\n\"1\"=\"d0010407\"\n\n", dump(PRELOAD_KEY));
    EXPECT_EQ(substitutes_before, dump(SUBSTITUTES_KEY));
}

TEST_F(layout_plans, update_renumbers_only_up_to_the_layouts_place)
{
    seed_layouts("1=00000407 2=00000409 3=d0020407 4=00000809 05=00000c07 0=00001407",
                 "d0020407=b0010407", "00000407 b0010407/0c00/own");
    scan_as_installer();
    ASSERT_TRUE(plan_layout_update());
    // 0 stays 0: moving it up as well would give two entries place 1.
    EXPECT_EQ("2=00000407 3=00000409 4=00000809 05=00000c07 1=d0020407 0=00001407",
              planned_preload());
}

TEST_F(layout_plans, update_places_entries_beyond_the_count_after_the_others)
{
    seed_layouts("1=00000407 7=00000409 2=d0020407 -1=00000809", "d0020407=b0010407",
                 "00000407 b0010407/0c00/own");
    scan_as_installer();
    ASSERT_TRUE(plan_layout_update());
    EXPECT_EQ("2=00000407 1=d0020407 3=00000809 4=00000409", planned_preload());
}

TEST_F(layout_plans, update_writes_nothing_when_the_layout_needs_no_move)
{
    const char* cases[][2] = {
        {"1=d0010407 2=00000407", "layout at place 1"},
        {"02=d0010407 1=00000407", "layout under a non-canonical name"},
        {"0=d0010407 1=00000407", "layout at place 0"},
        {"1=00000407 2=b0010407", "layout named directly, not substituted"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c[1]);
        winsim::reset();
        reset_registry_layer();
        reset_layout_inventory();
        seed_layouts(c[0], "d0010407=b0010407", "00000407 b0010407/0c00/own");
        scan_as_installer();
        ASSERT_TRUE(inv.own_layout_in_use);
        std::string before = user_lists();
        EXPECT_TRUE(plan_layout_update());
        EXPECT_TRUE(inv.preload_unchanged || inv.layout_not_listed);
        EXPECT_TRUE(write_preload_substitutes());
        EXPECT_FALSE(inv.preload_rewritten);
        EXPECT_EQ(before, user_lists());
    }
}

TEST_F(layout_plans, update_without_the_products_key_fails_and_writes_nothing)
{
    seed_layouts("1=00000407", "", "00000407");
    scan_as_installer();
    std::string before = user_lists();
    EXPECT_FALSE(plan_layout_update());
    EXPECT_STREQ("Schlüssel nicht vorhanden", inv.error_text);
    EXPECT_TRUE(inv.preload_unchanged);
    EXPECT_TRUE(write_preload_substitutes());
    EXPECT_EQ(before, user_lists());
}

// ---- removal ----

TEST_F(layout_plans, removal_of_a_later_entry)
{
    seed_layouts("1=00000407 2=d0010407", "d0010407=b0010407", "00000407 b0010407");
    scan_as_uninstaller("b0010407");
    ASSERT_TRUE(plan_layout_removal());
    EXPECT_EQ("1=00000407", planned_preload());
    EXPECT_EQ("", planned_substitutes());
}

TEST_F(layout_plans, removal_of_the_first_entry_moves_standard_layouts_forward)
{
    seed_layouts("1=d0010407 2=d0020407 3=00000409", "d0010407=B0010407 d0020407=a0000409",
                 "00000407 b0010407");
    scan_as_uninstaller("b0010407");
    ASSERT_TRUE(plan_layout_removal());
    EXPECT_EQ("1=00000409 2=d0010407", planned_preload());
    EXPECT_EQ("d0010407=a0000409", planned_substitutes());
}

TEST_F(layout_plans, removal_lets_the_neighbour_inherit_the_standard_name)
{
    seed_layouts("1=00000407 2=d0010407", "00000407=b0010407 d0010407=a0000409", "00000407 b0010407");
    scan_as_uninstaller("b0010407");
    ASSERT_TRUE(plan_layout_removal());
    EXPECT_EQ("1=00000407", planned_preload());
    EXPECT_EQ("00000407=a0000409", planned_substitutes());
}

TEST_F(layout_plans, removal_inheritance_by_the_previous_entry)
{
    seed_layouts("1=d0010407 2=d0020407 3=00000407", "d0010407=a0000409 d0020407=a0010409 00000407=b0010407",
                 "00000407 b0010407");
    scan_as_uninstaller("b0010407");
    ASSERT_TRUE(plan_layout_removal());
    EXPECT_EQ("1=d0010407 2=00000407", planned_preload());
    EXPECT_EQ("d0010407=a0000409 00000407=a0010409", planned_substitutes());
}

TEST_F(layout_plans, removal_places_non_canonical_names_last)
{
    seed_layouts("01=00010407 1=00000409 2=d0010407 3=00000809", "d0010407=b0010407 00010407=a0000409",
                 "00000407 00010407 b0010407");
    scan_as_uninstaller("b0010407");
    ASSERT_TRUE(plan_layout_removal());
    EXPECT_EQ("1=00000409 2=00000809 3=d0010407", planned_preload());
    EXPECT_EQ("d0010407=a0000409", planned_substitutes());
}

TEST_F(layout_plans, removal_places_entries_beyond_201_and_below_0_after_the_others)
{
    seed_layouts("250=00000809 1=00000409 -3=00000c07 2=d0010407 x=00001407 202=d0020407",
                 "d0010407=b0010407 d0020407=a0000409", "00000407 b0010407");
    scan_as_uninstaller("b0010407");
    ASSERT_TRUE(plan_layout_removal());
    // x is neither canonical nor standard and gets 200; -3, 202 and 250 lie outside 0 to 201
    // and follow under places 3, 4 and 5.
    EXPECT_EQ("1=00000409 2=00001407 3=00000c07 5=00000809 4=d0010407", planned_preload());
    EXPECT_EQ("d0010407=a0000409", planned_substitutes());
}

TEST_F(layout_plans, removal_of_an_unlisted_layout_writes_nothing)
{
    seed_layouts("1=00000407 2=b0010407", "d0010407=b0010407", "00000407 b0010407");
    scan_as_uninstaller("b0010407");
    std::string before = user_lists();
    EXPECT_TRUE(plan_layout_removal());
    EXPECT_TRUE(inv.layout_not_listed);
    EXPECT_TRUE(write_preload_substitutes());
    EXPECT_EQ(before, user_lists());
}

TEST_F(layout_plans, removal_of_the_only_entry_is_refused_by_the_write)
{
    seed_layouts("1=d0010407", "d0010407=b0010407", "00000407 b0010407");
    scan_as_uninstaller("b0010407");
    std::string before = user_lists();
    EXPECT_TRUE(plan_layout_removal());
    EXPECT_FALSE(write_preload_substitutes());
    EXPECT_STREQ("INTERNER FEHLER: newpreloadcount ist 0!", inv.error_text);
    EXPECT_EQ(before, user_lists());
}

TEST_F(layout_plans, removal_guards)
{
    seed_layouts("1=00000407", "", "00000407 b0010407");
    scan_as_uninstaller("b0020407");
    EXPECT_FALSE(plan_layout_removal());
    EXPECT_STREQ("Schlüssel nicht vorhanden", inv.error_text);

    reset_layout_inventory();
    scan_as_uninstaller("00000407");
    EXPECT_FALSE(plan_layout_removal());
    EXPECT_STREQ("Standard-Layout kann nicht entfernt werden", inv.error_text);
    EXPECT_EQ(0, inv.newpreloadcount);
}

// ---- write failures ----

class list_write : public layout_plans {
protected:
    void SetUp() override
    {
        layout_plans::SetUp();
        seed_layouts("1=00000407 2=d0010407", "d0010407=a0000409", "00000407");
        scan_as_installer();
        ASSERT_TRUE(plan_layout_install(-1));
    }
};

TEST_F(list_write, parent_key_that_cannot_be_opened)
{
    std::string before = user_lists();
    winsim::fail_call("RegOpenKeyExA", "HKEY_CURRENT_USER\\Keyboard Layout", ERROR_ACCESS_DENIED);
    EXPECT_FALSE(write_preload_substitutes());
    EXPECT_STREQ("Warnung:\nFehler beim Öffnen des Registry-Keys HKEY_CURRENT_USER\\Keyboard Layout",
                 inv.error_text);
    EXPECT_FALSE(inv.preload_rewritten);
    EXPECT_EQ(before, user_lists());
}

TEST_F(list_write, preload_that_cannot_be_deleted_still_lets_substitutes_be_written)
{
    winsim::reg_deny_delete(PRELOAD_KEY);
    EXPECT_FALSE(write_preload_substitutes());
    EXPECT_STREQ("Warnung:\nFehler beim Löschen des Registry-Keys Keyboard Layout - Preload",
                 inv.error_text);
    EXPECT_FALSE(inv.preload_rewritten);
    EXPECT_EQ(lists_text("1=00000407 2=d0010407", "d0010407=b0010407 d0020407=a0000409"),
              user_lists());
}

TEST_F(list_write, substitutes_that_cannot_be_recreated_leave_preload_written)
{
    winsim::reg_deny_create(SUBSTITUTES_KEY);
    EXPECT_FALSE(write_preload_substitutes());
    EXPECT_STREQ("Warnung:\nFehler beim Wiedererstellen des Registry-Keys Keyboard Layout - Substitutes",
                 inv.error_text);
    EXPECT_TRUE(inv.preload_rewritten);
    EXPECT_EQ("[" PRELOAD_KEY "]\n\"2\"=\"00000407\"\n\"1\"=\"d0010407\"\n\"3\"=\"d0020407\"\n\n",
              dump(PRELOAD_KEY));
    EXPECT_FALSE(winsim::reg_key_exists(SUBSTITUTES_KEY));
}

// A value that cannot be written is reported; the values after it are still written.
TEST_F(list_write, a_value_that_cannot_be_written_is_reported_and_the_rest_is_written)
{
    winsim::fail_call("RegSetValueExA", PRELOAD_KEY, ERROR_ACCESS_DENIED, -1, 1);
    EXPECT_FALSE(write_preload_substitutes());
    EXPECT_STREQ("Warnung:\nFehler beim Schreiben in den Registry-Key Keyboard Layout - Preload "
                 "(Wert 2)",
                 inv.error_text);
    EXPECT_TRUE(inv.preload_rewritten);
    EXPECT_EQ("[" PRELOAD_KEY "]\n\"1\"=\"d0010407\"\n\"3\"=\"d0020407\"\n\n", dump(PRELOAD_KEY));
    EXPECT_EQ("[" SUBSTITUTES_KEY "]\n\"d0010407\"=\"b0010407\"\n\"d0020407\"=\"a0000409\"\n\n",
              dump(SUBSTITUTES_KEY));
}

TEST_F(list_write, the_last_failure_is_reported)
{
    winsim::reg_deny_create(PRELOAD_KEY);
    winsim::reg_deny_delete(SUBSTITUTES_KEY);
    EXPECT_FALSE(write_preload_substitutes());
    EXPECT_STREQ("Warnung:\nFehler beim Löschen des Registry-Keys Keyboard Layout - Substitutes",
                 inv.error_text);
    EXPECT_FALSE(inv.preload_rewritten);
    EXPECT_FALSE(winsim::reg_key_exists(PRELOAD_KEY));
}

}  // namespace
