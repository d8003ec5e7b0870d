// Fault sweep: every simulated call of the install, update and uninstall flows made to fail once.
#include "sweep_support.h"

#include "program_state.h"

#include <ctype.h>
#include <stdio.h>
#include <string.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include <winsim/desktop_control.h>
#include <winsim/files_control.h>
#include <winsim/shell_control.h>

#include "files/file_operations.h"
#include "files/system_folders.h"
#include "frame/frame.h"
#include "installer_flow.h"
#include "product_constants.h"
#include "uninstaller_flow.h"

namespace {

// The program folder of the sweeps' 32-bit programs.
#define SWEPT_PROGRAM_FOLDER_PATH "C:\\Program Files (x86)\\" PROGRAM_FOLDER_NAME
#define SWEPT_PROGRAM_FOLDER SWEPT_PROGRAM_FOLDER_PATH "\\"

// A fitting error for a failed call, chosen by its name.
DWORD error_for(const std::string& call)
{
    bool folder_query = starts_with(call, "Get") && call.find("Directory") != std::string::npos;
    if (starts_with(call, "Reg") || call.find("File") != std::string::npos ||
        (call.find("Directory") != std::string::npos && !folder_query) ||
        call.find("Security") != std::string::npos)
        return ERROR_ACCESS_DENIED;
    if (starts_with(call, "Co") || starts_with(call, "SH") || starts_with(call, "IShellLink") ||
        starts_with(call, "IPersist"))
        return 0x80004005u;  // E_FAIL
    if (call.find("Resource") != std::string::npos || starts_with(call, "Load") ||
        starts_with(call, "Create") || starts_with(call, "Format") ||
        call.find("Alloc") != std::string::npos)
        return ERROR_NOT_ENOUGH_MEMORY;
    return ERROR_INVALID_PARAMETER;
}

// Whether the call is part of the rewrite of the user's Preload or Substitutes key: its
// deletion (the walk of the deletion included), its recreation or a write into it. Only such a
// failure may cost the user an entry, and then the warning tells so.
bool touches_list_key_rewrite(const winsim::logged_call& call)
{
    std::string subject = lower(below_current_user(call.subject));
    bool list_key = starts_with(subject, lower(USER_PRELOAD).c_str()) ||
                    starts_with(subject, lower(USER_SUBSTITUTES).c_str());
    if (!list_key)
        return false;
    return call.call == "RegDeleteKeyA" || call.call == "RegCreateKeyExA" ||
           call.call == "RegEnumKeyExA" || call.call == "RegQueryInfoKeyA" ||
           call.call == "RegOpenKeyExA" || call.call == "RegSetValueExA";
}

// A key the scan reads completely: the user's lists, the Keyboard Layouts key and its
// German-family keys (language 0407, 0807, 0C07 or 1407).
bool scanned_completely(const std::string& subject)
{
    std::string key = lower(below_current_user(subject));
    if (key == lower(USER_PRELOAD) || key == lower(USER_SUBSTITUTES) ||
        key == lower(LAYOUTS_KEY))
        return true;
    std::string prefix = lower(LAYOUTS_KEY "\\");
    if (!starts_with(key, prefix.c_str()) || key.size() != prefix.size() + 8)
        return false;
    std::string language = key.substr(prefix.size() + 4);
    return language == "0407" || language == "0807" || language == "0c07" || language == "1407";
}

enum class flow { install_new, install_update, uninstall };

// Whether the call makes the diagram's shortcut or the uninstaller: an installation without
// either must say so.
bool makes_shortcut_or_uninstaller(const winsim::logged_call& call, flow which)
{
    std::string subject = lower(call.subject);
    bool link_file = subject.size() > 4 && subject.compare(subject.size() - 4, 4, ".lnk") == 0;
    bool uninstaller_file = subject == lower(SWEPT_PROGRAM_FOLDER UNINSTALLER_FILE_NAME);
    if (call.call == "CoCreateInstance" || starts_with(call.call, "IShellLinkA::") ||
        call.call == "IPersistFile::Save")
        return true;
    if (link_file)
        return call.call == "CreateFileW" || call.call == "CreateFileA" ||
               call.call == "WriteFile" || call.call == "CloseHandle";
    if (uninstaller_file)
        return call.call == "WriteFile" || call.call == "SetEndOfFile";
    return which == flow::install_new && call.call == "CreateDirectoryA" &&
           subject == lower(SWEPT_PROGRAM_FOLDER_PATH);
}

// Failing calls that the plain success message would report as a success: a read of the scan
// (it happens before the question, the flow's first box), redirection that stays on, a DLL
// that keeps the end of an older one, the registration of the new layout key, and the shortcut
// or the uninstaller that an installation could not make.
bool must_be_told(const winsim::logged_call& call, bool before_question, flow which)
{
    bool new_layout = which == flow::install_new;
    if (call.call == "Wow64DisableWow64FsRedirection")
        return true;
    if (which != flow::uninstall && makes_shortcut_or_uninstaller(call, which))
        return true;
    if (call.call == "SetEndOfFile" && lower(call.subject).find(".dll") != std::string::npos)
        return true;
    bool read = call.call == "RegQueryInfoKeyA" || call.call == "RegEnumValueA" ||
                call.call == "RegEnumKeyExA";
    if (read && before_question && scanned_completely(call.subject))
        return true;
    return new_layout && (call.call == "RegCreateKeyExA" || call.call == "RegSetValueExA") &&
           lower(call.subject) == lower(LAYOUTS_KEY "\\b0040407");
}

class fault_sweep : public sweep_test {
protected:
    size_t boxes_before = 0;
    // Layouts the user must still have after the flow.
    std::set<std::string> kept_layouts;

