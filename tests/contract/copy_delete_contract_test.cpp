// Contract of CopyFileA and DeleteFileA, for the simulation and for Windows.
#include "file_contract_support.h"

#include <string.h>

#include <string>
#include <vector>

namespace {

TEST_F(copy_delete_contract, copy_without_overwrite_keeps_an_existing_target) {
    ASSERT_TRUE(write_file(path("source"), "new"));
    ASSERT_TRUE(write_file(path("target"), "old"));
    SetLastError(preset);
    EXPECT_FALSE(CopyFileA(path("source").c_str(), path("target").c_str(), TRUE));
    EXPECT_EQ((DWORD)ERROR_FILE_EXISTS, GetLastError());
    EXPECT_EQ("old", read_file(path("target")));
    EXPECT_TRUE(CopyFileA(path("source").c_str(), path("target").c_str(), FALSE));
    EXPECT_EQ("new", read_file(path("target")));
}

TEST_F(copy_delete_contract, copy_takes_the_attributes_and_the_last_write_time) {
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

TEST_F(copy_delete_contract, copy_onto_a_read_only_target_is_denied) {
    if (running_on_wine()) GTEST_SKIP() << "Wine overwrites a read-only target (as root)";
    ASSERT_TRUE(write_file(path("source"), "new"));
    ASSERT_TRUE(write_file(path("target"), "old"));
    ASSERT_TRUE(SetFileAttributesA(path("target").c_str(), FILE_ATTRIBUTE_READONLY));
    SetLastError(preset);
    EXPECT_FALSE(CopyFileA(path("source").c_str(), path("target").c_str(), FALSE));
    EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, GetLastError());
    EXPECT_EQ("old", read_file(path("target")));
}

TEST_F(copy_delete_contract, copy_reports_missing_sources_and_target_folders) {
    ASSERT_TRUE(write_file(path("source"), "x"));
    SetLastError(preset);
    EXPECT_FALSE(CopyFileA(path("missing").c_str(), path("target").c_str(), FALSE));
    EXPECT_EQ((DWORD)ERROR_FILE_NOT_FOUND, GetLastError());
    SetLastError(preset);
    EXPECT_FALSE(CopyFileA(path("source").c_str(), path("nowhere\\target").c_str(), FALSE));
    EXPECT_EQ((DWORD)ERROR_PATH_NOT_FOUND, GetLastError());
}

TEST_F(copy_delete_contract, delete_of_a_file_held_open_without_share_delete_is_a_sharing_violation) {
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

TEST_F(copy_delete_contract, delete_of_a_file_open_with_share_delete_takes_effect_at_the_last_close) {
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

TEST_F(copy_delete_contract, a_file_waiting_for_deletion_cannot_be_opened) {
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

TEST_F(copy_delete_contract, delete_refuses_read_only_files_and_folders) {
    ASSERT_TRUE(write_file(path("locked"), "x"));
    ASSERT_TRUE(SetFileAttributesA(path("locked").c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(CreateDirectoryA(path("folder").c_str(), NULL));
    expect_failures({{path("locked"), ERROR_ACCESS_DENIED},
                     {path("folder"), ERROR_ACCESS_DENIED},
                     {path("missing"), ERROR_FILE_NOT_FOUND},
                     {path("missing\\file"), ERROR_PATH_NOT_FOUND}},
                    [](const char* p) { return DeleteFileA(p) != FALSE; });
    EXPECT_EQ("x", read_file(path("locked")));
}

TEST_F(copy_delete_contract, delete_by_the_wide_name_of_what_is_missing_fails_as_by_the_8_bit_one) {
    expect_failures({{path("missing"), ERROR_FILE_NOT_FOUND}, {path("missing\\file"), ERROR_PATH_NOT_FOUND}},
                    [](const char* p) { return DeleteFileW(wide_path(p).data()) != FALSE; });
}

}  // namespace
