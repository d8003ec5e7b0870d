// Tests of the simulated file system's own test API and of its rules that the contract tests cannot reach.
#include <windows.h>
#include <winsim/control.h>
#include <winsim/desktop_control.h>
#include <winsim/files_control.h>
#include <winsim/registry_control.h>

#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

namespace {

class winsim_files : public ::testing::Test {
protected:
    void SetUp() override { winsim::reset(); }
    void TearDown() override { winsim::reset(); }
};

std::vector<std::string> find_names(const char* pattern) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA(pattern, &data);
    if (search == INVALID_HANDLE_VALUE) return names;
    do names.push_back(data.cFileName);
    while (FindNextFileA(search, &data));
    FindClose(search);
    return names;
}

TEST_F(winsim_files, a_fresh_machine_is_a_german_64_bit_windows) {
    const winsim::standard_folder_paths& folders = winsim::standard_folders();
    EXPECT_EQ("C:\\Users\\Anwender\\AppData\\Local\\Temp", folders.temp);
    EXPECT_EQ("C:\\Windows\\SysWOW64", folders.syswow64);
    EXPECT_EQ((DWORD)(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM),
              GetFileAttributesA("C:\\"));
    EXPECT_EQ((DWORD)(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN), GetFileAttributesA("c:/programdata"));
    std::vector<std::string> windows = {"Fonts", "System32", "SysWOW64", "Temp"};
    EXPECT_EQ(windows, winsim::list_folder("C:\\Windows"));
    char buffer[MAX_PATH];
    ASSERT_EQ(19u, GetSystemDirectoryA(buffer, sizeof buffer));
    EXPECT_STREQ("C:\\Windows\\system32", buffer);
    ASSERT_EQ(37u, GetTempPathA(sizeof buffer, buffer));
    EXPECT_STREQ("C:\\Users\\Anwender\\AppData\\Local\\Temp\\", buffer);
}

TEST_F(winsim_files, a_32_bit_windows_has_no_syswow64_and_no_wow64_process) {
    winsim::set_wow64(true, true);
    winsim::set_windows_bitness(32);
    BOOL wow64 = TRUE;
    ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64));
    EXPECT_FALSE(wow64);
    EXPECT_FALSE(winsim::entry_exists("C:\\Windows\\SysWOW64"));
    EXPECT_FALSE(winsim::entry_exists("C:\\Program Files (x86)"));
    EXPECT_EQ("", winsim::standard_folders().program_files_x86);
    char buffer[MAX_PATH];
    SetLastError(0xdeadbeef);
    EXPECT_EQ(0u, GetSystemWow64DirectoryA(buffer, sizeof buffer));
    EXPECT_EQ((DWORD)ERROR_CALL_NOT_IMPLEMENTED, GetLastError());
}

TEST_F(winsim_files, user_name_and_temp_path_are_configurable) {
    winsim::set_user_name("Lena");
    EXPECT_TRUE(winsim::entry_exists("C:\\Users\\Lena\\Desktop"));
    EXPECT_FALSE(winsim::entry_exists("C:\\Users\\Anwender"));
    char buffer[MAX_PATH];
    GetTempPathA(sizeof buffer, buffer);
    EXPECT_STREQ("C:\\Users\\Lena\\AppData\\Local\\Temp\\", buffer);
    winsim::set_temp_path("D:\\Temp");
    GetTempPathA(sizeof buffer, buffer);
    EXPECT_STREQ("D:\\Temp\\", buffer);
}