    void fresh_machine()
    {
        kb_test::SetUp();
    }

    // Puts the machine into the state before the flow; the call log starts empty.
    void prepare(flow which)
    {
        fresh_machine();
        test_warning_caption = "Tastaturtreiber-Installation";
        on_64_bit_windows();
        if (over_the_shoulder)
            elevate_over_the_shoulder();
        if (which != flow::install_new) {
            ASSERT_FALSE(run_installer());
            ASSERT_TRUE(winsim::reg_key_exists(LAYOUTS_KEY "\\" SWEPT_LAYOUT_KEY));
            // The user signs in again: Windows loads the layout's DLLs.
            log_on();
            fresh_process(which == flow::uninstall ? "Uninstall_" DLL_BASE_NAME
                                                   : "Install_" DLL_BASE_NAME);
        }
        if (which == flow::uninstall) {
            // The first instance has put its copy into the temporary folder and started it;
            // the user has made another layout the first, as Windows requires.
            winsim::add_file(temp_copy.c_str(), "MZ uninstaller");
            winsim::set_module_file_name(temp_copy.c_str());
            frame.argument_count = 1;
            strcpy(frame.arguments[0], "b0040407");
            put_product_layout_last();
            test_warning_caption = "Tastaturtreiber-Deinstallation";
        }
        kept_layouts = resolved_user_layouts();
        if (which == flow::uninstall)
            kept_layouts.erase("b0040407");
        boxes_before = winsim::message_boxes().size();
        winsim::clear_faults();
        winsim::clear_call_log();
    }
    bool run(flow which)
    {
        return which == flow::uninstall ? run_uninstaller_copy() : run_installer();
    }
    const char* success_text(flow which)
    {
        switch (which) {
        case flow::install_new: return "erfolgreich installiert";
        case flow::install_update: return "erfolgreich aktualisliert";
        default: return "wurde deinstalliert";
        }
    }

