// Contract of the system folders, the temporary folder and WOW64 redirection, for the simulation and for Windows.
#include "file_contract_support.h"

#ifndef _WIN32
#include <winsim/desktop_control.h>
#include <winsim/files_control.h>
#endif

#include <string.h>

#include <string>
#include <vector>

namespace {

std::string windows_folder() {
    char buffer[MAX_PATH];
    UINT length = GetWindowsDirectoryA(buffer, sizeof buffer);
    return length && length < sizeof buffer ? std::string(buffer, length) : std::string();
}

TEST_F(system_folder_contract, system_directory_is_system32_below_the_windows_folder) {
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

// The shared Windows folder: on a machine with one user session the Windows folder itself,
// without a trailing backslash; a buffer that is too small gets the size it needs.
TEST_F(system_folder_contract, system_windows_directory_is_the_shared_windows_folder) {
    char buffer[MAX_PATH + 2];
    memset(buffer, sentinel, sizeof buffer);
    SetLastError(preset);
    UINT length = GetSystemWindowsDirectoryA(buffer, MAX_PATH);
    ASSERT_GT(length, 1u);
    EXPECT_EQ(strlen(buffer), length);
    EXPECT_EQ(sentinel, (unsigned char)buffer[length + 1]);
    EXPECT_EQ(windows_folder(), buffer);
    EXPECT_NE('\\', buffer[length - 1]);
    EXPECT_EQ(length + 1, GetSystemWindowsDirectoryA(buffer, length));
}

// The folder below which only administrators may remove what they created.
TEST_F(system_folder_contract, the_shared_windows_folder_holds_a_temp_folder) {
    char buffer[MAX_PATH];
    UINT length = GetSystemWindowsDirectoryA(buffer, sizeof buffer);
    ASSERT_TRUE(length > 0 && length < sizeof buffer);
    DWORD attributes = GetFileAttributesA((std::string(buffer) + "\\Temp").c_str());
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, attributes);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

TEST_F(system_folder_contract, temp_path_ends_with_a_backslash) {
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

TEST_F(system_folder_contract, wow64_system_directory_is_syswow64) {
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

TEST_F(system_folder_contract, a_32_bit_windows_has_no_wow64_system_directory_nor_redirection) {
#ifndef _WIN32
    winsim::set_windows_bitness(32);
#endif
    if (process_is_wow64() || program_is_64_bit()) GTEST_SKIP() << "a 64-bit Windows";
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

class redirection_contract : public file_contract {
protected:
    void SetUp() override {
        file_contract::SetUp();
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
        file_contract::TearDown();
    }

    std::string system32_, syswow64_, name_;
};

TEST_F(redirection_contract, system32_reaches_syswow64_while_redirection_is_on) {
    EXPECT_EQ("32-bit", read_file(system32_ + name_));
    PVOID old_value = (PVOID)0x55;
    ASSERT_TRUE(Wow64DisableWow64FsRedirection(&old_value));
    EXPECT_EQ("64-bit", read_file(system32_ + name_));
    EXPECT_EQ("32-bit", read_file(syswow64_ + name_));
    ASSERT_TRUE(Wow64RevertWow64FsRedirection(old_value));
    EXPECT_EQ("32-bit", read_file(system32_ + name_));
}

TEST_F(redirection_contract, drivers_etc_is_exempt) {
    ASSERT_TRUE(write_file(system32_ + "\\drivers\\etc" + name_, "etc"));
    PVOID old_value = NULL;
    ASSERT_TRUE(Wow64DisableWow64FsRedirection(&old_value));
    std::string seen = read_file(system32_ + "\\drivers\\etc" + name_);
    DWORD in_syswow64 = GetFileAttributesA((syswow64_ + "\\drivers\\etc" + name_).c_str());
    ASSERT_TRUE(Wow64RevertWow64FsRedirection(old_value));
    EXPECT_EQ("etc", seen);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, in_syswow64);
}

TEST_F(redirection_contract, nested_switches_hand_back_and_take_the_old_state) {
    PVOID outer = (PVOID)0x55, inner = (PVOID)0x55;
    ASSERT_TRUE(Wow64DisableWow64FsRedirection(&outer));
    ASSERT_TRUE(Wow64DisableWow64FsRedirection(&inner));
    EXPECT_NE(outer, inner);
    ASSERT_TRUE(Wow64RevertWow64FsRedirection(inner));
    EXPECT_EQ("64-bit", read_file(system32_ + name_));
    ASSERT_TRUE(Wow64RevertWow64FsRedirection(outer));
    EXPECT_EQ("32-bit", read_file(system32_ + name_));
}

}  // namespace