TEST_F(winsim_files, entries_take_the_clock_and_writes_move_the_last_write_time) {
    const ULONGLONG made = winsim::filetime_ticks(2023, 12, 31, 23, 59, 59, 1234567);
    winsim::set_file_clock(made);
    ASSERT_TRUE(winsim::add_file("C:\\Data\\new\\plain.bin", "abc", FILE_ATTRIBUTE_NORMAL));
    winsim::entry_info plain = winsim::entry("c:\\data\\NEW\\plain.bin");
    ASSERT_TRUE(plain.exists);
    EXPECT_EQ("plain.bin", plain.name);
    EXPECT_EQ((DWORD)FILE_ATTRIBUTE_NORMAL, plain.attributes);
    EXPECT_EQ(made, plain.creation_time);
    EXPECT_EQ(made, plain.last_write_time);
    EXPECT_TRUE(winsim::entry("C:\\Data\\new").is_folder);

    winsim::set_file_clock(made + 10);
    HANDLE file = CreateFileA("C:\\Data\\new\\plain.bin", GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    DWORD written = 0;
    ASSERT_TRUE(SetFilePointer(file, 0, NULL, FILE_END) == 3);
    ASSERT_TRUE(WriteFile(file, "de", 2, &written, NULL));
    EXPECT_EQ(1, winsim::open_file_handles());
    ASSERT_TRUE(CloseHandle(file));
    winsim::entry_info after = winsim::entry("C:\\Data\\new\\plain.bin");
    EXPECT_EQ("abcde", after.contents);
    EXPECT_EQ(made + 10, after.last_write_time);
    EXPECT_EQ(made, after.creation_time);
    EXPECT_EQ((DWORD)FILE_ATTRIBUTE_ARCHIVE, after.attributes);  // a write sets the archive bit
    EXPECT_EQ(0, winsim::open_file_handles());
}

TEST_F(winsim_files, dump_tree_lists_every_entry_in_find_order) {
    winsim::set_file_clock(winsim::filetime_ticks(2024, 1, 2, 3, 4, 5));
    ASSERT_TRUE(winsim::add_folder("C:\\Tree"));
    ASSERT_TRUE(winsim::add_file("C:\\Tree\\b.txt", "12345", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
    ASSERT_TRUE(winsim::add_file("C:\\Tree\\A\\x", "", 0));
    ASSERT_TRUE(winsim::add_folder("C:\\Tree\\_hidden", FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ("C:\\Tree | D | - | 2024-01-02 03:04:05.0000000\n"
              "C:\\Tree\\A | D | - | 2024-01-02 03:04:05.0000000\n"
              "C:\\Tree\\A\\x | N | 0 | 2024-01-02 03:04:05.0000000\n"
              "C:\\Tree\\b.txt | RA | 5 | 2024-01-02 03:04:05.0000000\n"
              "C:\\Tree\\_hidden | HD | - | 2024-01-02 03:04:05.0000000\n",
              winsim::dump_tree("c:\\tree"));
    EXPECT_EQ("", winsim::dump_tree("C:\\Nothing"));
}

TEST_F(winsim_files, find_order_compares_upper_cased_code_points) {
    for (const char* name : {"Žz", "äpfel", "_x", "Zeta", "ab"}) ASSERT_TRUE(winsim::add_file((std::string("C:\\Order\\") + name).c_str(), ""));
    std::vector<std::string> expected = {".", "..", "ab", "Zeta", "_x", "äpfel", "Žz"};
    EXPECT_EQ(expected, find_names("C:\\Order\\*"));
    EXPECT_EQ(std::vector<std::string>{"äpfel"}, find_names("C:\\Order\\ÄPFEL"));
}

TEST_F(winsim_files, a_held_file_blocks_deletion_until_released) {
    ASSERT_TRUE(winsim::add_file("C:\\held.txt", "x"));
    DWORD error = 0;
    long hold = winsim::hold_file_open("C:\\held.txt", GENERIC_READ, FILE_SHARE_READ, &error);
    ASSERT_NE(0, hold);
    EXPECT_EQ(0, winsim::open_file_handles());
    EXPECT_EQ(1, winsim::entry("C:\\held.txt").open_handles);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(DeleteFileA("C:\\held.txt"));
    EXPECT_EQ((DWORD)ERROR_SHARING_VIOLATION, GetLastError());
    EXPECT_EQ(0, winsim::hold_file_open("C:\\held.txt", GENERIC_WRITE, 7, &error));
    EXPECT_EQ((DWORD)ERROR_SHARING_VIOLATION, error);
    winsim::release_file(hold);
    EXPECT_TRUE(DeleteFileA("C:\\held.txt"));
    EXPECT_FALSE(winsim::entry_exists("C:\\held.txt"));
}

// The loader's open reads and lets others read and delete; a mapping then refuses writers.
TEST_F(winsim_files, a_mapping_needs_the_loaders_open_and_refuses_writers) {
    ASSERT_TRUE(winsim::add_file("C:\\D\\kb.dll", "MZ"));
    ASSERT_TRUE(winsim::add_folder("C:\\D\\folder"));
    struct { const char* path; DWORD access, share; DWORD error; } cases[] = {
        {"C:\\D\\kb.dll", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, ERROR_SHARING_VIOLATION},
        {"C:\\D\\kb.dll", GENERIC_READ, FILE_SHARE_WRITE, ERROR_SHARING_VIOLATION},
        {"C:\\D\\missing.dll", 0, 0, ERROR_FILE_NOT_FOUND},
        {"C:\\E\\kb.dll", 0, 0, ERROR_PATH_NOT_FOUND},
        {"C:\\D\\folder", 0, 0, ERROR_ACCESS_DENIED},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        long hold = c.access ? winsim::hold_file_open(c.path, c.access, c.share) : 0;
        DWORD error = 0xdeadbeef;
        EXPECT_EQ(0, winsim::map_file_as_image(c.path, &error));
        EXPECT_EQ(c.error, error);
        if (hold) winsim::release_file(hold);
    }
    long reader = winsim::hold_file_open("C:\\D\\kb.dll", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE);
    long mapping = winsim::map_file_as_image("C:\\D\\kb.dll");
    ASSERT_NE(0, mapping);
    EXPECT_NE(mapping, winsim::map_file_as_image("C:\\D\\kb.dll"));
    EXPECT_EQ(2, winsim::image_mappings("C:\\D\\kb.dll"));
    DWORD error = 0;
    EXPECT_EQ(0, winsim::hold_file_open("C:\\D\\kb.dll", GENERIC_WRITE, 7, &error));
    EXPECT_EQ((DWORD)ERROR_SHARING_VIOLATION, error);
    winsim::release_file(reader);
    winsim::unmap_file(mapping);
    EXPECT_EQ(1, winsim::image_mappings("C:\\D\\kb.dll"));
}

TEST_F(winsim_files, a_delete_pending_file_stays_listed_until_the_last_handle_closes) {
    ASSERT_TRUE(winsim::add_file("C:\\Pend\\f", "x"));
    long hold = winsim::hold_file_open("C:\\Pend\\f", GENERIC_READ, 7);
    ASSERT_NE(0, hold);
    ASSERT_TRUE(DeleteFileA("C:\\Pend\\f"));
    EXPECT_TRUE(winsim::entry("C:\\Pend\\f").delete_pending);
    EXPECT_NE(std::string::npos, winsim::dump_tree("C:\\Pend").find("C:\\Pend\\f | A | 1 | 2024-03-04 10:00:00.0000000 | delete pending"));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA("C:\\Pend\\f"));
    EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, GetLastError());
    EXPECT_FALSE(RemoveDirectoryA("C:\\Pend"));
    EXPECT_EQ((DWORD)ERROR_DIR_NOT_EMPTY, GetLastError());
    winsim::release_file(hold);
    EXPECT_FALSE(winsim::entry_exists("C:\\Pend\\f"));
    EXPECT_TRUE(RemoveDirectoryA("C:\\Pend"));
}

TEST_F(winsim_files, wow64_redirection_spares_the_exempt_folders_and_sysnative) {
    winsim::set_wow64(true, true);
    ASSERT_TRUE(winsim::add_file("C:\\Windows\\SysWOW64\\kbd.dll", "32"));
    ASSERT_TRUE(winsim::add_file("C:\\Windows\\System32\\kbd.dll", "64"));
    ASSERT_TRUE(winsim::add_file("C:\\Windows\\System32\\spool\\s", "spool"));
    ASSERT_TRUE(winsim::add_file("C:\\Windows\\System32\\catroot\\c", "cat"));
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA("C:\\Windows\\system32\\spool\\s"));
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA("C:\\Windows\\system32\\CATROOT\\c"));
    winsim::clear_call_log();
    EXPECT_TRUE(DeleteFileA("C:\\Windows\\system32\\kbd.dll"));
    ASSERT_EQ(1u, winsim::call_log().size());
    EXPECT_EQ("C:\\Windows\\SysWOW64\\kbd.dll", winsim::call_log()[0].subject);
    EXPECT_FALSE(winsim::entry_exists("C:\\Windows\\SysWOW64\\kbd.dll"));
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA("C:\\Windows\\Sysnative\\kbd.dll"));
    PVOID old_value = NULL;
    ASSERT_TRUE(Wow64DisableWow64FsRedirection(&old_value));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA("C:\\Windows\\Sysnative\\kbd.dll"));
    EXPECT_TRUE(DeleteFileA("C:\\Windows\\system32\\kbd.dll"));
    EXPECT_TRUE(Wow64RevertWow64FsRedirection(old_value));
    EXPECT_FALSE(winsim::entry_exists("C:\\Windows\\System32\\kbd.dll"));
}