    // Runs the flow once cleanly, then once per call with that call failing; returns the count.
    unsigned long sweep(flow which, const char* name)
    {
        prepare(which);
        EXPECT_FALSE(run(which));
        const std::vector<winsim::logged_call> clean = winsim::call_log();
        const unsigned long count = (unsigned long)clean.size();
        std::vector<winsim::message_box> clean_boxes(winsim::message_boxes().begin() + boxes_before,
                                                     winsim::message_boxes().end());
        EXPECT_FALSE(clean_boxes.empty());
        if (!clean_boxes.empty()) {
            EXPECT_NE(std::string::npos, clean_boxes.back().text.find(success_text(which)))
                << clean_boxes.back().text;
        }
        EXPECT_FALSE(kept_layouts.empty());
        for (const std::string& layout : kept_layouts)
            EXPECT_TRUE(resolved_user_layouts().count(layout)) << "clean run lost " << layout;

        size_t question = 0;
        while (question < clean.size() && clean[question].call != "MessageBoxA")
            question++;

        std::set<std::string> quiet_successes;
        unsigned long told = 0;
        for (unsigned long n = 1; n <= count; n++) {
            const winsim::logged_call& target = clean[n - 1];
            SCOPED_TRACE(std::string(name) + ": call " + std::to_string(n) + " " + target.call +
                         "(" + target.subject + ")");
            prepare(which);
            if (HasFatalFailure())
                return count;
            winsim::fail_nth_call(n, error_for(target.call));
            EXPECT_FALSE(run(which));
            winsim::clear_faults();
            // Only a RegCloseKey that failed leaves its handle open.
            if (target.call != "RegCloseKey") {
                EXPECT_EQ(0, winsim::reg_open_handle_count()) << "a registry handle was left open";
            }

            // The fault hit the call the clean run made at this place.
            const auto& log = winsim::call_log();
            if (log.size() < n) {
                ADD_FAILURE() << "the run made fewer calls than the failed one's number";
                continue;
            }
            EXPECT_TRUE(log[n - 1].failed_by_fault);
            EXPECT_EQ(target.call, log[n - 1].call);

            // The user saw an outcome: a box that Windows showed. Only when the failed call is
            // the one box of the run may nothing have been shown.
            std::vector<winsim::message_box> shown;
            for (size_t i = boxes_before; i < winsim::message_boxes().size(); i++)
                if (winsim::message_boxes()[i].result != 0)
                    shown.push_back(winsim::message_boxes()[i]);
            bool only_box_failed = target.call == "MessageBoxA" &&
                                   winsim::message_boxes().size() == boxes_before + 1;
            EXPECT_TRUE(!shown.empty() || only_box_failed) << "the flow ended without a box";
            // Boxes, the shell and COM run with redirection on, also after a failure; only
            // redirection that cannot be switched on again leaves its warning no choice.
            if (target.call != "Wow64RevertWow64FsRedirection") {
                EXPECT_EQ("", calls_while_redirection_off());
            }

            bool warned = false;
            for (size_t i = boxes_before; i < winsim::message_boxes().size(); i++)
                if (winsim::message_boxes()[i].text.find("Problem bei Registry-Key-Update") !=
                    std::string::npos)
                    warned = true;
            // A layout may only go when the rewrite of a list key failed, and then the warning
            // tells the user.
            std::set<std::string> after = resolved_user_layouts();
            for (const std::string& layout : kept_layouts) {
                if (!after.count(layout)) {
                    EXPECT_TRUE(touches_list_key_rewrite(target) && warned)
                        << "lost " << layout << (warned ? " (warned)" : " without the warning");
                }
            }
            // The clean run's success, word for word: a success that tells of something missing
            // (the shortcut, the language list) is not plain.
            bool plain_success = shown.size() <= 2 && !shown.empty() && !clean_boxes.empty() &&
                                 shown.back().text == clean_boxes.back().text;
            if (must_be_told(target, n - 1 < question, which)) {
                told++;
                EXPECT_FALSE(plain_success) << "a failure reported as the plain success";
            } else if (plain_success) {
                quiet_successes.insert(target.call + "(" + target.subject + ")");
            }
        }
        // The simulation as the clean run left it, for the fixture's check of open handles.
        prepare(which);
        EXPECT_FALSE(run(which));
        EXPECT_GT(told, 0u);
        for (const std::string& call : quiet_successes)
            std::printf("fault sweep %s: followed by the plain success: %s\n", name, call.c_str());
        std::printf("fault sweep %s: %lu calls swept, %lu of them must be told\n", name, count,
                    told);
        return count;
    }
};

// The 32-bit programs for a user whose name the ANSI code page cannot spell.
TEST_F(fault_sweep, install_new_survives_every_failing_call)
{
    user_name = "\xC5\x81ukasz";
    EXPECT_GT(sweep(flow::install_new, "install new"), 0u);
}

TEST_F(fault_sweep, install_update_survives_every_failing_call)
{
    EXPECT_GT(sweep(flow::install_update, "install update"), 0u);
}

TEST_F(fault_sweep, uninstall_survives_every_failing_call)
{
    user_name = "\xC5\x81ukasz";
    EXPECT_GT(sweep(flow::uninstall, "uninstall"), 0u);
}

// An administrator elevates the programs for a standard user.
TEST_F(fault_sweep, an_install_over_the_shoulder_survives_every_failing_call)
{
    over_the_shoulder = true;
    EXPECT_GT(sweep(flow::install_new, "install new, over the shoulder"), 0u);
}

TEST_F(fault_sweep, an_uninstall_over_the_shoulder_survives_every_failing_call)
{
    over_the_shoulder = true;
    EXPECT_GT(sweep(flow::uninstall, "uninstall, over the shoulder"), 0u);
}

// The 64-bit programs, which run without WOW64.
TEST_F(fault_sweep, a_64_bit_install_survives_every_failing_call)
{
    program_bits = 64;
    EXPECT_GT(sweep(flow::install_new, "install new, 64-bit"), 0u);
}

TEST_F(fault_sweep, a_64_bit_uninstall_survives_every_failing_call)
{
    program_bits = 64;
    EXPECT_GT(sweep(flow::uninstall, "uninstall, 64-bit"), 0u);
}

}  // namespace
