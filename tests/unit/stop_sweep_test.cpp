// Stop sweep: each flow killed right before each of its calls, then the same program run once more to its end.
#include "sweep_support.h"

#include "program_state.h"

#include <stdio.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

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
};

// The stopped child writes the machine into this pipe and ends there, as a killed program does:
// nothing after the stop point happens.
int image_pipe = -1;

void write_image_and_end()
{
    std::string image = winsim::save_machine_image();
    const char* next = image.data();
    size_t left = image.size();
    while (left > 0) {
        ssize_t written = write(image_pipe, next, left);
        if (written <= 0)
            _exit(2);
        next += written;
        left -= (size_t)written;
    }
    _exit(0);
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

// The whole machine as the sweep compares it: both hives and every file. The copy of the
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
           files;
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

    // The machine before the flow, kept as an image that every run starts from.
    void prepare(flow chosen)
    {
        which = chosen;
        test_warning_caption = "Tastaturtreiber-Installation";
        on_64_bit_windows();
        if (which != flow::install_new) {
            fresh_process("Install_" DLL_BASE_NAME);
            ASSERT_FALSE(run_installer());
            ASSERT_TRUE(winsim::reg_key_exists(LAYOUTS_KEY "\\" SWEPT_LAYOUT_KEY));
        }
        switch (which) {
        case flow::install_update_unlisted:
            // The user has taken the layout out of the language settings again.
            SEED("[-" USER_PRELOAD "]\n[" USER_PRELOAD "]\n\"1\"=\"00000407\"\n"
                 "\"2\"=\"d0010409\"\n\"3\"=\"00000807\"\n\n"
                 "[-" USER_SUBSTITUTES "]\n[" USER_SUBSTITUTES "]\n\"d0010409\"=\"00010409\"\n");
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
        start_image = winsim::save_machine_image();
    }
    void restart_from(const std::string& image)
    {
        ASSERT_TRUE(winsim::load_machine_image(image));
        winsim::clear_faults();
        winsim::clear_call_log();
    }

    // Runs the flow in a child that is stopped right before call `n`; the machine it leaves.
    bool stopped_run(unsigned long n, std::string* image)
    {
        int ends[2];
        if (pipe(ends) != 0)
            return false;
        fflush(stdout);
        pid_t child = fork();
        if (child == 0) {
            close(ends[0]);
            image_pipe = ends[1];
            winsim::stop_before_call(n, write_image_and_end);
            run_flow();
            _exit(3);  // the flow ended before the stop point
        }
        close(ends[1]);
        image->clear();
        char buffer[65536];
        ssize_t got;
        while ((got = read(ends[0], buffer, sizeof buffer)) > 0)
            image->append(buffer, (size_t)got);
        close(ends[0]);
        int status = 0;
        waitpid(child, &status, 0);
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
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
        run_flow();
        const std::vector<winsim::logged_call> calls = winsim::call_log();
        const std::string clean_end = end_state();

        int reported = 0;
        for (unsigned long n = 1; n <= calls.size(); n++) {
            const std::string where = std::string(name) + ": stop before call " +
                                      std::to_string(n) + " " + calls[n - 1].call + "(" +
                                      calls[n - 1].subject + ")";
            restart_from(start_image);
            std::string image;
            if (!stopped_run(n, &image)) {
                ADD_FAILURE() << where << ": the stopped run did not stop there";
                continue;
            }
            result.stop_points++;
            restart_from(image);

            std::set<std::string> resolved = resolved_user_layouts();
            bool kept = true;
            for (const std::string& layout : kept_layouts)
                kept = kept && resolved.count(layout) > 0;
            result.nothing_lost += kept;

            std::string end;
            if (which == flow::uninstall) {
                if (run_uninstaller_from_entry()) {
                    end = end_state();
                } else {
                    result.not_rerun++;
                    end = without_entry_and_empty_folder();
                }
            } else {
                run_flow();
                end = end_state();
            }
            bool same = end == clean_end;
            result.converged += same;
            if ((!same || !kept) && reported++ < 12)
                printf("%s:%s%s\n", where.c_str(), kept ? "" : " layouts lost;",
                       same ? "" : (" " + first_difference(clean_end, end)).c_str());
        }
        printf("stop sweep %s: %lu stop points, %lu converge after one more run, %lu lose "
               "nothing at the stop point (%lu without an uninstaller to run again)\n",
               name, result.stop_points, result.converged, result.nothing_lost,
               result.not_rerun);
        return result;
    }
    void expect_every_stop_point_holds(flow chosen, const char* name)
    {
        sweep_result result = sweep(chosen, name);
        EXPECT_GT(result.stop_points, 20u);
        EXPECT_EQ(result.stop_points, result.converged);
        EXPECT_EQ(result.stop_points, result.nothing_lost);
    }
};

TEST_F(stop_sweep, a_new_installation_stopped_anywhere_is_finished_by_one_more_run)
{
    expect_every_stop_point_holds(flow::install_new, "install new");
}

TEST_F(stop_sweep, an_update_of_a_listed_layout_stopped_anywhere_is_finished_by_one_more_run)
{
    expect_every_stop_point_holds(flow::install_update_listed, "install update (listed)");
}

TEST_F(stop_sweep, an_update_of_an_unlisted_layout_stopped_anywhere_is_finished_by_one_more_run)
{
    expect_every_stop_point_holds(flow::install_update_unlisted, "install update (not listed)");
}

TEST_F(stop_sweep, an_update_completing_the_layout_key_stopped_anywhere_is_finished_by_one_more_run)
{
    expect_every_stop_point_holds(flow::install_update_incomplete_key,
                                  "install update (key lacks values)");
}

TEST_F(stop_sweep, a_removal_stopped_anywhere_is_finished_from_the_uninstall_entry)
{
    expect_every_stop_point_holds(flow::uninstall, "uninstall");
}

}  // namespace
