// Contract of folders: CreateDirectoryA and RemoveDirectoryA, for the simulation and for Windows.
#include "file_contract_support.h"

#include <string.h>

#include <string>
#include <vector>

namespace {

bool create_directory(const char* path) { return CreateDirectoryA(path, NULL) != FALSE; }

TEST_F(folder_contract, create_directory_reports_existing_entries_and_missing_parents) {
    ASSERT_TRUE(write_file(path("file"), "x"));
    ASSERT_TRUE(CreateDirectoryA(path("folder").c_str(), NULL));
    expect_failures({{path("folder"), ERROR_ALREADY_EXISTS},
                     {path("FOLDER\\"), ERROR_ALREADY_EXISTS},
                     {path("file"), ERROR_ALREADY_EXISTS},
                     {path("missing\\new"), ERROR_PATH_NOT_FOUND}},
                    create_directory);
}

TEST_F(folder_contract, create_directory_refuses_reserved_characters) {
    std::vector<path_error> cases;
    for (const char* name : {"a<b", "a>b", "a|b", "a\"b", "a*b", "a?b"})
        cases.push_back({path(name), ERROR_INVALID_NAME});
    expect_failures(cases, create_directory);
}

TEST_F(folder_contract, create_directory_refuses_a_colon_in_a_name) {
    if (running_on_wine()) GTEST_SKIP() << "Wine creates a folder named \"a:b\"";
    SetLastError(preset);
    EXPECT_FALSE(CreateDirectoryA(path("a:b").c_str(), NULL));
    EXPECT_EQ((DWORD)ERROR_INVALID_NAME, GetLastError());
}

TEST_F(folder_contract, create_directory_refuses_a_server_name_without_share) {
    if (running_on_wine()) GTEST_SKIP() << "Wine answers ERROR_PATH_NOT_FOUND for \\\\server alone";
    SetLastError(preset);
    EXPECT_FALSE(CreateDirectoryA("\\\\server", NULL));
    EXPECT_EQ((DWORD)ERROR_INVALID_NAME, GetLastError());
}

TEST_F(folder_contract, remove_directory_needs_an_empty_folder) {
    ASSERT_TRUE(CreateDirectoryA(path("full").c_str(), NULL));
    ASSERT_TRUE(write_file(path("full\\inside"), "x"));
    ASSERT_TRUE(write_file(path("file"), "x"));
    expect_failures({{path("full"), ERROR_DIR_NOT_EMPTY},
                     {path("missing"), ERROR_FILE_NOT_FOUND},
                     {path("missing\\deeper"), ERROR_PATH_NOT_FOUND},
                     {path("file"), ERROR_DIRECTORY}},
                    [](const char* p) { return RemoveDirectoryA(p) != FALSE; });
    EXPECT_EQ((DWORD)FILE_ATTRIBUTE_DIRECTORY, GetFileAttributesA(path("full").c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    ASSERT_TRUE(DeleteFileA(path("full\\inside").c_str()));
    EXPECT_TRUE(RemoveDirectoryA(path("full").c_str()));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(path("full").c_str()));
}

}  // namespace