TEST_F(winsim_files, delayed_deletes_are_recorded_through_the_registry) {
    ASSERT_TRUE(winsim::add_file("C:\\Program Files\\Q7\\uninstall.exe", "MZ"));
    ASSERT_TRUE(MoveFileExA("C:\\Program Files\\Q7\\uninstall.exe", NULL, MOVEFILE_DELAY_UNTIL_REBOOT));
    ASSERT_TRUE(MoveFileExA("C:\\a", "C:\\b", MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING));
    std::vector<winsim::pending_file_operation> operations = winsim::pending_file_operations();
    ASSERT_EQ(2u, operations.size());
    EXPECT_EQ("\\??\\C:\\Program Files\\Q7\\uninstall.exe", operations[0].source);
    EXPECT_EQ("", operations[0].target);
    EXPECT_FALSE(operations[0].replace_existing);
    EXPECT_EQ("\\??\\C:\\a", operations[1].source);
    EXPECT_EQ("\\??\\C:\\b", operations[1].target);
    EXPECT_TRUE(operations[1].replace_existing);
    EXPECT_TRUE(winsim::entry_exists("C:\\Program Files\\Q7\\uninstall.exe"));
    EXPECT_NE(std::string::npos,
              winsim::reg_export("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager")
                  .find("\"PendingFileRenameOperations\"=hex(7):5c,3f,3f,5c,43,3a"));
}

