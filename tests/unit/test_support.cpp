// Shared fixture of the host unit tests: resets, seeding and the common German registry fixture.
#include "test_support.h"

#include <ctype.h>

#include <set>

#include <winsim/desktop_control.h>
#include <winsim/files_control.h>
#include <winsim/security_control.h>

#include "files/file_operations.h"
#include "frame/startup.h"
#include "product_constants.h"
#include "program_state.h"

const char* test_warning_caption = "Tastaturtreiber-Installation";
const char* program_file_warning_caption() { return test_warning_caption; }

void kb_test::SetUp()
{
    winsim::reset();
    reset_program_state("Install_" DLL_BASE_NAME);
}

void run_as_program(int windows_bits, int program_bits)
{
    winsim::set_windows_bitness(windows_bits);
    winsim::set_wow64(true, windows_bits == 64 && program_bits == 32);
    winsim::close_mutex_handles();  // a new program: an earlier one has ended
    probe_machine();
}

void log_on()
{
    winsim::log_on_user();
}

int calls_named(const char* name)
{
    int count = 0;
    for (const winsim::logged_call& call : winsim::call_log())
        count += call.call == name;
    return count;
}

std::string calls_while_redirection_off()
{
    // The file operations on the layout DLLs, and the reading of the installer's own resources
    // and of Windows' error texts between them.
    static const std::set<std::string> file_calls = {
        "CreateFileA", "ReadFile", "WriteFile", "SetEndOfFile", "SetFilePointer", "GetFileSize",
        "GetFileTime", "SetFileTime", "CloseHandle", "GetFileAttributesA", "SetFileAttributesA",
        "FindFirstFileA", "FindNextFileA", "FindClose", "DeleteFileA", "MoveFileExA"};
    static const std::set<std::string> other_calls = {"FindResourceA", "LoadResource",
                                                      "SizeofResource", "FormatMessageA"};
    bool off = false;
    std::string offending;
    for (const winsim::logged_call& call : winsim::call_log()) {
        if (call.call == "Wow64DisableWow64FsRedirection") {
            off = !call.failed_by_fault;
            continue;
        }
        if (call.call == "Wow64RevertWow64FsRedirection") {
            off = off && call.failed_by_fault;
            continue;
        }
        std::string subject = call.subject;
        for (char& c : subject)
            c = (char)tolower((unsigned char)c);
        // A search names its folder, the other calls their file.
        bool system_file = subject.rfind("c:\\windows\\system32", 0) == 0 ||
                           subject.rfind("c:\\windows\\syswow64", 0) == 0;
        // MoveFileExA lists a file for the restart through the session manager's key.
        bool session_manager = call.call.rfind("Reg", 0) == 0 &&
                               subject.find("\\control\\session manager") != std::string::npos;
        if (off && !other_calls.count(call.call) && !session_manager &&
            !(file_calls.count(call.call) && system_file))
            offending += call.call + "(" + call.subject + ")\n";
    }
    if (off)
        offending += "still off at the end\n";
    return offending;
}

void kb_test::TearDown()
{
    EXPECT_EQ(0, winsim::reg_open_handle_count()) << "a registry handle was left open";
}

void kb_test::seed(const char* reg_text)
{
    std::string error;
    std::string text = std::string("Windows Registry Editor Version 5.00\n\n") + reg_text;
    ASSERT_TRUE(winsim::reg_import(text.c_str(), &error)) << error;
}

std::string kb_test::dump(const char* key_path)
{
    return winsim::reg_export(key_path);
}

void sign_in_standard_user(const char* name)
{
    winsim::set_standard_user_name(name);
    winsim::set_shell_owner(winsim::shell_owner::standard_user);
    std::string copy = moved_below(winsim::reg_export("HKEY_CURRENT_USER"), "HKEY_CURRENT_USER",
                                   standard_user_key());
    std::string error;
    ASSERT_TRUE(winsim::reg_import(("Windows Registry Editor Version 5.00\n\n" + copy).c_str(), &error))
        << error;
}

std::string standard_user_key()
{
    return std::string("HKEY_USERS\\") + winsim::standard_user_sid;
}

std::string moved_below(std::string reg_text, const std::string& from, const std::string& to)
{
    const std::string old_start = "[" + from, new_start = "[" + to;
    for (size_t at = reg_text.find(old_start); at != std::string::npos;
         at = reg_text.find(old_start, at + new_start.size()))
        reg_text.replace(at, old_start.size(), new_start);
    return reg_text;
}

void add_payload_resources(const char* uninstaller)
{
    for (int i = 1; i <= 6; i++) {
        std::string number = std::to_string(i);
        winsim::add_resource(("DATEI" + number + "_TYPE").c_str(),
                             ("DATEI" + number + "_NAME").c_str(), 1031,
                             i == 6 && uninstaller ? uninstaller : "payload " + number);
    }
}

const char* const language_list_fixture = R"REG(
[HKEY_CURRENT_USER\Control Panel\International\User Profile]
"Languages"=hex(7):65,6e,2d,55,53,00,64,65,2d,44,45,00,00

[HKEY_CURRENT_USER\Control Panel\International\User Profile\en-US]
"0409:00000409"=dword:00000001

[HKEY_CURRENT_USER\Control Panel\International\User Profile\de-DE]
"0407:00000407"=dword:00000001
)REG";

const char* const german_windows_fixture = R"REG(
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall]

[HKEY_CURRENT_USER\Keyboard Layout\Preload]
"1"="00000407"

[HKEY_CURRENT_USER\Keyboard Layout\Substitutes]

[HKEY_LOCAL_MACHINE\System\CurrentControlSet\Control\Keyboard Layouts\00000407]
"Layout File"="KBDGR.DLL"
"Layout Text"="German"

[HKEY_LOCAL_MACHINE\System\CurrentControlSet\Control\Keyboard Layouts\00000807]
"Layout File"="KBDSG.DLL"
"Layout Text"="Swiss German"

[HKEY_LOCAL_MACHINE\System\CurrentControlSet\Control\Keyboard Layouts\00000C07]
"Layout File"="KBDGR.DLL"
"Layout Text"="German (Austria)"

[HKEY_LOCAL_MACHINE\System\CurrentControlSet\Control\Keyboard Layouts\00001407]
"Layout File"="KBDSG.DLL"
"Layout Text"="German (Luxembourg)"

[HKEY_LOCAL_MACHINE\System\CurrentControlSet\Control\Keyboard Layouts\00010407]
"Layout File"="KBDGR1.DLL"
"Layout Text"="German (IBM)"
"Layout Id"="0012"

[HKEY_LOCAL_MACHINE\System\CurrentControlSet\Control\Keyboard Layouts\00020407]
"Layout File"="KBDGRE.DLL"
"Layout Text"="German Extended (E1)"
"Layout Id"="00c0"

[HKEY_LOCAL_MACHINE\System\CurrentControlSet\Control\Keyboard Layouts\00030407]
"Layout File"="KBDGRE.DLL"
"Layout Text"="German Extended (E2)"
"Layout Id"="00c1"

[HKEY_LOCAL_MACHINE\System\CurrentControlSet\Control\Keyboard Layouts\00000409]
"Layout File"="KBDUS.DLL"
"Layout Text"="US"

[HKEY_LOCAL_MACHINE\System\CurrentControlSet\Control\Keyboard Layouts\00010409]
"Layout File"="KBDDV.DLL"
"Layout Text"="United States-Dvorak"
"Layout Id"="0002"
)REG";
