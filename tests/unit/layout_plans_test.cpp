// Tests of the install, update and removal plans and of the list write, on the simulated registry.
#include "sweep_support.h"

#include <string.h>

#include <algorithm>
#include <set>
#include <sstream>
#include <string>

#include "layout_registry/layout_plans.h"
#include "layout_registry/list_rewrite.h"
#include <winsim/machine_image.h>
#include "product_constants.h"

namespace {

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

    // A fresh machine with these layout keys and Preload 1 = 00000407, planned for a new key.
    void plan_new_key_beside(const char* keys)
    {
        winsim::reset();
        reset_layout_inventory();
        seed_layouts("1=00000407", "", keys);
        scan_as_installer();
        ASSERT_TRUE(plan_layout_install(-1)) << inv.error_text;
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
    // Place 1 exists already and keeps its place in the key; place 2 is appended after it.
    EXPECT_EQ(lists_text("1=d0010407 2=00000407", "d0010407=b0020407"), user_lists());
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
        plan_new_key_beside(c.keys);
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

// Windows loads a layout under 0xF000 plus the low twelve bits of its Layout Id: 1c00 loads
// as 0c00, and an id above 0fff as a smaller one.
TEST_F(layout_plans, a_new_layout_id_lies_in_0c00_to_0fff_and_aliases_no_other)
{
    const struct {
        const char* keys;
        const char* id;
    } cases[] = {
        {"00000407 a0010407/0fff a0000409/1c00", "0c01"},
        {"00000407 a0010407/0c04 a0000409/1c05 a0000809/2c00", "0c01"},
        {"00000407 a0010407/1c00", "0c01"},
        {"00000407 a0010407/0bff a0000409/fc00", "0c01"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.keys);
        plan_new_key_beside(c.keys);
        EXPECT_STREQ(c.id, inv.layout_id_text);
    }
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
    for (unsigned id = 0xc00; id <= 0xfff; id++)
        inv.layout_ids_in_use[id / 8] |= (unsigned char)(1u << (id % 8));
    std::string before = user_lists();
    EXPECT_FALSE(plan_layout_install(-1));
    EXPECT_STREQ("Keine freie Layout Id für die neue Tastaturbelegung (0c00 bis 0fff sind alle belegt)",
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
    EXPECT_EQ(lists_text("1=d0010407 2=00000407", "00000407=00010407 d0010407=b0020407"),
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
    EXPECT_EQ(lists_text("0=00000409 1=d0010407 2=00000407", "d0010407=b0010407"), user_lists());
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
    EXPECT_EQ("[" PRELOAD_KEY "]\n\"1\"=\"d0010407\"\n\"2\"=\"00000407\"\n\n", dump(PRELOAD_KEY));
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

// ---- the list write ----

#define JOURNAL_KEY "HKEY_CURRENT_USER\\" LIST_JOURNAL_KEY_PATH

bool is_list_key(const std::string& subject)
{
    return subject.rfind(PRELOAD_KEY, 0) == 0 || subject.rfind(SUBSTITUTES_KEY, 0) == 0;
}

bool changes_a_value(const winsim::logged_call& call)
{
    return call.call == "RegSetValueExA" || call.call == "RegDeleteValueA";
}

class list_write : public layout_plans {
protected:
    void SetUp() override
    {
        layout_plans::SetUp();
        plan_install_with_a_custom_layout();
    }
    void plan_install_with_a_custom_layout()
    {
        seed_layouts("1=00000407 2=d0010407", "d0010407=a0000409", "00000407");
        scan_as_installer();
        ASSERT_TRUE(plan_layout_install(-1));
    }
    std::string planned_lists()
    {
        return lists_text("1=d0010407 2=00000407 3=d0020407",
                          "d0010407=b0010407 d0020407=a0000409");
    }
    // The first step of the next run of either program.
    bool next_run_finishes()
    {
        reset_registry_layer();
        reset_layout_inventory();
        reset_list_rewrite();
        return finish_interrupted_list_rewrite();
    }
    void seed_journal(const char* text)
    {
        SEED(("[" JOURNAL_KEY "]\n\"" LIST_JOURNAL_VALUE "\"=\"" + std::string(text) + "\"\n").c_str());
    }
};

TEST_F(list_write, the_keys_are_changed_in_place_and_end_exactly_as_planned)
{
    winsim::clear_call_log();
    ASSERT_TRUE(write_preload_substitutes()) << inv.error_text;
    EXPECT_TRUE(inv.preload_rewritten);
    EXPECT_EQ(planned_lists(), user_lists());
    EXPECT_FALSE(winsim::reg_key_exists(JOURNAL_KEY));
    for (const winsim::logged_call& call : winsim::call_log())
        EXPECT_FALSE(call.call == "RegDeleteKeyA" && is_list_key(call.subject)) << call.subject;
}

TEST_F(list_write, the_journal_comes_before_the_first_change_and_goes_after_the_last)
{
    winsim::clear_call_log();
    ASSERT_TRUE(write_preload_substitutes()) << inv.error_text;
    const auto& log = winsim::call_log();
    size_t journal_written = log.size(), first_change = log.size(), last_change = 0,
           journal_removed = 0;
    for (size_t i = 0; i < log.size(); i++) {
        if (log[i].subject == JOURNAL_KEY && log[i].call == "RegSetValueExA")
            journal_written = std::min(journal_written, i);
        if (log[i].subject == JOURNAL_KEY && log[i].call == "RegDeleteValueA")
            journal_removed = i;
        if (is_list_key(log[i].subject) && changes_a_value(log[i])) {
            first_change = std::min(first_change, i);
            last_change = i;
        }
    }
    EXPECT_LT(journal_written, first_change);
    EXPECT_LT(last_change, journal_removed);
}

// The user's lists of each plan, and every call of the write made to fail in turn: no layout
// becomes unreachable, and the next run's first step ends in the planned lists (or, when the
// journal was not written yet, leaves the lists as they were).
TEST_F(list_write, after_any_failing_call_every_layout_is_reachable_and_the_next_run_finishes)
{
    struct shape {
        const char *preload, *substitutes, *keys, *removed;
    };
    const shape shapes[] = {
        {"1=00000407 2=d0010407", "d0010407=a0000409", "00000407", nullptr},
        // An update: the Substitutes stay, Preload moves the product's layout to place 1.
        {"1=00000407 2=d0010407", "d0010407=b0010407", "00000407 b0010407/0c00/own", nullptr},
        // A removal after which d0020407 names the layout that d0030407 named before.
        {"1=d0010407 2=d0020407 3=d0030407",
         "d0010407=a0000409 d0020407=b0050407 d0030407=a0010409", "b0050407", "b0050407"},
        // Names that trade places, and a standard layout named through Substitutes.
        {"1=d0020407 2=d0010407 3=00000407", "d0010407=a0000409 d0020407=a0010409 00000407=00010407",
         "00000407", nullptr},
    };
    for (const shape& lists : shapes) {
        SCOPED_TRACE(lists.preload);
        // The lists as one uninterrupted write leaves them, and its number of calls.
        auto plan = [&]() {
            winsim::reset();
            reset_registry_layer();
            reset_layout_inventory();
            reset_list_rewrite();
            seed_layouts(lists.preload, lists.substitutes, lists.keys);
            if (lists.removed) {
                scan_as_uninstaller(lists.removed);
                ASSERT_TRUE(plan_layout_removal()) << inv.error_text;
            } else {
                scan_as_installer();
                ASSERT_TRUE(inv.own_layout_index == -1 ? plan_layout_install(-1)
                                                       : plan_layout_update());
            }
            winsim::clear_call_log();
        };
        plan();
        std::set<std::string> layouts = resolved_user_layouts();
        if (lists.removed)
            layouts.erase(lists.removed);
        const std::string before = user_lists();
        ASSERT_TRUE(write_preload_substitutes()) << inv.error_text;
        const std::string planned = user_lists();
        const size_t calls = winsim::call_log().size();

        for (unsigned long n = 1; n <= calls; n++) {
            SCOPED_TRACE("call " + std::to_string(n));
            plan();
            winsim::fail_nth_call(n, ERROR_ACCESS_DENIED);
            bool written = write_preload_substitutes();
            winsim::clear_faults();
            // A handle whose close failed stays open; every other is closed.
            bool close_failed = winsim::call_log()[n - 1].call == "RegCloseKey";
            EXPECT_EQ(close_failed ? 1 : 0, winsim::reg_open_handle_count());
            if (close_failed) {  // the program ends, and its handles with it
                ASSERT_TRUE(winsim::load_machine_image(winsim::save_machine_image()));
            }
            std::set<std::string> reachable = resolved_user_layouts();
            for (const std::string& layout : layouts)
                EXPECT_TRUE(reachable.count(layout)) << "lost " << layout;
            if (written) {
                EXPECT_EQ(planned, user_lists());
                continue;
            }
            bool journal = winsim::reg_key_exists(JOURNAL_KEY);
            SCOPED_TRACE("failed " + winsim::call_log()[n - 1].call + "(" +
                         winsim::call_log()[n - 1].subject + "), leaving " + user_lists() +
                         dump(JOURNAL_KEY));
            ASSERT_TRUE(next_run_finishes()) << inv.error_text;
            EXPECT_FALSE(winsim::reg_key_exists(JOURNAL_KEY));
            EXPECT_EQ(journal ? planned : before, user_lists());
        }
    }
}

TEST_F(list_write, a_key_that_cannot_be_opened_changes_nothing_and_keeps_the_journal)
{
    std::string before = user_lists();
    winsim::reg_deny_access(SUBSTITUTES_KEY, KEY_SET_VALUE);
    EXPECT_FALSE(write_preload_substitutes());
    EXPECT_STREQ("Warnung:\nFehler beim Öffnen des Registry-Keys HKEY_CURRENT_USER\\Keyboard "
                 "Layout\\Substitutes",
                 inv.error_text);
    EXPECT_FALSE(inv.preload_rewritten);
    EXPECT_EQ(before, user_lists());
    EXPECT_TRUE(winsim::reg_key_exists(JOURNAL_KEY));
}

TEST_F(list_write, a_journal_that_cannot_be_written_changes_nothing)
{
    std::string before = user_lists();
    winsim::fail_call("RegSetValueExA", JOURNAL_KEY, ERROR_ACCESS_DENIED);
    EXPECT_FALSE(write_preload_substitutes());
    EXPECT_STREQ("Warnung:\nFehler beim Schreiben des Registry-Keys HKEY_CURRENT_USER\\"
                 LIST_JOURNAL_KEY_PATH,
                 inv.error_text);
    EXPECT_EQ(before, user_lists());
    EXPECT_FALSE(winsim::reg_key_exists(JOURNAL_KEY));
}

TEST_F(list_write, layouts_the_user_added_after_a_stop_keep_a_place_when_the_change_is_finished)
{
    winsim::fail_call("RegDeleteValueA", PRELOAD_KEY, ERROR_ACCESS_DENIED, -1, 1);
    ASSERT_FALSE(write_preload_substitutes());
    ASSERT_TRUE(winsim::reg_key_exists(JOURNAL_KEY));
    // Meanwhile the user adds the US layout in the language settings.
    SEED("[" PRELOAD_KEY "]\n\"9\"=\"00000409\"\n");
    ASSERT_TRUE(next_run_finishes()) << inv.error_text;
    EXPECT_EQ(lists_text("1=d0010407 2=00000407 3=d0020407 4=00000409",
                         "d0010407=b0010407 d0020407=a0000409"),
              user_lists());
}

TEST_F(list_write, a_journal_that_holds_no_plan_goes_and_the_lists_stay)
{
    std::string before = user_lists();
    seed_journal("Q:nothing we wrote");
    ASSERT_TRUE(next_run_finishes()) << inv.error_text;
    EXPECT_EQ(before, user_lists());
    EXPECT_FALSE(winsim::reg_key_exists(JOURNAL_KEY));
}

TEST_F(list_write, an_empty_journal_key_goes)
{
    SEED("[" JOURNAL_KEY "]\n");
    ASSERT_TRUE(next_run_finishes());
    EXPECT_FALSE(winsim::reg_key_exists(JOURNAL_KEY));
}

TEST_F(list_write, a_journal_that_cannot_be_read_stops_the_run_before_anything_changes)
{
    seed_journal("P:1=00000407");
    std::string before = user_lists();
    winsim::fail_call("RegQueryValueExA", JOURNAL_KEY, ERROR_ACCESS_DENIED);
    EXPECT_FALSE(next_run_finishes());
    EXPECT_STREQ("Fehler beim Lesen des Registry-Keys HKEY_CURRENT_USER\\" LIST_JOURNAL_KEY_PATH,
                 inv.error_text);
    EXPECT_EQ(before, user_lists());
    EXPECT_TRUE(winsim::reg_key_exists(JOURNAL_KEY));
}

TEST_F(list_write, the_journal_keeps_any_name_and_data)
{
    reset_layout_inventory();
    reset_list_rewrite();
    const char* names[] = {"1", "a;b", "x=y", "100%", "p|q", "tab\there", ""};
    for (const char* name : names) {
        preload_entry* record = &inv.new_preload_list[inv.newpreloadcount++];
        record->name = name;
        record->data = "d0010407";
    }
    inv.new_substitute_list[0] = {"d0010407", "b0010407"};
    inv.newsubstitutecount = 1;
    strcpy(list_rewrite.removed_layout, "b0020407");
    char text[LIST_JOURNAL_SIZE];
    ASSERT_TRUE(encode_list_journal(text, sizeof text));
    EXPECT_EQ(std::string::npos, std::string(text).find('\t'));

    reset_layout_inventory();
    reset_list_rewrite();
    ASSERT_TRUE(decode_list_journal(text)) << text;
    ASSERT_EQ(7, inv.newpreloadcount);
    for (int i = 0; i < 7; i++)
        EXPECT_STREQ(names[i], inv.new_preload_list[i].name);
    EXPECT_STREQ("d0010407", inv.new_preload_list[6].data);
    ASSERT_EQ(1, inv.newsubstitutecount);
    EXPECT_STREQ("b0010407", inv.new_substitute_list[0].data);
    EXPECT_FALSE(inv.keep_substitutes);
    EXPECT_STREQ("b0020407", list_rewrite.removed_layout);

    EXPECT_TRUE(decode_list_journal("P:1=00000407"));
    EXPECT_TRUE(inv.keep_substitutes);
    const char* not_journals[] = {"", "P:", "S:a=b", "P:a", "P:a=b=c", "P:a=%4", "P:a=%zz",
                                  "P:a=b|Q:c", "P:a=b|S:c", "P:a=b;", "P:a=b\tc"};
    for (const char* text : not_journals)
        EXPECT_FALSE(decode_list_journal(text)) << text;
    std::string too_long = "P:1=" + std::string(MAX_PATH, 'a');
    EXPECT_FALSE(decode_list_journal(too_long.c_str()));
}

}  // namespace