TEST_F(winsim_files, a_delayed_delete_without_administrator_rights_is_denied) {
    winsim::reg_deny_access("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager", KEY_SET_VALUE);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(MoveFileExA("C:\\x", NULL, MOVEFILE_DELAY_UNTIL_REBOOT));
    EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, GetLastError());
    EXPECT_TRUE(winsim::pending_file_operations().empty());
}

TEST_F(winsim_files, unc_shares_and_their_errors) {
    winsim::add_unc_share("\\\\srv\\daten");
    ASSERT_TRUE(CreateDirectoryA("\\\\SRV\\Daten\\neu", NULL));
    std::vector<std::string> expected = {".", "..", "neu"};
    EXPECT_EQ(expected, find_names("\\\\srv\\daten\\*"));
    struct { const char* path; DWORD error; } cases[] = {
        {"\\\\srv\\andere\\x", ERROR_BAD_NET_NAME},
        {"\\\\fremd\\daten\\x", ERROR_BAD_NETPATH},
        {"\\\\srv", ERROR_INVALID_NAME},
        {"Q:\\x", ERROR_PATH_NOT_FOUND},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        SetLastError(0xdeadbeef);
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(c.path));
        EXPECT_EQ(c.error, GetLastError());
    }
    winsim::add_drive('q');
    EXPECT_TRUE(CreateDirectoryA("Q:\\x", NULL));
    EXPECT_EQ(std::vector<std::string>{"x"}, find_names("Q:\\*"));
}

