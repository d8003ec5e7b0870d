// The list change write by write: Preload's places 1 to n and every layout reached after each write, for several users, each plan and the finishing of a stopped change; the languages of substitution names.
#include "list_watch.h"
#include "test_support.h"

#include "program_state.h"

#include <string.h>

#include <algorithm>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <winsim/machine_image.h>

#include "installer_flow.h"
#include "layout_registry/layout_plans.h"
#include "layout_registry/list_rewrite.h"

namespace {

#define PRELOAD_KEY "HKEY_CURRENT_USER\\Keyboard Layout\\Preload"
#define SUBSTITUTES_KEY "HKEY_CURRENT_USER\\Keyboard Layout\\Substitutes"
#define JOURNAL_KEY "HKEY_CURRENT_USER\\" LIST_JOURNAL_KEY_PATH
// The key the installer registers beside the German fixture's keys.
#define PRODUCT_KEY "b0040407"

enum class plan_kind { install, update, removal };

// One user's lists before the change and the plan the change carries out.
struct list_case {
    const char* user;
    const char* preload;      // blank-separated name=data words, in enumeration order
    const char* substitutes;  // the same
    plan_kind kind;
};

// The users of every start state, each with each plan: the product's layout is last before an
// update (at place 1 nothing moves), last or first before a removal.
const list_case all_cases[] = {
    {"German alone", "1=00000407", "", plan_kind::install},
    {"German alone", "1=00000407 2=d0010407", "d0010407=b0040407", plan_kind::update},
    {"German alone", "1=00000407 2=d0010407", "d0010407=b0040407", plan_kind::removal},
    {"German alone", "1=d0010407 2=00000407", "d0010407=b0040407", plan_kind::removal},
    {"three layouts", "1=00000407 2=d0010409 3=00000807", "d0010409=00010409", plan_kind::install},
    {"three layouts", "1=00000407 2=d0020409 3=00000807 4=d0010407",
     "d0010407=b0040407 d0020409=00010409", plan_kind::update},
    {"three layouts", "1=00000407 2=d0020409 3=00000807 4=d0010407",
     "d0010407=b0040407 d0020409=00010409", plan_kind::removal},
    {"three layouts", "1=d0010407 2=00000407 3=d0020409 4=00000807",
     "d0010407=b0040407 d0020409=00010409", plan_kind::removal},
    {"all through Substitutes", "1=d0010409 2=00000407", "d0010409=00020409 00000407=00010407",
     plan_kind::install},
    {"all through Substitutes", "1=d0020409 2=00000407 3=d0010407",
     "d0010407=b0040407 d0020409=00020409 00000407=00010407", plan_kind::update},
    {"all through Substitutes", "1=d0020409 2=00000407 3=d0010407",
     "d0010407=b0040407 d0020409=00020409 00000407=00010407", plan_kind::removal},
    {"all through Substitutes", "1=d0010407 2=d0020409 3=00000407",
     "d0010407=b0040407 d0020409=00020409 00000407=00010407", plan_kind::removal},
};

const char* kind_name(plan_kind kind)
{
    return kind == plan_kind::install ? "install" : kind == plan_kind::update ? "update" : "removal";
}

std::string value_lines(const char* pairs)
{
    std::istringstream words(pairs);
    std::string word, lines;
    while (words >> word) {
        size_t equals = word.find('=');
        lines += "\"" + word.substr(0, equals) + "\"=\"" + word.substr(equals + 1) + "\"\n";
    }
    return lines;
}

class list_numbering : public kb_test {
protected:
    // A fresh machine with the German fixture, the product's key unless the case installs it,
    // and the case's lists; then the scan and the plan as the program makes them.
    void plan(const list_case& c)
    {
        winsim::reset();
        reset_program_state("Install_" DLL_BASE_NAME);
        seed(german_windows_fixture);
        if (c.kind != plan_kind::install)
            SEED(LAYOUTS "\\" PRODUCT_KEY "]\n\"Layout File\"=\"" DLL_FILE_NAME "\"\n"
                 "\"Layout Id\"=\"0c00\"\n");
        std::string lists = "[-" PRELOAD_KEY "]\n[" PRELOAD_KEY "]\n" + value_lines(c.preload) +
                            "\n[-" SUBSTITUTES_KEY "]\n[" SUBSTITUTES_KEY "]\n" +
                            value_lines(c.substitutes);
        SEED(lists.c_str());
        if (c.kind == plan_kind::removal) {
            strcpy(layout_inventory.target_key_name, PRODUCT_KEY);
            ASSERT_TRUE(scan_layout_inventory()) << layout_inventory.error_text;
            ASSERT_TRUE(plan_layout_removal()) << layout_inventory.error_text;
        } else {
            strcpy(layout_inventory.own_layout_file, OWN_LAYOUT_SEARCH_NAME);
            ASSERT_TRUE(scan_layout_inventory()) << layout_inventory.error_text;
            ASSERT_TRUE(plan_installation()) << layout_inventory.error_text;
            ASSERT_STREQ(PRODUCT_KEY, layout_inventory.layout_key_name[0]
                                          ? layout_inventory.layout_key_name
                                          : layout_inventory.target_key_name);
        }
        ASSERT_FALSE(layout_inventory.preload_unchanged || layout_inventory.layout_not_listed);
    }

