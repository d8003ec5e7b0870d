// Stop sweep: each flow killed right before each of its calls, then the same program run once more to its end.
#include "sweep_support.h"

#include "program_state.h"

#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include <winsim/desktop_control.h>
#include <winsim/files_control.h>
#include <winsim/machine_image.h>

#include "frame/frame.h"
#include "product_constants.h"
#include "uninstaller_flow.h"

namespace {

enum class flow {
    install_new,
    install_update_listed,
    install_update_unlisted,
    install_update_incomplete_key,
    uninstall,
    // An installation stopped, then removed from its entry without being run again.
    install_then_uninstall,
};

// The users the sweep starts from: the German layout alone (with the product, the most common
// user), three layouts of which one through a substitute, and layouts all reached through
// substitution names, one of them of another language.
// Also a user whose lists name one layout twice, once through a name in another case, as Windows
// reads them alike.
enum class start_state { german_alone, three_layouts, all_substituted, named_twice_in_any_case };

// Preload and Substitutes of each start state (the German layout keys are those of the German
// Windows fixture).
const char* user_lists(start_state state)
{
    switch (state) {
    case start_state::german_alone:
        return "\"1\"=\"00000407\"\n";
    case start_state::three_layouts:
        return "\"1\"=\"00000407\"\n\"2\"=\"d0010409\"\n\"3\"=\"00000807\"\n"
               "[" USER_SUBSTITUTES "]\n\"d0010409\"=\"00010409\"\n";
    case start_state::all_substituted:
        return "\"1\"=\"d0010407\"\n\"2\"=\"d0020409\"\n"
               "[" USER_SUBSTITUTES "]\n\"d0010407\"=\"00010407\"\n\"d0020409\"=\"00020409\"\n";
    case start_state::named_twice_in_any_case:
        return "\"1\"=\"00000407\"\n\"2\"=\"D0010409\"\n\"3\"=\"d0010409\"\n"
               "[" USER_SUBSTITUTES "]\n\"d0010409\"=\"00010409\"\n";
    }
    return "";
}

// Empty when Preload's value names are "1" to "n" without a gap (n at least 1), else what is
// wrong.
std::string preload_numbering_fault()
{
    std::map<std::string, std::string> values = string_values(USER_PRELOAD);
    if (values.empty())
        return "Preload has no value";
    for (size_t i = 1; i <= values.size(); i++) {
        if (!values.count(std::to_string(i)))
            return "Preload lacks \"" + std::to_string(i) + "\"";
    }
    return "";
}

// The machine right before each call of the uninterrupted run: what a program killed before
// that call leaves.
std::vector<std::string>* observed_images = nullptr;

void observe_image()
{
    observed_images->push_back(winsim::save_machine_image());
}

// Every file and folder below `path` with its attributes, times and contents, one line each,
// leaving out the two temporary folders with everything in them.
void list_files(const std::string& path, std::string* out)
{
    std::string folder = path.back() == ':' ? path + "\\" : path;
    for (const std::string& name : winsim::list_folder(folder.c_str())) {
        std::string child = path + "\\" + name;
        if (lower(child) == lower(winsim::standard_folders().temp) ||
            lower(child) == lower(winsim::standard_folders().windows + "\\Temp"))
            continue;
        winsim::entry_info info = winsim::entry(child.c_str());
        *out += child + " | " + std::to_string(info.attributes) + " | " +
                std::to_string(info.creation_time) + " " + std::to_string(info.last_write_time);
        if (info.is_folder) {
            *out += "\n";
            list_files(child, out);
        } else {
            *out += " | " + info.contents + "\n";
        }
    }
}

// The whole machine as the sweep compares it: the machine's hive, the users' ones and every file. The copy of the
// uninstaller in its temporary folder and its deletion at restart are left out.
std::string end_state()
{
    std::string error;
    EXPECT_TRUE(winsim::reg_import("Windows Registry Editor Version 5.00\n\n"
                                   "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\"
                                   "Session Manager]\n\"PendingFileRenameOperations\"=-\n",
                                   &error))
        << error;
    std::string files;
    list_files("C:", &files);
    return winsim::reg_export("HKEY_LOCAL_MACHINE") + winsim::reg_export("HKEY_CURRENT_USER") +
           winsim::reg_export("HKEY_USERS") + files;
}

// The first line in which two states differ, for the report.
std::string first_difference(const std::string& expected, const std::string& actual)
{
    size_t at = 0;
    while (at < expected.size() && at < actual.size() && expected[at] == actual[at])
        at++;
    size_t line_start = expected.rfind('\n', at == 0 ? 0 : at - 1);
    line_start = line_start == std::string::npos ? 0 : line_start + 1;
    auto line_at = [&](const std::string& text) {
        size_t end = text.find('\n', line_start);
        return text.substr(line_start, end == std::string::npos ? std::string::npos
                                                                 : end - line_start);
    };
    return "expected \"" + line_at(expected) + "\", found \"" + line_at(actual) + "\"";
}

class stop_sweep : public sweep_test {
protected:
    flow which = flow::install_new;
    start_state start = start_state::three_layouts;
    // The user has the language list of Windows 8 and later.
    bool with_language_list = false;
    // The layouts of the user with their input languages, which every stop point and every end
    // must keep.
    std::set<std::string> kept_languages;
    std::string start_image;
    // The layouts of the user that every stop point must keep resolvable.
    std::set<std::string> kept_layouts;

