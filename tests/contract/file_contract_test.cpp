// Contract of the kernel32 file, folder and WOW64 calls (and CharUpperA) the programs rely on, for the simulation and for Windows.
#include <windows.h>

#include <gtest/gtest.h>

#include "contract_support.h"

#ifndef _WIN32
#include <winsim/control.h>
#include <winsim/desktop_control.h>
#include <winsim/files_control.h>
#endif

#include <string.h>

#include <string>
#include <vector>

namespace {

const DWORD preset = 0xDEADBEEF;
const unsigned char sentinel = 0xAB;


bool process_is_wow64() {
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

std::string temp_folder() {
    char buffer[MAX_PATH + 1];
    DWORD length = GetTempPathA(sizeof buffer, buffer);
    return length && length < sizeof buffer ? std::string(buffer, length) : std::string();
}

std::string upper(std::string text) {
    for (char& c : text) c = (char)(ULONG_PTR)CharUpperA((LPSTR)(ULONG_PTR)(unsigned char)c);
    return text;
}

bool write_file(const std::string& path, const std::string& contents) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file, contents.data(), (DWORD)contents.size(), &written, NULL);
    return CloseHandle(file) && ok && written == contents.size();
}

std::string read_file(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) return "<missing>";
    char buffer[256];
    DWORD read = 0;
    std::string contents;
    while (ReadFile(file, buffer, sizeof buffer, &read, NULL) && read) contents.append(buffer, read);
    CloseHandle(file);
    return contents;
}

// The names a search gives, in order; empty when FindFirstFileA fails.
std::vector<std::string> find_names(const std::string& pattern) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA(pattern.c_str(), &data);
    if (search == INVALID_HANDLE_VALUE) return names;
    do names.push_back(data.cFileName);
    while (FindNextFileA(search, &data));
    FindClose(search);
    return names;
}

bool find_entry(const std::string& path, WIN32_FIND_DATAA* data) {
    HANDLE search = FindFirstFileA(path.c_str(), data);
    if (search == INVALID_HANDLE_VALUE) return false;
    FindClose(search);
    return true;
}

// Deletes a folder with everything in it, read-only entries included.
void remove_tree(const std::string& folder) {
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &data);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = data.cFileName;
            if (name == "." || name == "..") continue;
            std::string path = folder + "\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                remove_tree(path);
            } else {
                SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(path.c_str());
            }
        } while (FindNextFileA(search, &data));
        FindClose(search);
    }
    SetFileAttributesA(folder.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryA(folder.c_str());
}

ULONGLONG ticks_of(const FILETIME& time) {
    return ((ULONGLONG)time.dwHighDateTime << 32) | time.dwLowDateTime;
}

FILETIME filetime_of(ULONGLONG ticks) {
    FILETIME time;
    time.dwLowDateTime = (DWORD)ticks;
    time.dwHighDateTime = (DWORD)(ticks >> 32);
    return time;
}

// Each test works in its own folder, <temp>\kbfiles\<test name>.
class FileContract : public ::testing::Test {
protected:
    void SetUp() override {
#ifndef _WIN32
        winsim::reset();
#endif
        std::string temp = temp_folder();
        ASSERT_FALSE(temp.empty());
        std::string base = temp + "kbfiles";
        CreateDirectoryA(base.c_str(), NULL);
        folder_ = base + "\\" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        remove_tree(folder_);  // left by an interrupted run
        ASSERT_TRUE(CreateDirectoryA(folder_.c_str(), NULL)) << GetLastError();
    }

    void TearDown() override { remove_tree(folder_); }

    std::string path(const char* name) const { return folder_ + "\\" + name; }

    std::string folder_;
};

typedef FileContract FindContract;
typedef FileContract FolderContract;
typedef FileContract CopyDeleteContract;
typedef FileContract HandleContract;
typedef FileContract PathContract;
typedef FileContract SystemFolderContract;

// --- searches ---

TEST_F(FindContract, entries_come_in_upper_cased_name_order_after_dot_entries) {
    const char* created[] = {"b.txt", "Zeta", "_x", "A.TXT", "noext", "ab", "a"};
    for (const char* name : created) ASSERT_TRUE(write_file(path(name), "x")) << name;
    ASSERT_TRUE(CreateDirectoryA(path("sub").c_str(), NULL));
    std::vector<std::string> expected = {".", "..", "a", "A.TXT", "ab", "b.txt", "noext", "sub", "Zeta", "_x"};
    EXPECT_EQ(expected, find_names(path("*")));
}