TEST_F(winsim_files, faults_hit_the_call_with_the_named_path) {
    ASSERT_TRUE(winsim::add_file("C:\\src\\a.dll", "MZ"));
    winsim::fail_call("CopyFileA", "c:\\DST\\a.dll", ERROR_HANDLE_DISK_FULL);
    ASSERT_TRUE(winsim::add_folder("C:\\dst"));
    SetLastError(0);
    EXPECT_FALSE(CopyFileA("C:\\src\\a.dll", "C:\\dst\\a.dll", FALSE));
    EXPECT_EQ((DWORD)ERROR_HANDLE_DISK_FULL, GetLastError());
    EXPECT_FALSE(winsim::entry_exists("C:\\dst\\a.dll"));
    EXPECT_TRUE(CopyFileA("C:\\src\\a.dll", "C:\\dst\\b.dll", FALSE));

    winsim::fail_call("FindNextFileA", "C:\\src", ERROR_ACCESS_DENIED, 1);
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA("C:\\src\\*", &data);
    ASSERT_NE(INVALID_HANDLE_VALUE, search);
    EXPECT_FALSE(FindNextFileA(search, &data));
    EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, GetLastError());
    EXPECT_EQ(1, winsim::open_find_handles());
    EXPECT_TRUE(FindClose(search));
    EXPECT_EQ(0, winsim::open_find_handles());
}

TEST_F(winsim_files, copies_and_replacements_follow_the_attribute_rules) {
    winsim::set_file_clock(winsim::filetime_ticks(2024, 5, 1));
    ASSERT_TRUE(winsim::add_file("C:\\c\\src", "data", FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(winsim::set_entry_times("C:\\c\\src", 1, 2, 3));
    ASSERT_TRUE(CopyFileA("C:\\c\\src", "C:\\c\\copy", TRUE));
    winsim::entry_info copy = winsim::entry("C:\\c\\copy");
    EXPECT_EQ((DWORD)(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE), copy.attributes);
    EXPECT_EQ(3u, copy.last_write_time);
    EXPECT_EQ(winsim::filetime_ticks(2024, 5, 1), copy.creation_time);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CopyFileA("C:\\c\\src", "C:\\c\\copy", FALSE));  // the copy is hidden now
    EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, GetLastError());
    SetLastError(0xdeadbeef);
    EXPECT_EQ(INVALID_HANDLE_VALUE, CreateFileA("C:\\c\\copy", GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL));
    EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, GetLastError());
    HANDLE file = CreateFileA("C:\\c\\copy", GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_HIDDEN, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    EXPECT_TRUE(CloseHandle(file));
    EXPECT_EQ(0u, winsim::entry("C:\\c\\copy").size);
    ASSERT_TRUE(MoveFileExA("C:\\c\\copy", "C:\\c\\Moved", 0));
    EXPECT_EQ(winsim::filetime_ticks(2024, 5, 1), winsim::entry("C:\\c\\moved").creation_time);
    EXPECT_FALSE(winsim::entry_exists("C:\\c\\copy"));
}

TEST_F(winsim_files, resources_are_found_without_regard_to_case_and_by_language) {
    SetLastError(0xdeadbeef);
    EXPECT_EQ(nullptr, FindResourceA(NULL, "PAYLOAD", RT_RCDATA));
    EXPECT_EQ((DWORD)ERROR_RESOURCE_DATA_NOT_FOUND, GetLastError());
    winsim::add_resource(RT_RCDATA, "payload", 0x0409, "english");
    winsim::add_resource(RT_RCDATA, "payload", 0x0407, "deutsch");
    winsim::add_resource("Diagram", MAKEINTRESOURCEA(7), 0, "");
    HRSRC resource = FindResourceA(winsim::app_instance(), "PayLoad", "#10");
    ASSERT_NE(nullptr, resource);
    HGLOBAL loaded = LoadResource(NULL, resource);
    ASSERT_NE(nullptr, loaded);
    EXPECT_EQ(loaded, LockResource(loaded));
    ASSERT_EQ(7u, SizeofResource(NULL, resource));
    EXPECT_EQ(0, memcmp("deutsch", LockResource(loaded), 7));
    HRSRC empty = FindResourceA(NULL, "#7", "DIAGRAM");
    ASSERT_NE(nullptr, empty);
    EXPECT_EQ(0u, SizeofResource(NULL, empty));
    EXPECT_NE(nullptr, LoadResource(NULL, empty));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(nullptr, FindResourceA(NULL, "OTHER", RT_RCDATA));
    EXPECT_EQ((DWORD)ERROR_RESOURCE_NAME_NOT_FOUND, GetLastError());
    EXPECT_EQ(nullptr, FindResourceA(NULL, "PAYLOAD", "ICONS"));
    EXPECT_EQ((DWORD)ERROR_RESOURCE_TYPE_NOT_FOUND, GetLastError());
}

