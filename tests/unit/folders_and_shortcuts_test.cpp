// Tests of the system folders with WOW64 redirection, and of the shell shortcuts and their places.
#include "test_support.h"

#include <string.h>

#include <winsim/desktop_control.h>
#include <winsim/files_control.h>
#include <winsim/security_control.h>
#include <winsim/shell_control.h>

#include "files/file_operations.h"
#include "files/shortcuts.h"
#include "files/system_folders.h"
#include "frame/frame.h"
#include "frame/startup.h"

namespace {

class folders_test : public kb_test {
protected:
    void on_windows(int bits)
    {
        winsim::set_windows_bitness(bits);
        if (bits == 64)
            winsim::set_wow64(true, true);
        probe_machine();
    }
};

// Redirection is off only between the two calls, and only for a WOW64 process.
TEST_F(folders_test, redirection_is_off_only_for_the_work_in_the_system_folders)
{
    struct case_t {
        int windows_bits, program_bits;
        int switches;
        const char* program_files;
    } cases[] = {
        {32, 32, 0, "C:\\Program Files"},
        {64, 64, 0, "C:\\Program Files"},
        {64, 32, 1, "C:\\Program Files (x86)"},
    };
    for (const case_t& c : cases) {
        SCOPED_TRACE(std::to_string(c.program_bits) + "-bit program on " +
                     std::to_string(c.windows_bits) + "-bit Windows");
        kb_test::SetUp();
        run_as_program(c.windows_bits, c.program_bits);
        EXPECT_TRUE(determine_install_folders());
        EXPECT_STREQ("C:\\Windows\\system32\\", install_folders.system_folder);
        EXPECT_EQ(std::string(c.program_files) + "\\Q7-Tastaturbelegung", install_folders.program_folder);
        EXPECT_EQ(0, calls_named("Wow64DisableWow64FsRedirection"));
        ASSERT_TRUE(redirection_off_for_system_folders());
        // The file written to system32 lands in the real system32.
        HANDLE file = CreateFileA("C:\\Windows\\system32\\probe.dll", GENERIC_WRITE, 0, nullptr,
                                  CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, file);
        CloseHandle(file);
        redirection_back_on();
        EXPECT_TRUE(winsim::entry_exists("C:\\Windows\\System32\\probe.dll"));
        EXPECT_FALSE(winsim::entry_exists("C:\\Windows\\SysWOW64\\probe.dll"));
        // Redirected again: a 32-bit program sees the 32-bit folder under the name.
        EXPECT_EQ(c.switches == 0, FileExists("C:\\Windows\\system32\\probe.dll"));
        EXPECT_EQ(c.switches, calls_named("Wow64DisableWow64FsRedirection"));
        EXPECT_EQ(c.switches, calls_named("Wow64RevertWow64FsRedirection"));
    }
}

// Only the shell knows Program Files: no folder is made up in its place.
TEST_F(folders_test, without_program_files_no_program_folder_is_determined)
{
    on_windows(32);
    winsim::fail_special_folder(CSIDL_PROGRAM_FILES);
    EXPECT_FALSE(determine_install_folders());
    EXPECT_STREQ("Das Programmverzeichnis kann nicht ermittelt werden.", install_folders.error_text);
    EXPECT_EQ(0, winsim::shell_allocator_references());
    EXPECT_EQ(0, winsim::outstanding_task_allocations());
}

TEST_F(folders_test, a_program_files_folder_without_a_path_is_not_found)
{
    on_windows(32);
    winsim::fail_call("SHGetPathFromIDListA", "", ERROR_ACCESS_DENIED);
    char path[MAX_PATH];
    memset(path, 'x', sizeof path);
    EXPECT_FALSE(special_folder_path(path, CSIDL_PROGRAM_FILES));
    EXPECT_STREQ("", path);
    EXPECT_FALSE(determine_install_folders());
    EXPECT_EQ(0, winsim::outstanding_task_allocations());
}

// A failed folder query must not leave a path that names the root of the current drive.
TEST_F(folders_test, failed_folder_queries_fail_with_their_reason)
{
    struct case_t {
        const char* call;
        const char* reason;
    } cases[] = {
        {"GetSystemDirectoryA", "Das Systemverzeichnis kann nicht ermittelt werden."},
        {"GetSystemWow64DirectoryA", "Das 32-Bit-Systemverzeichnis kann nicht ermittelt werden."},
    };
    for (const case_t& c : cases) {
        SCOPED_TRACE(c.call);
        kb_test::SetUp();
        on_windows(64);
        winsim::fail_call(c.call, "", ERROR_INVALID_PARAMETER);
        EXPECT_FALSE(determine_install_folders());
        EXPECT_STREQ(c.reason, install_folders.error_text);
    }
}

// Without room for the product's own level the program folder would be Program Files itself,
// which the flows would then write into and delete from.
TEST_F(folders_test, a_program_folder_that_does_not_fit_is_not_determined)
{
    on_windows(32);
    // 240 + "\\Q7-Tastaturbelegung" (20) is 260 characters: one too many.
    std::string long_folder = "C:\\" + std::string(237, 'p');
    ASSERT_TRUE(winsim::add_folder(long_folder.c_str()));
    winsim::set_special_folder(CSIDL_PROGRAM_FILES, long_folder.c_str());
    EXPECT_FALSE(determine_install_folders());
    EXPECT_STREQ("Das Programmverzeichnis kann nicht ermittelt werden.", install_folders.error_text);
    EXPECT_STREQ("", install_folders.program_folder);

    std::string fitting = long_folder.substr(0, long_folder.size() - 1);
    winsim::set_special_folder(CSIDL_PROGRAM_FILES, fitting.c_str());
    EXPECT_TRUE(determine_install_folders());
    EXPECT_EQ(fitting + "\\Q7-Tastaturbelegung", install_folders.program_folder);
}

TEST_F(folders_test, is_full_folder_path_wants_a_drive_or_a_share)
{
    EXPECT_TRUE(is_full_folder_path("C:\\"));
    EXPECT_TRUE(is_full_folder_path("z:\\Temp\\"));
    EXPECT_TRUE(is_full_folder_path("\\\\server\\share\\"));
    EXPECT_FALSE(is_full_folder_path("\\"));
    EXPECT_FALSE(is_full_folder_path("\\Q7-Tastaturbelegung"));
    EXPECT_FALSE(is_full_folder_path("\\\\\\x"));
    EXPECT_FALSE(is_full_folder_path("C:Temp\\"));
    EXPECT_FALSE(is_full_folder_path("1:\\"));
    EXPECT_FALSE(is_full_folder_path(""));
}

TEST_F(folders_test, redirection_that_stays_on_or_off_is_told)
{
    on_windows(64);
    EXPECT_TRUE(determine_install_folders());
    winsim::fail_call("Wow64DisableWow64FsRedirection", "", ERROR_INVALID_FUNCTION);
    EXPECT_FALSE(redirection_off_for_system_folders());
    EXPECT_STREQ("Die Umleitung des Dateisystems für 32-Bit-Programme (WOW64) kann nicht "
                 "abgeschaltet werden.",
                 install_folders.error_text);
    EXPECT_TRUE(redirection_back_on());
    EXPECT_EQ(0, calls_named("Wow64RevertWow64FsRedirection"));

    // Switched off, it may fail to come on again: that is told, and it stays off.
    winsim::clear_faults();
    ASSERT_TRUE(redirection_off_for_system_folders());
    winsim::fail_call("Wow64RevertWow64FsRedirection", "", ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(redirection_back_on());
    EXPECT_STREQ("Die Umleitung des Dateisystems für 32-Bit-Programme (WOW64) kann nicht wieder "
                 "eingeschaltet werden.",
                 install_folders.error_text);
    EXPECT_TRUE(install_folders.redirection_off);
    winsim::clear_faults();
    EXPECT_TRUE(redirection_back_on());
}

TEST_F(folders_test, special_folders_release_their_item_lists)
{
    char path[MAX_PATH];
    EXPECT_TRUE(special_folder_path(path, CSIDL_DESKTOPDIRECTORY));
    EXPECT_EQ(winsim::standard_folders().desktop, path);
    winsim::fail_special_folder(CSIDL_DESKTOPDIRECTORY);
    strcpy(path, "old");
    EXPECT_FALSE(special_folder_path(path, CSIDL_DESKTOPDIRECTORY));
    EXPECT_STREQ("", path);
    EXPECT_EQ(0, winsim::shell_allocator_references());
    EXPECT_EQ(0, winsim::outstanding_task_allocations());
}

// A wide path of ASCII characters as the tests spell it.
std::string narrow(const WCHAR* path)
{
    std::string text;
    for (; *path; path++)
        text += (char)*path;
    return text;
}

class shortcut_test : public kb_test {
protected:
    void TearDown() override
    {
        EXPECT_EQ(0, winsim::com_initialize_depth());
        EXPECT_EQ(0, winsim::outstanding_com_objects());
        EXPECT_EQ(0, winsim::shell_allocator_references());
        EXPECT_EQ(0, winsim::outstanding_task_allocations());
        kb_test::TearDown();
    }
    std::string folder_of(const char* place, bool all_users)
    {
        WCHAR path[MAX_PATH];
        EXPECT_TRUE(shortcut_folder_path(path, nullptr, place, all_users));
        return narrow(path);
    }
};

TEST_F(shortcut_test, the_four_kinds_of_place)
{
    const auto& f = winsim::standard_folders();
    EXPECT_EQ(f.desktop + "\\", folder_of(nullptr, false));
    EXPECT_EQ(f.public_desktop + "\\", folder_of(nullptr, true));
    EXPECT_EQ(winsim::special_folder(CSIDL_PROGRAMS) + "\\Q7\\", folder_of("Q7", false));
    EXPECT_EQ(winsim::special_folder(CSIDL_COMMON_PROGRAMS) + "\\Q7\\", folder_of("Q7", true));
    EXPECT_EQ(f.documents + "\\", folder_of(SHORTCUT_PLACE_CSIDL(0x0005), false));
    int lookups = calls_named("SHGetFolderPathW") + calls_named("SHGetKnownFolderPath");
    EXPECT_EQ("D:\\Links\\", folder_of("D:\\Links", true));
    EXPECT_EQ(lookups, calls_named("SHGetFolderPathW") + calls_named("SHGetKnownFolderPath"));
}

TEST_F(shortcut_test, all_users_falls_back_to_the_users_folders)
{
    winsim::fail_special_folder(CSIDL_COMMON_DESKTOPDIRECTORY);
    winsim::fail_special_folder(CSIDL_COMMON_PROGRAMS);
    winsim::fail_special_folder(0x0023);
    EXPECT_EQ(winsim::standard_folders().desktop + "\\", folder_of(nullptr, true));
    EXPECT_EQ(winsim::special_folder(CSIDL_PROGRAMS) + "\\Sub\\", folder_of("Sub", true));
    EXPECT_EQ(winsim::special_folder(CSIDL_PROGRAMS) + "\\", folder_of(SHORTCUT_PLACE_CSIDL(0x0023), true));
}

TEST_F(shortcut_test, a_failed_lookup_still_gives_a_separator_and_the_subfolder)
{
    winsim::fail_special_folder(CSIDL_PROGRAMS);
    WCHAR path[MAX_PATH];
    EXPECT_FALSE(shortcut_folder_path(path, nullptr, "Sub", false));
    EXPECT_EQ("\\Sub\\", narrow(path));
    EXPECT_FALSE(shortcut_folder_path(path, nullptr, SHORTCUT_PLACE_CSIDL(CSIDL_PROGRAMS), false));
    EXPECT_EQ("\\", narrow(path));
}

// The desktop through SHGetKnownFolderPath, or SHGetFolderPathW where Windows lacks it; a
// desktop the shell cannot name, or that is missing, gets no shortcut and no folder.
TEST_F(shortcut_test, the_desktop_is_found_by_either_lookup_and_never_made)
{
    for (bool known_folders : {true, false}) {
        SCOPED_TRACE(known_folders ? "SHGetKnownFolderPath" : "SHGetFolderPathW");
        kb_test::SetUp();
        winsim::set_known_folder_function_present(known_folders);
        EXPECT_EQ(winsim::standard_folders().desktop + "\\", folder_of(nullptr, false));
        EXPECT_EQ(known_folders ? 1 : 0, calls_named("SHGetKnownFolderPath"));
        EXPECT_EQ(known_folders ? 0 : 1, calls_named("SHGetFolderPathW"));

        winsim::set_special_folder(CSIDL_DESKTOPDIRECTORY, "C:\\Users\\Anwender\\Schreibtisch");
        EXPECT_FALSE(create_shortcut(nullptr, "C:\\P\\s.pdf", nullptr, nullptr, "Schaubild",
                                     nullptr, nullptr, 0, nullptr, SW_SHOW, false));
        EXPECT_FALSE(winsim::entry_exists("C:\\Users\\Anwender\\Schreibtisch"));
        winsim::fail_special_folder(CSIDL_DESKTOPDIRECTORY);
        EXPECT_FALSE(create_shortcut(nullptr, "C:\\P\\s.pdf", nullptr, nullptr, "Schaubild",
                                     nullptr, nullptr, 0, nullptr, SW_SHOW, false));
        EXPECT_FALSE(winsim::entry_exists("C:\\Schaubild.LNK"));
        EXPECT_EQ(0, winsim::outstanding_task_allocations());
    }
}

TEST_F(shortcut_test, a_desktop_shortcut_with_its_icon_is_written_and_deleted)
{
    std::string link = winsim::standard_folders().desktop + "\\Schaubild.LNK";
    EXPECT_TRUE(create_shortcut(nullptr, "C:\\P\\s.pdf", nullptr, nullptr, "Schaubild", nullptr,
                                "C:\\P\\s.ico", 0, "Schaubild", SW_SHOW, false));
    winsim::shell_link_fields fields;
    ASSERT_TRUE(winsim::read_shell_link(link.c_str(), &fields));
    EXPECT_EQ("C:\\P\\s.pdf", fields.target);
    EXPECT_EQ("", fields.arguments);
    EXPECT_EQ("", fields.working_folder);
    EXPECT_EQ("Schaubild", fields.description);
    EXPECT_EQ(SW_SHOW, fields.show_command);
    EXPECT_EQ("C:\\P\\s.ico", fields.icon_file);
    EXPECT_EQ(0, fields.icon_index);
    EXPECT_TRUE(delete_shortcut(nullptr, nullptr, "Schaubild", false));
    EXPECT_FALSE(winsim::entry_exists(link.c_str()));
    EXPECT_FALSE(delete_shortcut(nullptr, nullptr, "Schaubild", false));
    EXPECT_TRUE(winsim::message_boxes().empty());
}

TEST_F(shortcut_test, icon_from_the_target_and_working_folder_without_its_separator)
{
    // No drive D: yet: the folder cannot be made, and the save fails.
    EXPECT_FALSE(create_shortcut(nullptr, "C:\\P\\prog.exe", "/x", "D:\\Links", "Prog", "C:\\P\\",
                                 nullptr, 3, nullptr, SW_SHOWNORMAL, false));
    winsim::add_drive('D');
    EXPECT_TRUE(create_shortcut(nullptr, "C:\\P\\prog.exe", "/x", "D:\\Links", "Prog", "C:\\P\\",
                                nullptr, 3, nullptr, SW_SHOWNORMAL, false));
    winsim::shell_link_fields fields;
    ASSERT_TRUE(winsim::read_shell_link("D:\\Links\\Prog.LNK", &fields));
    EXPECT_EQ("C:\\P\\prog.exe", fields.icon_file);
    EXPECT_EQ(3, fields.icon_index);
    EXPECT_EQ("C:\\P", fields.working_folder);
    EXPECT_EQ("/x", fields.arguments);
    // The missing folder D:\Links was created, open to Everyone.
    EXPECT_NE(std::string::npos,
              winsim::file_security("D:\\Links").find("allow - 0xE01300EF S-1-1-0"));
}

TEST_F(shortcut_test, a_start_menu_subfolder_is_created_with_the_grant)
{
    std::string folder = winsim::special_folder(CSIDL_PROGRAMS) + "\\Q7 Tastatur";
    EXPECT_FALSE(winsim::entry_exists(folder.c_str()));
    EXPECT_TRUE(create_shortcut(nullptr, "C:\\P\\a.pdf", nullptr, "Q7 Tastatur", "A", "", nullptr,
                                0, nullptr, SW_SHOW, false));
    EXPECT_TRUE(winsim::entry_exists((folder + "\\A.LNK").c_str()));
    EXPECT_NE(std::string::npos,
              winsim::file_security(folder.c_str()).find("allow - 0xE01300EF S-1-1-0"));
}

TEST_F(shortcut_test, a_failing_setter_writes_nothing)
{
    winsim::fail_call("IShellLinkA::SetIconLocation", "", ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(create_shortcut(nullptr, "C:\\P\\a.pdf", nullptr, nullptr, "A", nullptr, nullptr,
                                 0, nullptr, SW_SHOW, false));
    EXPECT_TRUE(winsim::list_folder(winsim::standard_folders().desktop.c_str()).empty());
}

TEST_F(shortcut_test, com_already_initialised_is_balanced_too)
{
    ASSERT_EQ(S_OK, CoInitialize(nullptr));
    EXPECT_TRUE(create_shortcut(nullptr, "C:\\P\\a.pdf", nullptr, nullptr, "A", nullptr, nullptr,
                                0, nullptr, SW_SHOW, false));
    EXPECT_EQ(1, winsim::com_initialize_depth());
    CoUninitialize();
}

}  // namespace
