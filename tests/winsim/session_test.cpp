// Tests of the simulated user's session and restart: the files a logon maps and the pending file operations a restart carries out.
#include <windows.h>
#include <winsim/control.h>
#include <winsim/desktop_control.h>
#include <winsim/files_control.h>
#include <winsim/registry_control.h>

#include <gtest/gtest.h>

#include "registry_seed.h"

#include <string>
#include <vector>

namespace {

class winsim_session : public ::testing::Test {
protected:
    void SetUp() override { winsim::reset(); }
    void TearDown() override { winsim::reset(); }

    void seed(const char* text) { seed_registry(text); }
};

// Preload names 00000407 twice and d0010407, whose substitute (named in other case) is
// a0000407; b0040407 has its file but is in no list.
const char* const two_layouts =
    "[HKEY_CURRENT_USER\\Keyboard Layout\\Preload]\n\"1\"=\"00000407\"\n\"2\"=\"d0010407\"\n\"3\"=\"00000407\"\n"
    "[HKEY_CURRENT_USER\\Keyboard Layout\\Substitutes]\n\"D0010407\"=\"A0000407\"\n"
    "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Keyboard Layouts\\00000407]\n\"Layout File\"=\"KBDGR.DLL\"\n"
    "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Keyboard Layouts\\a0000407]\n\"Layout File\"=\"kbdx.dll\"\n"
    "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Keyboard Layouts\\b0040407]\n\"Layout File\"=\"KBDY.DLL\"\n";

// Each file once, where it is there and the loader may open it (not the one held for writing).
TEST_F(winsim_session, a_logon_maps_the_files_of_the_users_layouts_from_the_system_folders) {
    struct { const char* path; bool held; int on_64_bit, on_32_bit; } files[] = {
        {"C:\\Windows\\System32\\kbdgr.dll", false, 1, 1},
        {"C:\\Windows\\SysWOW64\\KBDGR.DLL", false, 1, 0},
        {"C:\\Windows\\System32\\KBDX.DLL", false, 1, 1},
        {"C:\\Windows\\SysWOW64\\KBDX.DLL", true, 0, 0},
        {"C:\\Windows\\System32\\KBDY.DLL", false, 0, 0},
    };
    for (int bits : {64, 32}) {
        SCOPED_TRACE(bits);
        winsim::reset();
        winsim::set_windows_bitness(bits);
        seed(two_layouts);
        for (const auto& file : files) {
            winsim::add_file(file.path, "MZ");
            if (file.held) winsim::hold_file_open(file.path, GENERIC_WRITE, FILE_SHARE_READ);
        }
        winsim::log_on_user();
        winsim::log_on_user();  // a new logon ends the earlier one
        for (const auto& file : files) {
            SCOPED_TRACE(file.path);
            EXPECT_EQ(bits == 64 ? file.on_64_bit : file.on_32_bit, winsim::image_mappings(file.path));
        }
        EXPECT_TRUE(winsim::call_log().empty());
        winsim::log_off_user();
        for (const auto& file : files) EXPECT_EQ(0, winsim::image_mappings(file.path)) << file.path;
    }
}

void set_pending(const std::vector<std::string>& texts) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager",
                                             0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr));
    std::string data;
    for (const std::string& text : texts) data += text + '\0';
    data += '\0';
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "PendingFileRenameOperations", 0, REG_MULTI_SZ,
                                            reinterpret_cast<const BYTE*>(data.data()), static_cast<DWORD>(data.size())));
    RegCloseKey(key);
}