    void command_line(const std::vector<std::string>& words)
    {
        frame.argument_count = (int)words.size();
        for (size_t i = 0; i < words.size(); i++)
            strcpy(frame.arguments[i], words[i].c_str());
    }
    // The words after the quoted program path of a command line.
    static std::vector<std::string> parameters_of(const std::string& command, std::string* program)
    {
        std::vector<std::string> words;
        size_t close = command.find('"', 1);
        if (command.empty() || command[0] != '"' || close == std::string::npos)
            return words;
        if (program)
            *program = command.substr(1, close - 1);
        size_t at = close + 1;
        while (at < command.size()) {
            while (at < command.size() && command[at] == ' ')
                at++;
            size_t end = command.find(' ', at);
            if (end == std::string::npos)
                end = command.size();
            if (end > at)
                words.push_back(command.substr(at, end - at));
            at = end;
        }
        return words;
    }

    // Windows runs the UninstallString: the first instance copies itself and starts the copy,
    // which does the work. False when the entry or the program it names is gone.
    bool run_uninstaller_from_entry()
    {
        std::string command, program;
        if (!winsim::reg_read_string(PRODUCT_ENTRY_KEY, "UninstallString", &command))
            return false;
        std::vector<std::string> words = parameters_of(command, &program);
        if (!winsim::entry_exists(program.c_str()))
            return false;
        fresh_process("Uninstall_" DLL_BASE_NAME);
        winsim::set_module_file_name(program.c_str());
        command_line(words);
        size_t started = winsim::started_processes().size();
        answer_yes_to_everything();
        if (check_uninstaller_command_line() || winsim::started_processes().size() == started)
            return true;
        const winsim::started_process copy = winsim::started_processes().back();
        fresh_process("Uninstall_" DLL_BASE_NAME);
        winsim::set_module_file_name(copy.program_path.c_str());
        command_line(parameters_of(copy.command_line, nullptr));
        run_uninstaller_copy();
        return true;
    }
    // The flow from its start, as the user starts it.
    void run_flow()
    {
        if (which == flow::uninstall) {
            run_uninstaller_from_entry();
        } else {
            fresh_process("Install_" DLL_BASE_NAME);
            run_installer();
        }
    }

    // The user's Preload and Substitutes as the start state has them, and nothing else.
    void seed_user_lists()
    {
        SEED((std::string("[-" USER_PRELOAD "]\n[-" USER_SUBSTITUTES "]\n[" USER_SUBSTITUTES "]\n"
                          "[" USER_PRELOAD "]\n") +
              user_lists(start))
                 .c_str());
    }