    // The planned change, watched write by write: its states into *states.
    static void write_watched(std::vector<list_state>* states,
                              list_watch::images images = list_watch::images::none)
    {
        list_watch watch;
        watch.start(images);
        ASSERT_TRUE(write_preload_substitutes()) << layout_inventory.error_text;
        watch.stop();
        *states = watch.states();
    }

    // The layouts the user's lists reach before the change and must reach throughout it.
    static std::set<std::string> kept_layouts(const list_case& c, const list_state& start)
    {
        std::set<std::string> layouts = layouts_read(start);
        if (c.kind == plan_kind::removal)
            layouts.erase(PRODUCT_KEY);
        return layouts;
    }

    // The first step of the next run of either program.
    static bool next_run_finishes()
    {
        reset_registry_layer();
        reset_layout_inventory();
        reset_list_rewrite();
        return finish_interrupted_list_rewrite();
    }
};

TEST_F(list_numbering, after_every_write_preload_holds_places_1_to_n_and_reaches_every_layout)
{
    for (const list_case& c : all_cases) {
        SCOPED_TRACE(std::string(c.user) + ", " + kind_name(c.kind) + ": " + c.preload);
        plan(c);
        std::vector<list_state> states;
        ASSERT_NO_FATAL_FAILURE(write_watched(&states));
        EXPECT_GT(states.size(), 4u);  // the change did happen, in several writes
        EXPECT_EQ("", first_broken_state(states, kept_layouts(c, states.front()),
                                         numbering::places_1_to_n));
        const list_state& end = states.back();
        if (c.kind == plan_kind::removal) {
            EXPECT_FALSE(layouts_of_all_values(end).count(PRODUCT_KEY));
        } else {
            ASSERT_FALSE(end.preload.empty());
            auto first = std::find_if(end.preload.begin(), end.preload.end(),
                                      [](const std::pair<std::string, std::string>& value) {
                                          return value.first == "1";
                                      });
            ASSERT_NE(end.preload.end(), first);
            EXPECT_EQ(PRODUCT_KEY, reached_layout(end, first->second));
        }
        EXPECT_FALSE(winsim::reg_key_exists(JOURNAL_KEY));
    }
}

// A run stopped right before any call of the change: the next run's finishing keeps the rule
// at each of its writes too, and ends where the uninterrupted change ends, in the same order.
TEST_F(list_numbering, the_finishing_of_a_change_stopped_anywhere_keeps_places_1_to_n)
{
    for (const list_case& c : all_cases) {
        SCOPED_TRACE(std::string(c.user) + ", " + kind_name(c.kind) + ": " + c.preload);
        plan(c);
        std::vector<list_state> states;
        ASSERT_NO_FATAL_FAILURE(write_watched(&states, list_watch::images::kept));
        const std::set<std::string> kept = kept_layouts(c, states.front());
        const std::string end = dump(PRELOAD_KEY) + dump(SUBSTITUTES_KEY);
        // The last state is the end itself.
        size_t journals = 0;
        for (size_t i = 0; i + 1 < states.size(); i++) {
            SCOPED_TRACE("stopped in state " + std::to_string(i));
            ASSERT_TRUE(winsim::load_machine_image(states[i].image));
            const std::string stopped = dump(PRELOAD_KEY) + dump(SUBSTITUTES_KEY);
            const bool journal = winsim::reg_read_string(JOURNAL_KEY, LIST_JOURNAL_VALUE, nullptr);
            journals += journal;
            list_watch finishing;
            finishing.start();
            ASSERT_TRUE(next_run_finishes()) << layout_inventory.error_text;
            finishing.stop();
            EXPECT_EQ("", first_broken_state(finishing.states(), kept, numbering::places_1_to_n));
            EXPECT_EQ(journal ? end : stopped, dump(PRELOAD_KEY) + dump(SUBSTITUTES_KEY));
            EXPECT_FALSE(winsim::reg_key_exists(JOURNAL_KEY));
        }
        // All but the start, the journal's key before its value and the end after its removal.
        EXPECT_EQ(states.size() - 4, journals);
    }
}

// Each value that reaches one of `languages`' layouts names it, at every write, through a name
// in that layout's language.
std::string first_foreign_name(const std::vector<list_state>& states,
                               const std::map<std::string, std::string>& languages)
{
    for (const list_state& state : states)
        for (const auto& value : state.preload) {
            auto language = languages.find(reached_layout(state, value.second));
            if (language != languages.end() &&
                value.second.compare(value.second.size() - 4, 4, language->second) != 0)
                return value.first + "=" + value.second + " reaches " + language->first;
        }
    return "";
}

TEST_F(list_numbering, substitution_names_keep_their_language_at_every_write)
{
    const std::map<std::string, std::string> languages = {
        {"00010409", "0409"}, {"00020409", "0409"}, {PRODUCT_KEY, "0407"}};
    for (const list_case& c : all_cases) {
        SCOPED_TRACE(std::string(c.user) + ", " + kind_name(c.kind) + ": " + c.preload);
        plan(c);
        std::vector<list_state> states;
        ASSERT_NO_FATAL_FAILURE(write_watched(&states));
        EXPECT_EQ("", first_foreign_name(states, languages));
    }
}

TEST_F(list_numbering, an_english_substitution_keeps_0409_through_install_and_removal)
{
    plan(all_cases[4]);  // three layouts, install
    ASSERT_TRUE(write_preload_substitutes()) << layout_inventory.error_text;
    EXPECT_EQ("[" PRELOAD_KEY "]\n\"1\"=\"d0010407\"\n\"2\"=\"00000407\"\n\"3\"=\"d0020409\"\n"
              "\"4\"=\"00000807\"\n\n"
              "[" SUBSTITUTES_KEY "]\n\"d0010407\"=\"" PRODUCT_KEY "\"\n\"d0020409\"=\"00010409\"\n\n",
              dump(PRELOAD_KEY) + dump(SUBSTITUTES_KEY));

    SEED(LAYOUTS "\\" PRODUCT_KEY "]\n\"Layout File\"=\"" DLL_FILE_NAME "\"\n");
    reset_registry_layer();
    reset_layout_inventory();
    reset_list_rewrite();
    strcpy(layout_inventory.target_key_name, PRODUCT_KEY);
    ASSERT_TRUE(scan_layout_inventory()) << layout_inventory.error_text;
    ASSERT_TRUE(plan_layout_removal()) << layout_inventory.error_text;
    ASSERT_TRUE(write_preload_substitutes()) << layout_inventory.error_text;
    EXPECT_EQ("[" PRELOAD_KEY "]\n\"1\"=\"00000407\"\n\"2\"=\"00000807\"\n\"3\"=\"d0010409\"\n\n"
              "[" SUBSTITUTES_KEY "]\n\"d0010409\"=\"00010409\"\n\n",
              dump(PRELOAD_KEY) + dump(SUBSTITUTES_KEY));
}

TEST_F(list_numbering, only_the_products_entry_gets_0407_and_numbers_are_shared_by_no_two_names)
{
    plan(all_cases[8]);  // all through Substitutes, install
    EXPECT_STREQ("d0010407", layout_inventory.new_preload_list[1].data);  // the product's
    ASSERT_TRUE(write_preload_substitutes()) << layout_inventory.error_text;
    EXPECT_EQ("[" PRELOAD_KEY "]\n\"1\"=\"d0010407\"\n\"2\"=\"d0020409\"\n\"3\"=\"00000407\"\n\n"
              "[" SUBSTITUTES_KEY "]\n\"00000407\"=\"00010407\"\n\"d0010407\"=\"" PRODUCT_KEY "\"\n"
              "\"d0020409\"=\"00020409\"\n\n",
              dump(PRELOAD_KEY) + dump(SUBSTITUTES_KEY));

    // A Preload entry without a Substitutes value keeps its name d0010409, which names no
    // layout: a new d0010407 would share its number, so the product's entry takes the next.
    list_case dangling = {"", "1=00000407 2=d0010409", "", plan_kind::install};
    plan(dangling);
    ASSERT_TRUE(write_preload_substitutes()) << layout_inventory.error_text;
    EXPECT_EQ("[" PRELOAD_KEY "]\n\"1\"=\"d0020407\"\n\"2\"=\"00000407\"\n\"3\"=\"d0010409\"\n\n"
              "[" SUBSTITUTES_KEY "]\n\"d0020407\"=\"" PRODUCT_KEY "\"\n\n",
              dump(PRELOAD_KEY) + dump(SUBSTITUTES_KEY));
}

// The finishing files a layout the user added meanwhile through an English substitution name
// under a new name of the same language.
TEST_F(list_numbering, a_layout_added_during_a_stop_keeps_its_language)
{
    plan(all_cases[0]);  // German alone, install
    winsim::fail_call("RegDeleteValueA", PRELOAD_KEY, ERROR_ACCESS_DENIED, -1, 1);
    ASSERT_FALSE(write_preload_substitutes());
    winsim::clear_faults();
    ASSERT_TRUE(winsim::reg_key_exists(JOURNAL_KEY));
    SEED("[" SUBSTITUTES_KEY "]\n\"d0070409\"=\"00020409\"\n");
    std::string places = dump(PRELOAD_KEY);
    size_t count = (size_t)std::count(places.begin(), places.end(), '\n') - 2;
    SEED(("[" PRELOAD_KEY "]\n\"" + std::to_string(count + 1) + "\"=\"d0070409\"\n").c_str());
    list_watch watch;
    watch.start();
    ASSERT_TRUE(next_run_finishes()) << layout_inventory.error_text;
    watch.stop();
    EXPECT_EQ("", first_broken_state(watch.states(), {"00000407", "00020409"},
                                     numbering::places_1_to_n));
    EXPECT_EQ("[" PRELOAD_KEY "]\n\"1\"=\"d0010407\"\n\"2\"=\"00000407\"\n\"3\"=\"d0020409\"\n\n"
              "[" SUBSTITUTES_KEY "]\n\"d0010407\"=\"" PRODUCT_KEY "\"\n\"d0020409\"=\"00020409\"\n\n",
              dump(PRELOAD_KEY) + dump(SUBSTITUTES_KEY));
}

// Names that are no places ("01") and a gap are the user's own: Windows reads neither, and the
// plan keeps them as they are. The change then keeps every value's layout at every write, and
// what Windows read before it reads throughout.
TEST_F(list_numbering, a_user_with_odd_names_loses_no_layout_at_any_write)
{
    const list_case odd[] = {
        {"odd names", "1=00000407 01=00000409 3=d0010409", "d0010409=00010409", plan_kind::install},
        {"odd names", "1=00000407 01=00000409 3=d0020409 2=d0010407",
         "d0010407=b0040407 d0020409=00010409", plan_kind::update},
        {"odd names", "1=00000407 01=00000409 4=d0020409 2=d0010407",
         "d0010407=b0040407 d0020409=00010409", plan_kind::removal},
    };
    for (const list_case& c : odd) {
        SCOPED_TRACE(std::string(kind_name(c.kind)) + ": " + c.preload);
        plan(c);
        std::vector<list_state> states;
        ASSERT_NO_FATAL_FAILURE(write_watched(&states));
        std::set<std::string> all = layouts_of_all_values(states.front());
        if (c.kind == plan_kind::removal)
            all.erase(PRODUCT_KEY);
        EXPECT_EQ("", first_broken_state(states, all, numbering::any_names));
        std::set<std::string> read = layouts_read(states.front());
        read.erase(PRODUCT_KEY);
        for (const list_state& state : states) {
            std::set<std::string> now = layouts_read(state);
            for (const std::string& layout : read)
                EXPECT_TRUE(now.count(layout)) << layout;
        }
        // The end is the plan: every planned name with its data, and nothing else.
        std::vector<std::pair<std::string, std::string>> planned;
        for (int i = 0; i < layout_inventory.newpreloadcount; i++)
            planned.push_back({layout_inventory.new_preload_list[i].name,
                               layout_inventory.new_preload_list[i].data});
        std::vector<std::pair<std::string, std::string>> written = states.back().preload;
        std::sort(planned.begin(), planned.end());
        std::sort(written.begin(), written.end());
        EXPECT_EQ(planned, written);
    }
}

}  // namespace