// The pairs in order, those of other programs among them; paths are native (System32 is the
// 64-bit folder); what cannot be done is left out and the rest goes on.
TEST_F(winsim_session, a_restart_carries_out_the_pending_operations_in_order) {
    winsim::set_wow64(true, true);
    const char* files[] = {"C:\\Windows\\System32\\kb.dll", "C:\\Windows\\SysWOW64\\kb.dll", "C:\\P\\old.dll",
                           "C:\\P\\new.dll", "C:\\P\\kept.dll", "C:\\P\\other.dll", "C:\\P\\locked.dll",
                           "C:\\P\\over.dll", "C:\\Full\\f", "C:\\Q\\moved.txt"};
    for (const char* file : files) ASSERT_TRUE(winsim::add_file(file, file));
    ASSERT_TRUE(winsim::set_entry_attributes("C:\\P\\locked.dll", FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(winsim::add_folder("C:\\Empty"));
    winsim::add_drive('D');
    set_pending({"\\??\\C:\\Windows\\System32\\kb.dll", "",
                 "\\??\\C:\\P\\missing.dll", "",
                 "\\??\\C:\\P\\old.dll", "",
                 "\\??\\C:\\P\\new.dll", "\\??\\C:\\P\\old.dll",
                 "\\??\\C:\\P\\kept.dll", "\\??\\C:\\P\\other.dll",
                 "\\??\\C:\\P\\other.dll", "!\\??\\C:\\P\\locked.dll",
                 "\\??\\C:\\P\\over.dll", "!\\??\\C:\\P\\kept.dll",
                 "\\??\\C:\\Q\\moved.txt", "\\??\\D:\\moved.txt",
                 "\\??\\C:\\Empty", "",
                 "\\??\\C:\\Full", ""});
    winsim::restart_machine();

    struct { const char* path; const char* contents; } after[] = {
        {"C:\\Windows\\System32\\kb.dll", nullptr},
        {"C:\\Windows\\SysWOW64\\kb.dll", "C:\\Windows\\SysWOW64\\kb.dll"},
        {"C:\\P\\old.dll", "C:\\P\\new.dll"},
        {"C:\\P\\new.dll", nullptr},
        {"C:\\P\\kept.dll", "C:\\P\\over.dll"},
        {"C:\\P\\over.dll", nullptr},
        {"C:\\P\\other.dll", "C:\\P\\other.dll"},
        {"C:\\P\\locked.dll", "C:\\P\\locked.dll"},
        {"C:\\Q\\moved.txt", "C:\\Q\\moved.txt"},
        {"D:\\moved.txt", nullptr},
        {"C:\\Empty", nullptr},
        {"C:\\Full\\f", "C:\\Full\\f"},
    };
    for (const auto& entry : after) {
        SCOPED_TRACE(entry.path);
        winsim::entry_info info = winsim::entry(entry.path);
        EXPECT_EQ(entry.contents != nullptr, info.exists);
        EXPECT_EQ(entry.contents ? entry.contents : "", info.contents);
    }
    EXPECT_FALSE(winsim::reg_read_string("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager",
                                         "PendingFileRenameOperations", nullptr));
}

// Every process ends at a restart: their handles and mappings go before the session manager runs.
TEST_F(winsim_session, a_restart_ends_every_handle_and_mapping_first) {
    ASSERT_TRUE(winsim::add_file("C:\\P\\kb.dll", "MZ"));
    ASSERT_TRUE(winsim::add_file("C:\\P\\pending.txt", "x"));
    ASSERT_TRUE(MoveFileExA("C:\\P\\kb.dll", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
    ASSERT_NE(0, winsim::map_file_as_image("C:\\P\\kb.dll"));
    ASSERT_NE(0, winsim::hold_file_open("C:\\P\\kb.dll", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE));
    HANDLE file = CreateFileA("C:\\P\\pending.txt", GENERIC_READ, 7, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    ASSERT_TRUE(DeleteFileA("C:\\P\\pending.txt"));
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM", 0, KEY_READ, &key));
    ASSERT_NE(nullptr, CreateMutexA(nullptr, FALSE, "Global\\kb"));

    winsim::restart_machine();
    EXPECT_FALSE(winsim::entry_exists("C:\\P\\kb.dll"));
    EXPECT_FALSE(winsim::entry_exists("C:\\P\\pending.txt"));
    EXPECT_EQ(0, winsim::open_file_handles());
    EXPECT_EQ(0, winsim::reg_open_handle_count());
    EXPECT_EQ(0, winsim::open_mutex_handles());
    EXPECT_TRUE(winsim::pending_file_operations().empty());
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(key));
}

}  // namespace