    // The machine before the flow, kept as an image that every run starts from.
    void prepare(flow chosen)
    {
        which = chosen;
        test_warning_caption = "Tastaturtreiber-Installation";
        on_64_bit_windows();
        seed_user_lists();
        kept_languages = layouts_with_languages();
        if (with_language_list)
            SEED(language_list_fixture);
        if (over_the_shoulder)
            elevate_over_the_shoulder();
        if (which != flow::install_new && which != flow::install_then_uninstall) {
            fresh_process("Install_" DLL_BASE_NAME);
            ASSERT_FALSE(run_installer());
            ASSERT_TRUE(winsim::reg_key_exists(LAYOUTS_KEY "\\" SWEPT_LAYOUT_KEY));
            // The user signs in again: Windows loads the layout's DLLs.
            log_on();
        }
        switch (which) {
        case flow::install_update_unlisted:
            // The user has taken the layout out of the language settings again.
            seed_user_lists();
            break;
        case flow::install_update_incomplete_key:
            SEED(LAYOUTS "\\" SWEPT_LAYOUT_KEY "]\n\"Layout Id\"=-\n\"Created by KbdEdit\"=-\n");
            break;
        case flow::uninstall:
            put_product_layout_last();
            test_warning_caption = "Tastaturtreiber-Deinstallation";
            break;
        default:
            break;
        }
        kept_layouts = resolved_user_layouts();
        if (which == flow::uninstall)
            kept_layouts.erase(SWEPT_LAYOUT_KEY);
        for (auto it = kept_languages.begin(); it != kept_languages.end();) {
            it = starts_with(*it, SWEPT_LAYOUT_KEY) ? kept_languages.erase(it) : std::next(it);
        }
        start_image = winsim::save_machine_image();
    }
    void restart_from(const std::string& image)
    {
        ASSERT_TRUE(winsim::load_machine_image(image));
        winsim::clear_faults();
        winsim::clear_call_log();
    }

    // The end state when the uninstaller cannot run again: the entry and an empty program
    // folder are all that may be left over the end of an uninterrupted removal.
    std::string without_entry_and_empty_folder()
    {
        SEED("[-" PRODUCT_ENTRY_KEY "]\n");
        std::string folder = program_folder.substr(0, program_folder.size() - 1);
        if (winsim::list_folder(folder.c_str()).empty())
            RemoveDirectoryA(folder.c_str());
        return end_state();
    }

    // What a stop point breaks of the user's lists, or empty: every layout of the user reached,
    // each with its language; Preload numbered "1" to "n"; no value reaching the product's
    // layout unless its key is there.
    std::string stop_point_fault()
    {
        std::set<std::string> resolved = resolved_user_layouts();
        for (const std::string& layout : kept_layouts) {
            if (!resolved.count(layout))
                return "layout " + layout + " lost";
        }
        std::string languages = languages_lost();
        if (!languages.empty())
            return languages;
        std::string numbering = preload_numbering_fault();
        if (!numbering.empty())
            return numbering;
        if (resolved.count(SWEPT_LAYOUT_KEY) && !winsim::reg_key_exists(LAYOUTS_KEY "\\" SWEPT_LAYOUT_KEY))
            return "the lists name the missing key " SWEPT_LAYOUT_KEY;
        return "";
    }
    std::string languages_lost()
    {
        std::set<std::string> now = layouts_with_languages();
        for (const std::string& layout : kept_languages) {
            if (!now.count(layout))
                return " layout/language " + layout + " lost;";
        }
        return "";
    }
    // What is left of the product after its removal, or empty.
    std::string product_leftovers()
    {
        std::string left;
        if (winsim::reg_key_exists(LAYOUTS_KEY "\\" SWEPT_LAYOUT_KEY))
            left += " layout key;";
        if (winsim::reg_key_exists(PRODUCT_ENTRY_KEY))
            left += " uninstall entry;";
        if (resolved_user_layouts().count(SWEPT_LAYOUT_KEY))
            left += " list entry;";
        const std::string paths[] = {
            "C:\\Windows\\system32\\" DLL_FILE_NAME, "C:\\Windows\\SysWOW64\\" DLL_FILE_NAME,
            program_folder.substr(0, program_folder.size() - 1),
            winsim::standard_folders().desktop + "\\" DIAGRAM_NAME ".LNK"};
        for (const std::string& path : paths) {
            if (winsim::entry_exists(path.c_str()))
                left += " " + path + ";";
        }
        if (winsim::reg_key_exists("HKEY_CURRENT_USER\\Software\\" PROGRAM_FOLDER_NAME))
            left += " journal key;";
        return left;
    }