TEST_F(FindContract, every_folder_but_a_drive_root_lists_dot_entries) {
    ASSERT_TRUE(CreateDirectoryA(path("empty").c_str(), NULL));
    WIN32_FIND_DATAA data;
    memset(&data, sentinel, sizeof data);
    HANDLE search = FindFirstFileA(path("empty\\*").c_str(), &data);
    ASSERT_NE(INVALID_HANDLE_VALUE, search);
    EXPECT_STREQ(".", data.cFileName);
    EXPECT_TRUE(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    ASSERT_TRUE(FindNextFileA(search, &data));
    EXPECT_STREQ("..", data.cFileName);
    EXPECT_TRUE(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    SetLastError(preset);
    EXPECT_FALSE(FindNextFileA(search, &data));
    EXPECT_EQ((DWORD)ERROR_NO_MORE_FILES, GetLastError());
    EXPECT_TRUE(FindClose(search));

    std::vector<std::string> root = find_names(folder_.substr(0, 3) + "*");
    ASSERT_FALSE(root.empty());
    for (const std::string& name : root) {
        EXPECT_NE(".", name);
        EXPECT_NE("..", name);
    }
}

TEST_F(FindContract, star_dot_star_matches_names_without_a_dot) {
    for (const char* name : {"x.txt", "y.doc", "noext"}) ASSERT_TRUE(write_file(path(name), "x"));
    std::vector<std::string> all = {".", "..", "noext", "x.txt", "y.doc"};
    EXPECT_EQ(all, find_names(path("*.*")));
    EXPECT_EQ(std::vector<std::string>{"x.txt"}, find_names(path("*.txt")));
    EXPECT_EQ(std::vector<std::string>{"x.txt"}, find_names(path("X.*")));
}

TEST_F(FindContract, star_dot_matches_names_without_extension_and_question_marks_may_match_nothing_at_the_end) {
    if (running_on_wine()) GTEST_SKIP() << "Wine matches \"*.\" like \"*\", and \"?\" as exactly one character, a period included";
    for (const char* name : {"a", "ab", "abc", "abcd", "a.b", "noext"}) ASSERT_TRUE(write_file(path(name), "x"));
    std::vector<std::string> without_extension = {".", "..", "a", "ab", "abc", "abcd", "noext"};
    EXPECT_EQ(without_extension, find_names(path("*.")));
    std::vector<std::string> up_to_three = {"a", "ab", "abc"};
    EXPECT_EQ(up_to_three, find_names(path("a??")));
}

TEST_F(FindContract, a_name_without_wildcards_finds_the_entry_itself) {
    ASSERT_TRUE(CreateDirectoryA(path("Sub").c_str(), NULL));
    WIN32_FIND_DATAA data;
    memset(&data, sentinel, sizeof data);
    HANDLE search = FindFirstFileA(path("SUB").c_str(), &data);
    ASSERT_NE(INVALID_HANDLE_VALUE, search);
    EXPECT_STREQ("Sub", data.cFileName);
    EXPECT_EQ((DWORD)FILE_ATTRIBUTE_DIRECTORY, data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    SetLastError(preset);
    EXPECT_FALSE(FindNextFileA(search, &data));
    EXPECT_EQ((DWORD)ERROR_NO_MORE_FILES, GetLastError());
    EXPECT_TRUE(FindClose(search));
}

TEST_F(FindContract, failures_tell_a_missing_name_from_a_missing_folder) {
    ASSERT_TRUE(write_file(path("present"), "x"));
    struct { std::string pattern; DWORD error; } cases[] = {
        {path("nothing*"), ERROR_FILE_NOT_FOUND},
        {path("missing\\*"), ERROR_PATH_NOT_FOUND},
        {folder_ + "\\", ERROR_FILE_NOT_FOUND},
        {folder_.substr(0, 3), ERROR_FILE_NOT_FOUND},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pattern);
        WIN32_FIND_DATAA data;
        SetLastError(preset);
        EXPECT_EQ(INVALID_HANDLE_VALUE, FindFirstFileA(c.pattern.c_str(), &data));
        EXPECT_EQ(c.error, GetLastError());
    }
}

// --- folders ---

TEST_F(FolderContract, create_directory_reports_existing_entries_and_missing_parents) {
    ASSERT_TRUE(write_file(path("file"), "x"));
    ASSERT_TRUE(CreateDirectoryA(path("folder").c_str(), NULL));
    struct { std::string path; DWORD error; } cases[] = {
        {path("folder"), ERROR_ALREADY_EXISTS},
        {path("FOLDER\\"), ERROR_ALREADY_EXISTS},
        {path("file"), ERROR_ALREADY_EXISTS},
        {path("missing\\new"), ERROR_PATH_NOT_FOUND},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        SetLastError(preset);
        EXPECT_FALSE(CreateDirectoryA(c.path.c_str(), NULL));
        EXPECT_EQ(c.error, GetLastError());
    }
}

TEST_F(FolderContract, create_directory_refuses_reserved_characters) {
    for (const char* name : {"a<b", "a>b", "a|b", "a\"b", "a*b", "a?b"}) {
        SCOPED_TRACE(name);
        SetLastError(preset);
        EXPECT_FALSE(CreateDirectoryA(path(name).c_str(), NULL));
        EXPECT_EQ((DWORD)ERROR_INVALID_NAME, GetLastError());
    }
}

TEST_F(FolderContract, create_directory_refuses_a_colon_in_a_name) {
    if (running_on_wine()) GTEST_SKIP() << "Wine creates a folder named \"a:b\"";
    SetLastError(preset);
    EXPECT_FALSE(CreateDirectoryA(path("a:b").c_str(), NULL));
    EXPECT_EQ((DWORD)ERROR_INVALID_NAME, GetLastError());
}

TEST_F(FolderContract, create_directory_refuses_a_server_name_without_share) {
    if (running_on_wine()) GTEST_SKIP() << "Wine answers ERROR_PATH_NOT_FOUND for \\\\server alone";
    SetLastError(preset);
    EXPECT_FALSE(CreateDirectoryA("\\\\server", NULL));
    EXPECT_EQ((DWORD)ERROR_INVALID_NAME, GetLastError());
}

TEST_F(FolderContract, remove_directory_needs_an_empty_folder) {
    ASSERT_TRUE(CreateDirectoryA(path("full").c_str(), NULL));
    ASSERT_TRUE(write_file(path("full\\inside"), "x"));
    ASSERT_TRUE(write_file(path("file"), "x"));
    struct { std::string path; DWORD error; } cases[] = {
        {path("full"), ERROR_DIR_NOT_EMPTY},
        {path("missing"), ERROR_FILE_NOT_FOUND},
        {path("missing\\deeper"), ERROR_PATH_NOT_FOUND},
        {path("file"), ERROR_DIRECTORY},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        SetLastError(preset);
        EXPECT_FALSE(RemoveDirectoryA(c.path.c_str()));
        EXPECT_EQ(c.error, GetLastError());
    }
    EXPECT_EQ((DWORD)FILE_ATTRIBUTE_DIRECTORY, GetFileAttributesA(path("full").c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    ASSERT_TRUE(DeleteFileA(path("full\\inside").c_str()));
    EXPECT_TRUE(RemoveDirectoryA(path("full").c_str()));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(path("full").c_str()));
}

// --- copy and delete ---

TEST_F(CopyDeleteContract, copy_without_overwrite_keeps_an_existing_target) {
    ASSERT_TRUE(write_file(path("source"), "new"));
    ASSERT_TRUE(write_file(path("target"), "old"));
    SetLastError(preset);
    EXPECT_FALSE(CopyFileA(path("source").c_str(), path("target").c_str(), TRUE));
    EXPECT_EQ((DWORD)ERROR_FILE_EXISTS, GetLastError());
    EXPECT_EQ("old", read_file(path("target")));
    EXPECT_TRUE(CopyFileA(path("source").c_str(), path("target").c_str(), FALSE));
    EXPECT_EQ("new", read_file(path("target")));
}

TEST_F(CopyDeleteContract, copy_takes_the_attributes_and_the_last_write_time) {
    ASSERT_TRUE(write_file(path("source"), "data"));
    HANDLE file = CreateFileA(path("source").c_str(), GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    FILETIME written = filetime_of(0x01D9A00012345677ULL);
    ASSERT_TRUE(SetFileTime(file, NULL, NULL, &written));
    ASSERT_TRUE(CloseHandle(file));
    ASSERT_TRUE(SetFileAttributesA(path("source").c_str(), FILE_ATTRIBUTE_READONLY));

    ASSERT_TRUE(CopyFileA(path("source").c_str(), path("copy").c_str(), TRUE));
    EXPECT_EQ("data", read_file(path("copy")));
    WIN32_FIND_DATAA data;
    ASSERT_TRUE(find_entry(path("copy"), &data));
    EXPECT_TRUE(data.dwFileAttributes & FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(0x01D9A00012345677ULL, ticks_of(data.ftLastWriteTime));
    EXPECT_EQ(4u, data.nFileSizeLow);
}

TEST_F(CopyDeleteContract, copy_onto_a_read_only_target_is_denied) {
    if (running_on_wine()) GTEST_SKIP() << "Wine overwrites a read-only target (as root)";
    ASSERT_TRUE(write_file(path("source"), "new"));
    ASSERT_TRUE(write_file(path("target"), "old"));
    ASSERT_TRUE(SetFileAttributesA(path("target").c_str(), FILE_ATTRIBUTE_READONLY));
    SetLastError(preset);
    EXPECT_FALSE(CopyFileA(path("source").c_str(), path("target").c_str(), FALSE));
    EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, GetLastError());
    EXPECT_EQ("old", read_file(path("target")));
}

TEST_F(CopyDeleteContract, copy_reports_missing_sources_and_target_folders) {
    ASSERT_TRUE(write_file(path("source"), "x"));
    SetLastError(preset);
    EXPECT_FALSE(CopyFileA(path("missing").c_str(), path("target").c_str(), FALSE));
    EXPECT_EQ((DWORD)ERROR_FILE_NOT_FOUND, GetLastError());
    SetLastError(preset);
    EXPECT_FALSE(CopyFileA(path("source").c_str(), path("nowhere\\target").c_str(), FALSE));
    EXPECT_EQ((DWORD)ERROR_PATH_NOT_FOUND, GetLastError());
}

TEST_F(CopyDeleteContract, delete_of_a_file_held_open_without_share_delete_is_a_sharing_violation) {
    ASSERT_TRUE(write_file(path("held"), "x"));
    HANDLE file = CreateFileA(path("held").c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    SetLastError(preset);
    EXPECT_FALSE(DeleteFileA(path("held").c_str()));
    EXPECT_EQ((DWORD)ERROR_SHARING_VIOLATION, GetLastError());
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(path("held").c_str()));
    ASSERT_TRUE(CloseHandle(file));
    EXPECT_TRUE(DeleteFileA(path("held").c_str()));
}

TEST_F(CopyDeleteContract, delete_of_a_file_open_with_share_delete_takes_effect_at_the_last_close) {
    ASSERT_TRUE(write_file(path("shared"), "x"));
    HANDLE file = CreateFileA(path("shared").c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    EXPECT_TRUE(DeleteFileA(path("shared").c_str()));
    ASSERT_TRUE(CloseHandle(file));
    SetLastError(preset);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(path("shared").c_str()));
    EXPECT_EQ((DWORD)ERROR_FILE_NOT_FOUND, GetLastError());
}

TEST_F(CopyDeleteContract, a_file_waiting_for_deletion_cannot_be_opened) {
    if (running_on_wine()) GTEST_SKIP() << "Wine opens a file that waits for deletion";
    ASSERT_TRUE(write_file(path("pending"), "x"));
    HANDLE file = CreateFileA(path("pending").c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    ASSERT_TRUE(DeleteFileA(path("pending").c_str()));
    SetLastError(preset);
    EXPECT_EQ(INVALID_HANDLE_VALUE, CreateFileA(path("pending").c_str(), GENERIC_READ, 7, NULL, OPEN_EXISTING, 0, NULL));
    EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, GetLastError());
    EXPECT_EQ(std::vector<std::string>{"pending"}, find_names(path("p*")));
    ASSERT_TRUE(CloseHandle(file));
    EXPECT_TRUE(find_names(path("p*")).empty());
}

TEST_F(CopyDeleteContract, delete_refuses_read_only_files_and_folders) {
    ASSERT_TRUE(write_file(path("locked"), "x"));
    ASSERT_TRUE(SetFileAttributesA(path("locked").c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(CreateDirectoryA(path("folder").c_str(), NULL));
    struct { std::string path; DWORD error; } cases[] = {
        {path("locked"), ERROR_ACCESS_DENIED},
        {path("folder"), ERROR_ACCESS_DENIED},
        {path("missing"), ERROR_FILE_NOT_FOUND},
        {path("missing\\file"), ERROR_PATH_NOT_FOUND},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        SetLastError(preset);
        EXPECT_FALSE(DeleteFileA(c.path.c_str()));
        EXPECT_EQ(c.error, GetLastError());
    }
    EXPECT_EQ("x", read_file(path("locked")));
}

// --- handles ---

TEST_F(HandleContract, file_times_keep_100_ns_steps) {
    ASSERT_TRUE(write_file(path("timed"), "x"));
    HANDLE file = CreateFileA(path("timed").c_str(), GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    FILETIME accessed = filetime_of(0x01D8123456789AB3ULL), written = filetime_of(0x01D9A00012345677ULL);
    ASSERT_TRUE(SetFileTime(file, NULL, &accessed, &written));
    FILETIME got_accessed = filetime_of(preset), got_written = filetime_of(preset);
    ASSERT_TRUE(GetFileTime(file, NULL, &got_accessed, &got_written));
    EXPECT_EQ(0x01D8123456789AB3ULL, ticks_of(got_accessed));
    EXPECT_EQ(0x01D9A00012345677ULL, ticks_of(got_written));
    ASSERT_TRUE(CloseHandle(file));

    WIN32_FIND_DATAA data;
    ASSERT_TRUE(find_entry(path("timed"), &data));
    EXPECT_EQ(0x01D8123456789AB3ULL, ticks_of(data.ftLastAccessTime));
    EXPECT_EQ(0x01D9A00012345677ULL, ticks_of(data.ftLastWriteTime));
}

TEST_F(HandleContract, creation_time_keeps_100_ns_steps) {
    if (running_on_wine()) GTEST_SKIP() << "Wine cannot store a creation time on a Unix file system";
    ASSERT_TRUE(write_file(path("born"), "x"));
    HANDLE file = CreateFileA(path("born").c_str(), GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    FILETIME created = filetime_of(0x01D0000011111117ULL);
    ASSERT_TRUE(SetFileTime(file, &created, NULL, NULL));
    FILETIME got = filetime_of(preset);
    ASSERT_TRUE(GetFileTime(file, &got, NULL, NULL));
    EXPECT_EQ(0x01D0000011111117ULL, ticks_of(got));
    ASSERT_TRUE(CloseHandle(file));
}

TEST_F(HandleContract, writes_after_set_file_time_keep_the_time_set) {
    if (running_on_wine()) GTEST_SKIP() << "Wine lets a later write move the last-write time again";
    HANDLE file = CreateFileA(path("stamped").c_str(), GENERIC_WRITE, 0, NULL, CREATE_NEW, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    FILETIME written = filetime_of(0x01D9A00012345677ULL);
    ASSERT_TRUE(SetFileTime(file, NULL, NULL, &written));
    DWORD count = 0;
    ASSERT_TRUE(WriteFile(file, "abc", 3, &count, NULL));
    ASSERT_TRUE(CloseHandle(file));
    WIN32_FIND_DATAA data;
    ASSERT_TRUE(find_entry(path("stamped"), &data));
    EXPECT_EQ(0x01D9A00012345677ULL, ticks_of(data.ftLastWriteTime));
}

TEST_F(HandleContract, set_file_time_needs_write_access) {
    if (running_on_wine()) GTEST_SKIP() << "Wine sets times through a read-only handle";
    ASSERT_TRUE(write_file(path("readonly_handle"), "x"));
    HANDLE file = CreateFileA(path("readonly_handle").c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    FILETIME written = filetime_of(0x01D9A00012345677ULL);
    SetLastError(preset);
    EXPECT_FALSE(SetFileTime(file, NULL, NULL, &written));
    EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, GetLastError());
    ASSERT_TRUE(CloseHandle(file));
}

TEST_F(HandleContract, set_end_of_file_right_after_opening_empties_the_file) {
    ASSERT_TRUE(write_file(path("rewritten"), "old contents"));
    SetLastError(preset);
    HANDLE file = CreateFileA(path("rewritten").c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_ALWAYS, FILE_FLAG_SEQUENTIAL_SCAN, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    EXPECT_EQ((DWORD)ERROR_ALREADY_EXISTS, GetLastError());
    EXPECT_TRUE(SetEndOfFile(file));
    DWORD high = preset;
    EXPECT_EQ(0u, GetFileSize(file, &high));
    EXPECT_EQ(0u, high);
    ASSERT_TRUE(CloseHandle(file));
    EXPECT_EQ("", read_file(path("rewritten")));
}

TEST_F(HandleContract, create_file_dispositions_and_their_last_errors) {
    SetLastError(preset);
    HANDLE file = CreateFileA(path("made").c_str(), GENERIC_WRITE, 0, NULL, CREATE_NEW, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    EXPECT_EQ((DWORD)ERROR_SUCCESS, GetLastError());
    DWORD count = 0;
    ASSERT_TRUE(WriteFile(file, "abc", 3, &count, NULL));
    ASSERT_TRUE(CloseHandle(file));

    SetLastError(preset);
    file = CreateFileA(path("made").c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    EXPECT_EQ((DWORD)ERROR_ALREADY_EXISTS, GetLastError());
    EXPECT_EQ(0u, GetFileSize(file, NULL));
    ASSERT_TRUE(CloseHandle(file));

    ASSERT_TRUE(CreateDirectoryA(path("folder").c_str(), NULL));
    struct { std::string path; DWORD disposition; DWORD error; } cases[] = {
        {path("made"), CREATE_NEW, ERROR_FILE_EXISTS},
        {path("missing"), OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
        {path("missing\\file"), OPEN_ALWAYS, ERROR_PATH_NOT_FOUND},
        {path("folder"), OPEN_EXISTING, ERROR_ACCESS_DENIED},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        SetLastError(preset);
        EXPECT_EQ(INVALID_HANDLE_VALUE, CreateFileA(c.path.c_str(), GENERIC_READ, 0, NULL, c.disposition, 0, NULL));
        EXPECT_EQ(c.error, GetLastError());
    }
}

TEST_F(HandleContract, share_modes_of_open_handles_decide_later_opens) {
    ASSERT_TRUE(write_file(path("shared"), "x"));
    HANDLE reader = CreateFileA(path("shared").c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, reader);
    SetLastError(preset);
    EXPECT_EQ(INVALID_HANDLE_VALUE, CreateFileA(path("shared").c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                NULL, OPEN_EXISTING, 0, NULL));
    EXPECT_EQ((DWORD)ERROR_SHARING_VIOLATION, GetLastError());
    SetLastError(preset);
    EXPECT_EQ(INVALID_HANDLE_VALUE,
              CreateFileA(path("shared").c_str(), GENERIC_READ, FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL));
    EXPECT_EQ((DWORD)ERROR_SHARING_VIOLATION, GetLastError());
    HANDLE second = CreateFileA(path("shared").c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                                OPEN_EXISTING, 0, NULL);
    EXPECT_NE(INVALID_HANDLE_VALUE, second);
    if (second != INVALID_HANDLE_VALUE) {
        EXPECT_TRUE(CloseHandle(second));
    }
    EXPECT_TRUE(CloseHandle(reader));
}

TEST_F(HandleContract, a_read_only_file_cannot_be_opened_for_writing) {
    if (running_on_wine()) GTEST_SKIP() << "Wine opens a read-only file for writing (as root)";
    ASSERT_TRUE(write_file(path("locked"), "x"));
    ASSERT_TRUE(SetFileAttributesA(path("locked").c_str(), FILE_ATTRIBUTE_READONLY));
    SetLastError(preset);
    EXPECT_EQ(INVALID_HANDLE_VALUE, CreateFileA(path("locked").c_str(), GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL));
    EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, GetLastError());
}

TEST_F(HandleContract, reads_writes_and_pointer_moves_check_access_and_bounds) {
    HANDLE file = CreateFileA(path("data").c_str(), GENERIC_WRITE, 0, NULL, CREATE_NEW, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    char buffer[8];
    DWORD count = preset;
    SetLastError(preset);
    EXPECT_FALSE(ReadFile(file, buffer, sizeof buffer, &count, NULL));
    EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, GetLastError());
    EXPECT_EQ(0u, count);
    ASSERT_TRUE(WriteFile(file, "abcde", 5, &count, NULL));
    SetLastError(preset);
    EXPECT_EQ(INVALID_SET_FILE_POINTER, SetFilePointer(file, -1, NULL, FILE_BEGIN));
    EXPECT_EQ((DWORD)ERROR_NEGATIVE_SEEK, GetLastError());
    EXPECT_EQ(5u, SetFilePointer(file, 0, NULL, FILE_CURRENT));
    EXPECT_EQ(8u, SetFilePointer(file, 3, NULL, FILE_END));
    ASSERT_TRUE(WriteFile(file, "z", 1, &count, NULL));
    EXPECT_EQ(9u, GetFileSize(file, NULL));
    ASSERT_TRUE(CloseHandle(file));
    EXPECT_EQ(std::string("abcde\0\0\0z", 9), read_file(path("data")));

    file = CreateFileA(path("data").c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    count = preset;
    SetLastError(preset);
    EXPECT_FALSE(WriteFile(file, "x", 1, &count, NULL));
    EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, GetLastError());
    EXPECT_EQ(0u, count);
    EXPECT_EQ(5u, SetFilePointer(file, -4, NULL, FILE_END));
    memset(buffer, sentinel, sizeof buffer);
    EXPECT_TRUE(ReadFile(file, buffer, sizeof buffer, &count, NULL));
    EXPECT_EQ(4u, count);
    EXPECT_EQ(0, memcmp(buffer, "\0\0\0z", 4));
    EXPECT_EQ(sentinel, (unsigned char)buffer[4]);
    EXPECT_TRUE(ReadFile(file, buffer, sizeof buffer, &count, NULL));
    EXPECT_EQ(0u, count);
    ASSERT_TRUE(CloseHandle(file));
}

TEST_F(HandleContract, a_handle_closes_once) {
    HANDLE file = CreateFileA(path("once").c_str(), GENERIC_WRITE, 0, NULL, CREATE_NEW, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    EXPECT_TRUE(CloseHandle(file));
    SetLastError(preset);
    EXPECT_FALSE(CloseHandle(file));
    EXPECT_EQ((DWORD)ERROR_INVALID_HANDLE, GetLastError());
}

// --- paths and attributes ---

TEST_F(PathContract, attributes_of_missing_paths) {
    ASSERT_TRUE(CreateDirectoryA(path("folder").c_str(), NULL));
    SetLastError(preset);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(path("missing").c_str()));
    EXPECT_EQ((DWORD)ERROR_FILE_NOT_FOUND, GetLastError());
    SetLastError(preset);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(path("missing\\file").c_str()));
    EXPECT_EQ((DWORD)ERROR_PATH_NOT_FOUND, GetLastError());
    EXPECT_EQ((DWORD)FILE_ATTRIBUTE_DIRECTORY, GetFileAttributesA(path("folder\\").c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ((DWORD)FILE_ATTRIBUTE_DIRECTORY, GetFileAttributesA((folder_ + "/folder").c_str()) & FILE_ATTRIBUTE_DIRECTORY);
}

TEST_F(PathContract, trailing_periods_and_spaces_of_the_last_name_are_dropped) {
    ASSERT_TRUE(write_file(path("name.txt"), "x"));
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(path("name.txt.").c_str()));
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(path("name.txt  ").c_str()));
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(path("sub\\..\\name.txt").c_str()));
}

TEST_F(PathContract, paths_longer_than_max_path_are_refused) {
    std::string longest = folder_ + "\\";
    longest.append(MAX_PATH + 1 - longest.size(), 'L');
    ASSERT_EQ((size_t)MAX_PATH + 1, longest.size());
    SetLastError(preset);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(longest.c_str()));
    EXPECT_EQ((DWORD)ERROR_FILENAME_EXCED_RANGE, GetLastError());
    SetLastError(preset);
    EXPECT_EQ(INVALID_HANDLE_VALUE, CreateFileA(longest.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL));
    EXPECT_EQ((DWORD)ERROR_FILENAME_EXCED_RANGE, GetLastError());
    SetLastError(preset);
    EXPECT_FALSE(CreateDirectoryA(longest.c_str(), NULL));
    EXPECT_EQ((DWORD)ERROR_FILENAME_EXCED_RANGE, GetLastError());
}

TEST_F(PathContract, full_paths_must_stay_below_max_path_and_folders_below_249) {
    if (running_on_wine()) GTEST_SKIP() << "Wine takes paths of up to 260 characters, folders included";
    std::string at_max_path = folder_ + "\\";
    at_max_path.append(MAX_PATH - at_max_path.size(), 'L');
    SetLastError(preset);
    EXPECT_EQ(INVALID_HANDLE_VALUE, CreateFileA(at_max_path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL));
    EXPECT_EQ((DWORD)ERROR_PATH_NOT_FOUND, GetLastError());
    std::string folder = folder_ + "\\";
    folder.append(249 - folder.size(), 'F');
    SetLastError(preset);
    EXPECT_FALSE(CreateDirectoryA(folder.c_str(), NULL));
    EXPECT_EQ((DWORD)ERROR_FILENAME_EXCED_RANGE, GetLastError());
    folder.pop_back();
    EXPECT_TRUE(CreateDirectoryA(folder.c_str(), NULL));
}

TEST_F(PathContract, delay_until_reboot_appends_to_pending_file_rename_operations) {
    ASSERT_TRUE(write_file(path("in use.dll"), "x"));
    ASSERT_TRUE(write_file(path("old.dll"), "x"));
    const char* key_name = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
    const char* value_name = "PendingFileRenameOperations";
    HKEY key = NULL;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, key_name, 0, NULL, 0,
                                             KEY_QUERY_VALUE | KEY_SET_VALUE, NULL, &key, NULL));
    std::vector<BYTE> before(65536);
    DWORD type = 0, size = (DWORD)before.size();
    LONG status = RegQueryValueExA(key, value_name, NULL, &type, before.data(), &size);
    ASSERT_TRUE(status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND) << status;
    const bool had_value = status == ERROR_SUCCESS;
    before.resize(had_value ? size : 0);

    SetLastError(preset);
    BOOL deleted = MoveFileExA(path("in use.dll").c_str(), NULL, MOVEFILE_DELAY_UNTIL_REBOOT);
    if (!deleted && GetLastError() == ERROR_ACCESS_DENIED && !running_on_wine()) {
        RegCloseKey(key);
        GTEST_SKIP() << "MOVEFILE_DELAY_UNTIL_REBOOT needs an administrator";
    }
    EXPECT_TRUE(deleted);
    EXPECT_TRUE(MoveFileExA((folder_ + "/old.dll").c_str(), path("new.dll").c_str(),
                            MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING));
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(path("in use.dll").c_str()));

    std::string expected(before.begin(), before.end());
    if (!expected.empty() && expected.back() == '\0') expected.pop_back();
    expected += "\\??\\" + path("in use.dll") + std::string(1, '\0') + std::string(1, '\0');
    expected += "\\??\\" + path("old.dll") + std::string(1, '\0') + "!\\??\\" + path("new.dll") + std::string(1, '\0');
    expected += std::string(1, '\0');
    std::vector<BYTE> after(65536);
    size = (DWORD)after.size();
    type = preset;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, value_name, NULL, &type, after.data(), &size));
    EXPECT_EQ((DWORD)REG_MULTI_SZ, type);
    EXPECT_EQ(expected, std::string(after.begin(), after.begin() + size));

    if (had_value) RegSetValueExA(key, value_name, 0, REG_MULTI_SZ, before.data(), (DWORD)before.size());
    else RegDeleteValueA(key, value_name);
    RegCloseKey(key);
}

// --- system folders and WOW64 ---

std::string windows_folder() {
    char buffer[MAX_PATH];
    UINT length = GetWindowsDirectoryA(buffer, sizeof buffer);
    return length && length < sizeof buffer ? std::string(buffer, length) : std::string();
}

TEST_F(SystemFolderContract, system_directory_is_system32_below_the_windows_folder) {
    char buffer[MAX_PATH + 2];
    memset(buffer, sentinel, sizeof buffer);
    UINT length = GetSystemDirectoryA(buffer, MAX_PATH);
    ASSERT_GT(length, 0u);
    EXPECT_EQ(strlen(buffer), length);
    EXPECT_EQ(sentinel, (unsigned char)buffer[length + 1]);
    std::string expected = windows_folder() + "\\system32";
    if (running_on_wine()) {
        EXPECT_EQ(upper(expected), upper(buffer)) << "Wine spells C:\\windows in lower case";
    } else {
        EXPECT_EQ(expected, buffer);
    }

    memset(buffer, sentinel, sizeof buffer);
    EXPECT_EQ(length + 1, GetSystemDirectoryA(buffer, length));
    EXPECT_EQ(sentinel, (unsigned char)buffer[0]);
}

TEST_F(SystemFolderContract, temp_path_ends_with_a_backslash) {
    char buffer[MAX_PATH + 2];
    memset(buffer, sentinel, sizeof buffer);
    DWORD length = GetTempPathA(MAX_PATH + 1, buffer);
    ASSERT_GT(length, 0u);
    EXPECT_EQ(strlen(buffer), length);
    EXPECT_EQ('\\', buffer[length - 1]);
    EXPECT_EQ(sentinel, (unsigned char)buffer[length + 1]);
    memset(buffer, sentinel, sizeof buffer);
    EXPECT_EQ(length + 1, GetTempPathA(length, buffer));
    EXPECT_EQ(sentinel, (unsigned char)buffer[0]);
}

TEST_F(SystemFolderContract, wow64_system_directory_is_syswow64) {
#ifndef _WIN32
    winsim::set_wow64(true, true);
#endif
    if (!process_is_wow64()) GTEST_SKIP() << "not a WOW64 process";
    char buffer[MAX_PATH + 2];
    memset(buffer, sentinel, sizeof buffer);
    SetLastError(preset);
    UINT length = GetSystemWow64DirectoryA(buffer, MAX_PATH);
    ASSERT_GT(length, 0u);
    EXPECT_EQ(strlen(buffer), length);
    std::string expected = windows_folder() + "\\SysWOW64";
    if (running_on_wine()) {
        EXPECT_EQ(upper(expected), upper(buffer)) << "Wine spells it in lower case";
    } else {
        EXPECT_EQ(expected, buffer);
    }
    memset(buffer, sentinel, sizeof buffer);
    EXPECT_EQ(length + 1, GetSystemWow64DirectoryA(buffer, 5));
    EXPECT_EQ(sentinel, (unsigned char)buffer[0]);
}

TEST_F(SystemFolderContract, a_32_bit_windows_has_no_wow64_system_directory_nor_redirection) {
#ifndef _WIN32
    winsim::set_windows_bitness(32);
#endif
    if (process_is_wow64()) GTEST_SKIP() << "a 64-bit Windows (WOW64 process)";
    char buffer[MAX_PATH];
    memset(buffer, sentinel, sizeof buffer);
    SetLastError(preset);
    EXPECT_EQ(0u, GetSystemWow64DirectoryA(buffer, sizeof buffer));
    EXPECT_EQ((DWORD)ERROR_CALL_NOT_IMPLEMENTED, GetLastError());
    EXPECT_EQ(sentinel, (unsigned char)buffer[0]);
    PVOID old_value = (PVOID)0x55;
    SetLastError(preset);
    EXPECT_FALSE(Wow64DisableWow64FsRedirection(&old_value));
    EXPECT_EQ((DWORD)ERROR_INVALID_FUNCTION, GetLastError());
    EXPECT_EQ((PVOID)0x55, old_value);
}

class RedirectionContract : public FileContract {
protected:
    void SetUp() override {
        FileContract::SetUp();
#ifndef _WIN32
        winsim::set_wow64(true, true);
#endif
        if (!process_is_wow64()) GTEST_SKIP() << "not a WOW64 process";
        char buffer[MAX_PATH];
        ASSERT_GT(GetSystemDirectoryA(buffer, sizeof buffer), 0u);
        system32_ = buffer;
        ASSERT_GT(GetSystemWow64DirectoryA(buffer, sizeof buffer), 0u);
        syswow64_ = buffer;
        name_ = std::string("\\kbcontract_") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        ASSERT_TRUE(write_file(syswow64_ + name_, "32-bit"));
        PVOID old_value = NULL;
        ASSERT_TRUE(Wow64DisableWow64FsRedirection(&old_value));
        bool written = write_file(system32_ + name_, "64-bit");
        ASSERT_TRUE(Wow64RevertWow64FsRedirection(old_value));
        ASSERT_TRUE(written);
    }

    void TearDown() override {
        if (!system32_.empty()) {
            PVOID old_value = NULL;
            if (Wow64DisableWow64FsRedirection(&old_value)) {
                DeleteFileA((system32_ + name_).c_str());
                DeleteFileA((system32_ + "\\drivers\\etc" + name_).c_str());
                Wow64RevertWow64FsRedirection(old_value);
            }
            DeleteFileA((syswow64_ + name_).c_str());
        }
        FileContract::TearDown();
    }

    std::string system32_, syswow64_, name_;
};

TEST_F(RedirectionContract, system32_reaches_syswow64_while_redirection_is_on) {
    EXPECT_EQ("32-bit", read_file(system32_ + name_));
    PVOID old_value = (PVOID)0x55;
    ASSERT_TRUE(Wow64DisableWow64FsRedirection(&old_value));
    EXPECT_EQ("64-bit", read_file(system32_ + name_));
    EXPECT_EQ("32-bit", read_file(syswow64_ + name_));
    ASSERT_TRUE(Wow64RevertWow64FsRedirection(old_value));
    EXPECT_EQ("32-bit", read_file(system32_ + name_));
}

TEST_F(RedirectionContract, drivers_etc_is_exempt) {
    ASSERT_TRUE(write_file(system32_ + "\\drivers\\etc" + name_, "etc"));
    PVOID old_value = NULL;
    ASSERT_TRUE(Wow64DisableWow64FsRedirection(&old_value));
    std::string seen = read_file(system32_ + "\\drivers\\etc" + name_);
    DWORD in_syswow64 = GetFileAttributesA((syswow64_ + "\\drivers\\etc" + name_).c_str());
    ASSERT_TRUE(Wow64RevertWow64FsRedirection(old_value));
    EXPECT_EQ("etc", seen);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, in_syswow64);
}

TEST_F(RedirectionContract, nested_switches_hand_back_and_take_the_old_state) {
    PVOID outer = (PVOID)0x55, inner = (PVOID)0x55;
    ASSERT_TRUE(Wow64DisableWow64FsRedirection(&outer));
    ASSERT_TRUE(Wow64DisableWow64FsRedirection(&inner));
    EXPECT_NE(outer, inner);
    ASSERT_TRUE(Wow64RevertWow64FsRedirection(inner));
    EXPECT_EQ("64-bit", read_file(system32_ + name_));
    ASSERT_TRUE(Wow64RevertWow64FsRedirection(outer));
    EXPECT_EQ("32-bit", read_file(system32_ + name_));
}

// --- CharUpperA ---

TEST(char_upper, upper_cases_code_page_1252_in_place_and_keeps_sharp_s) {
    char text[] = "äöüß àéÿ abc";
    EXPECT_EQ(text, CharUpperA(text));
    EXPECT_STREQ("ÄÖÜß ÀÉŸ ABC", text);
}

TEST(char_upper, a_character_in_the_low_word_comes_back_upper_cased) {
    EXPECT_EQ((LPSTR)(ULONG_PTR)(unsigned char)'Ä', CharUpperA((LPSTR)(ULONG_PTR)(unsigned char)'ä'));
    EXPECT_EQ((LPSTR)(ULONG_PTR)(unsigned char)'ß', CharUpperA((LPSTR)(ULONG_PTR)(unsigned char)'ß'));
    EXPECT_EQ((LPSTR)(ULONG_PTR)'Q', CharUpperA((LPSTR)(ULONG_PTR)'q'));
}

}  // namespace