TEST_F(winsim_files, started_programs_are_recorded_and_their_handles_close_once) {
    ASSERT_TRUE(winsim::add_file("C:\\Program Files\\Q7 Setup\\run me.exe", "MZ\x90"));
    ASSERT_TRUE(winsim::add_file("C:\\notes.txt", "text"));
    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    memset(&process, 0, sizeof process);
    char command[] = "C:\\Program Files\\Q7 Setup\\run me.exe /force";
    ASSERT_TRUE(CreateProcessA(NULL, command, NULL, NULL, TRUE, 0, NULL, "C:\\Windows", &startup, &process));
    ASSERT_EQ(1u, winsim::started_processes().size());
    const winsim::started_process& started = winsim::started_processes()[0];
    EXPECT_FALSE(started.has_application_name);
    EXPECT_EQ(command, started.command_line);
    EXPECT_EQ("C:\\Program Files\\Q7 Setup\\run me.exe", started.program_path);
    EXPECT_EQ("C:\\Windows", started.working_folder);
    EXPECT_TRUE(started.inherit_handles);
    EXPECT_EQ((DWORD)sizeof(STARTUPINFOA), started.startup_info_size);
    EXPECT_EQ(process.hProcess, started.process_handle);
    EXPECT_TRUE(CloseHandle(process.hProcess));
    EXPECT_TRUE(CloseHandle(process.hThread));
    EXPECT_TRUE(winsim::started_processes()[0].process_handle_closed);
    EXPECT_TRUE(winsim::started_processes()[0].thread_handle_closed);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CloseHandle(process.hThread));
    EXPECT_EQ((DWORD)ERROR_INVALID_HANDLE, GetLastError());

    EXPECT_FALSE(CreateProcessA("C:\\notes.txt", NULL, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process));
    EXPECT_EQ((DWORD)ERROR_BAD_EXE_FORMAT, GetLastError());
    EXPECT_FALSE(CreateProcessA("C:\\missing.exe", NULL, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process));
    EXPECT_EQ((DWORD)ERROR_FILE_NOT_FOUND, GetLastError());
    EXPECT_FALSE(CreateProcessA("C:\\Program Files\\Q7 Setup\\run me.exe", NULL, NULL, NULL, FALSE, 0, NULL,
                                "C:\\nowhere", &startup, &process));
    EXPECT_EQ((DWORD)ERROR_DIRECTORY, GetLastError());
    winsim::fail_call("CreateProcessA", "", ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_FALSE(CreateProcessA("C:\\Program Files\\Q7 Setup\\run me.exe", NULL, NULL, NULL, FALSE, 0, NULL, NULL,
                                &startup, &process));
    EXPECT_EQ((DWORD)ERROR_NOT_ENOUGH_MEMORY, GetLastError());
    EXPECT_EQ(1u, winsim::started_processes().size());
}

TEST_F(winsim_files, sleep_returns_at_once_and_adds_up) {
    Sleep(100);
    Sleep(0);
    Sleep(250);
    EXPECT_EQ(350u, winsim::total_sleep_milliseconds());
    EXPECT_EQ(3, winsim::sleep_calls());
}

TEST_F(winsim_files, calls_outside_the_simulated_contract_abort) {
    EXPECT_DEATH(GetFileAttributesA("relative\\path.txt"), "not implemented");
    EXPECT_DEATH(CreateFileA("C:\\x", GENERIC_READ, 0, NULL, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, NULL),
                 "not implemented");
    EXPECT_DEATH(GetFileAttributesA("C:\\file:stream"), "not implemented");
}

}  // namespace
