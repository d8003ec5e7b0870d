// Contract of searches: FindFirstFileA, FindNextFileA and FindClose, for the simulation and for Windows.
#include "file_contract_support.h"

#include <string.h>

#include <string>
#include <vector>

namespace {

TEST_F(find_contract, entries_come_in_upper_cased_name_order_after_dot_entries) {
    const char* created[] = {"b.txt", "Zeta", "_x", "A.TXT", "noext", "ab", "a"};
    for (const char* name : created) ASSERT_TRUE(write_file(path(name), "x")) << name;
    ASSERT_TRUE(CreateDirectoryA(path("sub").c_str(), NULL));
    std::vector<std::string> expected = {".", "..", "a", "A.TXT", "ab", "b.txt", "noext", "sub", "Zeta", "_x"};
    EXPECT_EQ(expected, find_names(path("*")));
}

TEST_F(find_contract, every_folder_but_a_drive_root_lists_dot_entries) {
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

TEST_F(find_contract, star_dot_star_matches_names_without_a_dot) {
    for (const char* name : {"x.txt", "y.doc", "noext"}) ASSERT_TRUE(write_file(path(name), "x"));
    std::vector<std::string> all = {".", "..", "noext", "x.txt", "y.doc"};
    EXPECT_EQ(all, find_names(path("*.*")));
    EXPECT_EQ(std::vector<std::string>{"x.txt"}, find_names(path("*.txt")));
    EXPECT_EQ(std::vector<std::string>{"x.txt"}, find_names(path("X.*")));
}

TEST_F(find_contract, star_dot_matches_names_without_extension_and_question_marks_may_match_nothing_at_the_end) {
    if (running_on_wine()) GTEST_SKIP() << "Wine matches \"*.\" like \"*\", and \"?\" as exactly one character, a period included";
    for (const char* name : {"a", "ab", "abc", "abcd", "a.b", "noext"}) ASSERT_TRUE(write_file(path(name), "x"));
    std::vector<std::string> without_extension = {".", "..", "a", "ab", "abc", "abcd", "noext"};
    EXPECT_EQ(without_extension, find_names(path("*.")));
    std::vector<std::string> up_to_three = {"a", "ab", "abc"};
    EXPECT_EQ(up_to_three, find_names(path("a??")));
}

TEST_F(find_contract, a_name_without_wildcards_finds_the_entry_itself) {
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

TEST_F(find_contract, failures_tell_a_missing_name_from_a_missing_folder) {
    ASSERT_TRUE(write_file(path("present"), "x"));
    expect_failures({{path("nothing*"), ERROR_FILE_NOT_FOUND},
                     {path("missing\\*"), ERROR_PATH_NOT_FOUND},
                     {folder_ + "\\", ERROR_FILE_NOT_FOUND},
                     {folder_.substr(0, 3), ERROR_FILE_NOT_FOUND}},
                    [](const char* pattern) {
                        WIN32_FIND_DATAA data;
                        HANDLE search = FindFirstFileA(pattern, &data);
                        if (search != INVALID_HANDLE_VALUE) FindClose(search);
                        return search != INVALID_HANDLE_VALUE;
                    });
}

}  // namespace
