// What the file contract tests share: helpers on real paths, and a fixture with a folder of its own per test.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include "contract_support.h"

#ifndef _WIN32
#include <winsim/control.h>
#endif

#include <string>
#include <vector>

bool process_is_wow64();
std::string temp_folder();
std::string upper(std::string text);
// The path in UTF-16, for the wide calls.
std::vector<WCHAR> wide_path(const std::string& path);
bool write_file(const std::string& path, const std::string& contents);
std::string read_file(const std::string& path);
// The names a search gives, in order; empty when FindFirstFileA fails.
std::vector<std::string> find_names(const std::string& pattern);
bool find_entry(const std::string& path, WIN32_FIND_DATAA* data);
// Deletes a folder with everything in it, read-only entries included.
void remove_tree(const std::string& folder);
ULONGLONG ticks_of(const FILETIME& time);
FILETIME filetime_of(ULONGLONG ticks);

// PendingFileRenameOperations (in the Session Manager's key) as a test found it, to compare
// with and to put back afterwards.
struct saved_pending_operations {
    HKEY key = NULL;
    bool had_value = false;
    std::vector<BYTE> before;
    // Opens the key and reads the value; false (with a test failure) when it cannot.
    bool save();
    // The value's bytes now, and its type into *type when given.
    std::string now(DWORD* type = nullptr);
    // Puts the value back as it was and closes the key.
    void restore();
};

// A path and the error that a call on it fails with.
struct path_error {
    std::string path;
    DWORD error;
};

// `call` (true when it succeeded) fails on every path with that path's error; the last error
// is preset before each call.
template <typename Call>
void expect_failures(const std::vector<path_error>& cases, Call call) {
    for (const path_error& c : cases) {
        SCOPED_TRACE(c.path);
        SetLastError(preset);
        EXPECT_FALSE(call(c.path.c_str()));
        EXPECT_EQ(c.error, GetLastError());
    }
}

// Each test works in its own folder, <temp>\kbfiles\<test name>.
class file_contract : public ::testing::Test {
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

typedef file_contract find_contract;
typedef file_contract folder_contract;
typedef file_contract copy_delete_contract;
typedef file_contract handle_contract;
typedef file_contract path_contract;
typedef file_contract system_folder_contract;