    struct sweep_result {
        unsigned long stop_points = 0, converged = 0, nothing_lost = 0, not_rerun = 0;
    };

    sweep_result sweep(flow chosen, const char* name)
    {
        sweep_result result;
        prepare(chosen);
        if (HasFatalFailure())
            return result;
        restart_from(start_image);
        // One uninterrupted run gives the machine before each of its calls; the flows are
        // deterministic, so a run stopped before call n would leave just that machine.
        std::vector<std::string> images;
        observed_images = &images;
        winsim::observe_every_call(observe_image);
        run_flow();
        winsim::observe_every_call(nullptr);
        observed_images = nullptr;
        const std::vector<winsim::logged_call> calls = winsim::call_log();
        const std::string clean_end = end_state();
        EXPECT_EQ(calls.size(), images.size());

        int reported = 0;
        bool kept = false, same = false;
        unsigned long last_not_rerun = 0;
        for (unsigned long n = 1; n <= images.size(); n++) {
            const std::string where = std::string(name) + ": stop before call " +
                                      std::to_string(n) + " " + calls[n - 1].call + "(" +
                                      calls[n - 1].subject + ")";
            result.stop_points++;
            // A call that changed nothing leaves the same machine as the stop before it, and so
            // the same outcome.
            if (n > 1 && images[n - 1] == images[n - 2]) {
                result.nothing_lost += kept;
                result.converged += same;
                result.not_rerun += last_not_rerun;
                continue;
            }
            unsigned long not_rerun_before = result.not_rerun;
            restart_from(images[n - 1]);

            std::string fault = stop_point_fault();
            kept = fault.empty();
            result.nothing_lost += kept;

            std::string end;
            same = false;
            if (which == flow::install_then_uninstall) {
                if (run_uninstaller_from_entry()) {
                    std::string left = product_leftovers();
                    same = left.empty();
                    end = same ? clean_end : left;
                } else {
                    // No entry yet: nothing for Windows to offer the user; not counted as
                    // converging.
                    result.not_rerun++;
                }
            } else if (which == flow::uninstall) {
                end = run_uninstaller_from_entry() ? end_state()
                                                   : (result.not_rerun++, without_entry_and_empty_folder());
                same = end == clean_end;
            } else {
                run_flow();
                end = end_state();
                same = end == clean_end;
            }
            std::string languages_fault = languages_lost();
            same = same && languages_fault.empty();
            result.converged += same;
            last_not_rerun = result.not_rerun - not_rerun_before;
            bool not_rerun_here = result.not_rerun != not_rerun_before;
            if ((!(same || (not_rerun_here && which == flow::install_then_uninstall)) || !kept) &&
                reported++ < 12)
                printf("%s:%s%s%s\n", where.c_str(), kept ? "" : (" " + fault + ";").c_str(),
                       languages_fault.c_str(),
                       same || which == flow::install_then_uninstall
                           ? (same ? "" : (" left: " + end).c_str())
                           : (" " + first_difference(clean_end, end)).c_str());
        }
        printf("stop sweep %s: %lu stop points, %lu converge after one more run, %lu lose "
               "nothing at the stop point (%lu without an uninstaller to run again)\n",
               name, result.stop_points, result.converged, result.nothing_lost,
               result.not_rerun);
        return result;
    }
    void expect_every_stop_point_holds(flow chosen, start_state from, const char* name)
    {
        start = from;
        sweep_result result = sweep(chosen, name);
        EXPECT_GT(result.stop_points, 20u);
        unsigned long removable = chosen == flow::install_then_uninstall
                                      ? result.stop_points - result.not_rerun
                                      : result.stop_points;
        EXPECT_EQ(removable, result.converged);
        EXPECT_EQ(result.stop_points, result.nothing_lost);
    }
};

// One test per flow and start state, so that CTest runs them side by side.
#define SWEEP_TEST(test_name, chosen_flow, from, text)                                          \
    TEST_F(stop_sweep, test_name) { expect_every_stop_point_holds(chosen_flow, from, text); }

SWEEP_TEST(new_installation_german_alone, flow::install_new, start_state::german_alone,
           "install new, German alone")
SWEEP_TEST(new_installation_three_layouts, flow::install_new, start_state::three_layouts,
           "install new, three layouts")
SWEEP_TEST(new_installation_all_substituted, flow::install_new, start_state::all_substituted,
           "install new, all substituted")
SWEEP_TEST(update_listed_german_alone, flow::install_update_listed, start_state::german_alone,
           "update (listed), German alone")
SWEEP_TEST(update_listed_three_layouts, flow::install_update_listed, start_state::three_layouts,
           "update (listed), three layouts")
SWEEP_TEST(update_listed_all_substituted, flow::install_update_listed,
           start_state::all_substituted, "update (listed), all substituted")
SWEEP_TEST(update_unlisted_german_alone, flow::install_update_unlisted, start_state::german_alone,
           "update (not listed), German alone")
SWEEP_TEST(update_unlisted_three_layouts, flow::install_update_unlisted,
           start_state::three_layouts, "update (not listed), three layouts")
SWEEP_TEST(update_unlisted_all_substituted, flow::install_update_unlisted,
           start_state::all_substituted, "update (not listed), all substituted")
SWEEP_TEST(update_completing_the_key_three_layouts, flow::install_update_incomplete_key,
           start_state::three_layouts, "update (key lacks values), three layouts")
SWEEP_TEST(new_installation_named_twice_in_any_case, flow::install_new,
           start_state::named_twice_in_any_case, "install new, one layout named twice")
SWEEP_TEST(removal_named_twice_in_any_case, flow::uninstall, start_state::named_twice_in_any_case,
           "uninstall, one layout named twice")
SWEEP_TEST(removal_german_alone, flow::uninstall, start_state::german_alone,
           "uninstall, German alone")
SWEEP_TEST(removal_three_layouts, flow::uninstall, start_state::three_layouts,
           "uninstall, three layouts")
SWEEP_TEST(removal_all_substituted, flow::uninstall, start_state::all_substituted,
           "uninstall, all substituted")
SWEEP_TEST(stopped_installation_removed_german_alone, flow::install_then_uninstall,
           start_state::german_alone, "install stopped, then removed, German alone")
SWEEP_TEST(stopped_installation_removed_three_layouts, flow::install_then_uninstall,
           start_state::three_layouts, "install stopped, then removed, three layouts")
SWEEP_TEST(stopped_installation_removed_all_substituted, flow::install_then_uninstall,
           start_state::all_substituted, "install stopped, then removed, all substituted")

TEST_F(stop_sweep, new_installation_german_alone_with_the_language_list)
{
    with_language_list = true;
    expect_every_stop_point_holds(flow::install_new, start_state::german_alone,
                                  "install new, German alone, language list");
}

TEST_F(stop_sweep, new_installation_over_the_shoulder_german_alone_with_the_language_list)
{
    with_language_list = true;
    over_the_shoulder = true;
    expect_every_stop_point_holds(flow::install_new, start_state::german_alone,
                                  "install new over the shoulder, German alone, language list");
    EXPECT_NE(std::string::npos, winsim::reg_export((standard_user_key() + "\\Keyboard Layout").c_str())
                                     .find("\"d0010407\"=\"" SWEPT_LAYOUT_KEY "\""));
    EXPECT_EQ(std::string::npos, winsim::reg_export("HKEY_CURRENT_USER").find(SWEPT_LAYOUT_KEY));
}

TEST_F(stop_sweep, removal_german_alone_with_the_language_list)
{
    with_language_list = true;
    expect_every_stop_point_holds(flow::uninstall, start_state::german_alone,
                                  "uninstall, German alone, language list");
}

}  // namespace
