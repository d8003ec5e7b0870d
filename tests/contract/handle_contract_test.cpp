// Contract of file handles: CreateFileA and CreateFileW, reads, writes, file times and CloseHandle, for the simulation and for Windows.
#include "file_contract_support.h"

#include <string.h>

#include <string>
#include <vector>

namespace {

TEST_F(handle_contract, file_times_keep_100_ns_steps) {
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

TEST_F(handle_contract, creation_time_keeps_100_ns_steps) {
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

TEST_F(handle_contract, writes_after_set_file_time_keep_the_time_set) {
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

TEST_F(handle_contract, set_file_time_needs_write_access) {
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

TEST_F(handle_contract, set_end_of_file_right_after_opening_empties_the_file) {
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

// CreateFileW takes a wide name and otherwise answers as CreateFileA; each presets the last error.
TEST_F(handle_contract, create_file_dispositions_and_their_last_errors) {
    typedef HANDLE (*create_function)(const std::string& path, DWORD access, DWORD disposition);
    const create_function calls[] = {
        [](const std::string& p, DWORD access, DWORD disposition) {
            SetLastError(preset);
            return CreateFileA(p.c_str(), access, 0, NULL, disposition, 0, NULL);
        },
        [](const std::string& p, DWORD access, DWORD disposition) {
            std::vector<WCHAR> name = wide_path(p);
            SetLastError(preset);
            return CreateFileW(name.data(), access, 0, NULL, disposition, 0, NULL);
        },
    };
    ASSERT_TRUE(CreateDirectoryA(path("folder").c_str(), NULL));
    for (create_function create : calls) {
        SCOPED_TRACE(create == calls[0] ? "CreateFileA" : "CreateFileW");
        HANDLE file = create(path("made"), GENERIC_WRITE, CREATE_NEW);
        ASSERT_NE(INVALID_HANDLE_VALUE, file);
        EXPECT_EQ((DWORD)ERROR_SUCCESS, GetLastError());
        DWORD count = 0;
        ASSERT_TRUE(WriteFile(file, "abc", 3, &count, NULL));
        ASSERT_TRUE(CloseHandle(file));

        file = create(path("made"), GENERIC_WRITE, CREATE_ALWAYS);
        ASSERT_NE(INVALID_HANDLE_VALUE, file);
        EXPECT_EQ((DWORD)ERROR_ALREADY_EXISTS, GetLastError());
        EXPECT_EQ(0u, GetFileSize(file, NULL));
        ASSERT_TRUE(CloseHandle(file));

        struct { std::string path; DWORD disposition; DWORD error; } cases[] = {
            {path("made"), CREATE_NEW, ERROR_FILE_EXISTS},
            {path("missing"), OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
            {path("missing\\file"), OPEN_ALWAYS, ERROR_PATH_NOT_FOUND},
            {path("folder"), OPEN_EXISTING, ERROR_ACCESS_DENIED},
        };
        for (const auto& c : cases) {
            SCOPED_TRACE(c.path);
            EXPECT_EQ(INVALID_HANDLE_VALUE, create(c.path, GENERIC_READ, c.disposition));
            EXPECT_EQ(c.error, GetLastError());
        }
        ASSERT_TRUE(DeleteFileA(path("made").c_str()));
    }
}

TEST_F(handle_contract, share_modes_of_open_handles_decide_later_opens) {
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

// A file that another program holds without write sharing (as Windows holds a layout DLL it has
// loaded) can still be read, and dated through a handle with no access to its data.
TEST_F(handle_contract, a_file_held_without_write_sharing_can_be_read_and_dated) {
    ASSERT_TRUE(write_file(path("held"), "layout"));
    HANDLE holder = CreateFileA(path("held").c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, holder);
    const DWORD all_sharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    SetLastError(preset);
    EXPECT_EQ(INVALID_HANDLE_VALUE,
              CreateFileA(path("held").c_str(), GENERIC_WRITE, all_sharing, NULL, OPEN_ALWAYS, 0, NULL));
    EXPECT_EQ((DWORD)ERROR_SHARING_VIOLATION, GetLastError());

    HANDLE reader = CreateFileA(path("held").c_str(), GENERIC_READ, all_sharing, NULL, OPEN_EXISTING,
                                FILE_FLAG_SEQUENTIAL_SCAN, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, reader);
    char data[16];
    memset(data, sentinel, sizeof data);
    DWORD read = preset;
    EXPECT_TRUE(ReadFile(reader, data, sizeof data, &read, NULL));
    EXPECT_EQ(6u, read);
    EXPECT_EQ(std::string("layout"), std::string(data, read));
    EXPECT_TRUE(CloseHandle(reader));

    HANDLE dater = CreateFileA(path("held").c_str(), FILE_WRITE_ATTRIBUTES, all_sharing, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, dater) << GetLastError();
    const ULONGLONG ticks = 133666578272610717ULL;
    FILETIME time = filetime_of(ticks);
    EXPECT_TRUE(SetFileTime(dater, NULL, NULL, &time));
    char buffer[1] = {'x'};
    DWORD written = preset;
    SetLastError(preset);
    EXPECT_FALSE(WriteFile(dater, buffer, 1, &written, NULL));
    EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, GetLastError());
    EXPECT_TRUE(CloseHandle(dater));
    EXPECT_TRUE(CloseHandle(holder));

    WIN32_FIND_DATAA found;
    ASSERT_TRUE(find_entry(path("held"), &found));
    EXPECT_EQ(ticks, ticks_of(found.ftLastWriteTime));
    EXPECT_EQ("layout", read_file(path("held")));
}

TEST_F(handle_contract, a_read_only_file_cannot_be_opened_for_writing) {
    if (running_on_wine()) GTEST_SKIP() << "Wine opens a read-only file for writing (as root)";
    ASSERT_TRUE(write_file(path("locked"), "x"));
    ASSERT_TRUE(SetFileAttributesA(path("locked").c_str(), FILE_ATTRIBUTE_READONLY));
    SetLastError(preset);
    EXPECT_EQ(INVALID_HANDLE_VALUE, CreateFileA(path("locked").c_str(), GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL));
    EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, GetLastError());
}

TEST_F(handle_contract, reads_writes_and_pointer_moves_check_access_and_bounds) {
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

TEST_F(handle_contract, a_handle_closes_once) {
    HANDLE file = CreateFileA(path("once").c_str(), GENERIC_WRITE, 0, NULL, CREATE_NEW, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    EXPECT_TRUE(CloseHandle(file));
    SetLastError(preset);
    EXPECT_FALSE(CloseHandle(file));
    EXPECT_EQ((DWORD)ERROR_INVALID_HANDLE, GetLastError());
}

// A named mutex: a second CreateMutexA of the name opens the same mutex and says so; the name
// counts with its case; once every handle is closed the name is free again.
TEST(mutex_contract, a_name_is_found_while_open_and_free_once_closed) {
    const char* name = "Global\\kbcontract_mutex";
    SetLastError(preset);
    HANDLE first = CreateMutexA(NULL, FALSE, name);
    ASSERT_NE((HANDLE)NULL, first);
    EXPECT_EQ((DWORD)ERROR_SUCCESS, GetLastError());
    SetLastError(preset);
    HANDLE second = CreateMutexA(NULL, FALSE, name);
    ASSERT_NE((HANDLE)NULL, second);
    EXPECT_EQ((DWORD)ERROR_ALREADY_EXISTS, GetLastError());
    EXPECT_NE(first, second);
    SetLastError(preset);
    HANDLE other_case = CreateMutexA(NULL, FALSE, "Global\\KBCONTRACT_MUTEX");
    ASSERT_NE((HANDLE)NULL, other_case);
    EXPECT_EQ((DWORD)ERROR_SUCCESS, GetLastError());
    EXPECT_TRUE(CloseHandle(other_case));
    EXPECT_TRUE(CloseHandle(second));
    EXPECT_TRUE(CloseHandle(first));
    SetLastError(preset);
    HANDLE again = CreateMutexA(NULL, FALSE, name);
    ASSERT_NE((HANDLE)NULL, again);
    EXPECT_EQ((DWORD)ERROR_SUCCESS, GetLastError());
    EXPECT_TRUE(CloseHandle(again));
}

}  // namespace
