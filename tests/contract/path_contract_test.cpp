// Contract of paths: normalization, lengths, attributes and MoveFileExA at restart, for the simulation and for Windows.
#include "file_contract_support.h"

#include <string.h>

#include <string>
#include <vector>

namespace {

TEST_F(path_contract, attributes_of_missing_paths) {
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

TEST_F(path_contract, trailing_periods_and_spaces_of_the_last_name_are_dropped) {
    ASSERT_TRUE(write_file(path("name.txt"), "x"));
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(path("name.txt.").c_str()));
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(path("name.txt  ").c_str()));
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(path("sub\\..\\name.txt").c_str()));
}

TEST_F(path_contract, paths_longer_than_max_path_are_refused) {
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

TEST_F(path_contract, full_paths_must_stay_below_max_path_and_folders_below_249) {
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

TEST_F(path_contract, delay_until_reboot_appends_to_pending_file_rename_operations) {
    ASSERT_TRUE(write_file(path("in use.dll"), "x"));
    ASSERT_TRUE(write_file(path("old.dll"), "x"));
    saved_pending_operations pending;
    ASSERT_TRUE(pending.save());

    SetLastError(preset);
    BOOL deleted = MoveFileExA(path("in use.dll").c_str(), NULL, MOVEFILE_DELAY_UNTIL_REBOOT);
    if (!deleted && GetLastError() == ERROR_ACCESS_DENIED && !running_on_wine()) {
        pending.restore();
        GTEST_SKIP() << "MOVEFILE_DELAY_UNTIL_REBOOT needs an administrator";
    }
    EXPECT_TRUE(deleted);
    EXPECT_TRUE(MoveFileExA((folder_ + "/old.dll").c_str(), path("new.dll").c_str(),
                            MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING));
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(path("in use.dll").c_str()));

    std::string expected(pending.before.begin(), pending.before.end());
    if (!expected.empty() && expected.back() == '\0') expected.pop_back();
    expected += "\\??\\" + path("in use.dll") + std::string(1, '\0') + std::string(1, '\0');
    expected += "\\??\\" + path("old.dll") + std::string(1, '\0') + "!\\??\\" + path("new.dll") + std::string(1, '\0');
    expected += std::string(1, '\0');
    DWORD type = 0;
    EXPECT_EQ(expected, pending.now(&type));
    EXPECT_EQ((DWORD)REG_MULTI_SZ, type);
    pending.restore();
}

}  // namespace
