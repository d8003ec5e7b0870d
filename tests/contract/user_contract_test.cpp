// The calls that find the shell's user (window, process, token, SID, hive, desktop), checked against Windows and winsim.
#include <windows.h>
#include <sddl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include "contract_support.h"

#ifndef _WIN32
#include <winsim/control.h>
#include <winsim/security_control.h>
#endif

#include <cstring>
#include <string>
#include <vector>

namespace {

typedef HRESULT(WINAPI* known_folder_path_function)(REFKNOWNFOLDERID id, DWORD flags, HANDLE token, PWSTR* path);

class user_contract : public ::testing::Test {
protected:
    // Enables or disables the debug privilege of the program's token; false when the call
    // fails. *previous receives the earlier state.
    bool set_debug_privilege(DWORD attributes, TOKEN_PRIVILEGES* previous) {
        HANDLE own = NULL;
        EXPECT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &own));
        TOKEN_PRIVILEGES change;
        change.PrivilegeCount = 1;
        change.Privileges[0].Attributes = attributes;
        EXPECT_TRUE(LookupPrivilegeValueA(NULL, "SeDebugPrivilege", &change.Privileges[0].Luid));
        DWORD size = preset;
        SetLastError(preset);
        bool adjusted = AdjustTokenPrivileges(own, FALSE, &change, sizeof *previous, previous, &size) != FALSE;
        if (adjusted) {
            EXPECT_EQ(static_cast<DWORD>(sizeof(DWORD) + previous->PrivilegeCount * sizeof(LUID_AND_ATTRIBUTES)), size);
        }
        CloseHandle(own);
        return adjusted;
    }
    void SetUp() override {
#ifndef _WIN32
        winsim::reset();
#endif
    }
    void TearDown() override {
#ifndef _WIN32
        EXPECT_EQ(0, winsim::open_token_and_process_handles());
#endif
    }

    // The user of the token, as GetTokenInformation(TokenUser) gives it, with sentinels after it.
    std::vector<BYTE> token_user(HANDLE token) {
        DWORD needed = preset;
        SetLastError(preset);
        EXPECT_FALSE(GetTokenInformation(token, TokenUser, NULL, 0, &needed));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
        EXPECT_GT(needed, static_cast<DWORD>(sizeof(TOKEN_USER)));
        EXPECT_LE(needed, static_cast<DWORD>(sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE));
        std::vector<BYTE> buffer(needed + 16, sentinel);
        DWORD size = preset;
        EXPECT_TRUE(GetTokenInformation(token, TokenUser, buffer.data(), needed, &size));
        EXPECT_EQ(needed, size);
        for (size_t i = needed; i < buffer.size(); i++) EXPECT_EQ(sentinel, buffer[i]) << i;
        // The SID lies in the buffer.
        const BYTE* sid = static_cast<const BYTE*>(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid);
        EXPECT_TRUE(sid >= buffer.data() + sizeof(TOKEN_USER) && sid < buffer.data() + needed);
        return buffer;
    }
    static PSID sid_of(std::vector<BYTE>& user) { return reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid; }

    std::string sid_text(PSID sid) {
        char* text = NULL;
        EXPECT_TRUE(ConvertSidToStringSidA(sid, &text));
        std::string copy = text ? text : "";
        EXPECT_EQ(nullptr, LocalFree(text));
        return copy;
    }
};

// The program's own token names a user account of the machine ("S-1-5-21-..."), and that user's
// hive is HKEY_CURRENT_USER, also below HKEY_USERS under the SID.
TEST_F(user_contract, the_own_users_hive_is_below_hkey_users_under_the_sid) {
    HANDLE token = NULL;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
    std::vector<BYTE> user = token_user(token);
    EXPECT_TRUE(CloseHandle(token));
    const std::string sid = sid_text(sid_of(user));
    EXPECT_EQ(0u, sid.find("S-1-5-21-")) << sid;

    HKEY key = NULL;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\KbContractUsers", 0, NULL, 0,
                                             KEY_ALL_ACCESS, NULL, &key, NULL));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "seen", 0, REG_SZ, reinterpret_cast<const BYTE*>("yes"), 4));
    RegCloseKey(key);
    HKEY hive = NULL;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_USERS, sid.c_str(), 0, KEY_ALL_ACCESS, &hive));
    char text[8] = {0};
    DWORD size = sizeof text;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(hive, "Software\\KbContractUsers", 0, KEY_READ, &key));
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "seen", NULL, NULL, reinterpret_cast<BYTE*>(text), &size));
    EXPECT_STREQ("yes", text);
    RegCloseKey(key);
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(hive, "Software\\KbContractUsers"));
    RegCloseKey(hive);
}

// The shell's window leads through its process to its owner's token: the test's own user, who
// started it from that shell.
TEST_F(user_contract, the_shell_window_leads_to_the_shells_user) {
    HWND shell = GetShellWindow();
    if (!shell && running_on_wine())
        GTEST_SKIP() << "Wine has no shell window (GetShellWindow gives NULL): the programs take "
                        "the way without one there";
    ASSERT_NE(nullptr, shell);
    DWORD process_id = 0;
    EXPECT_NE(0u, GetWindowThreadProcessId(shell, &process_id));
    ASSERT_NE(0u, process_id);
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process_id);
    ASSERT_NE(nullptr, process);
    HANDLE shell_token = NULL, own_token = NULL;
    EXPECT_TRUE(OpenProcessToken(process, TOKEN_QUERY | TOKEN_IMPERSONATE, &shell_token));
    EXPECT_TRUE(CloseHandle(process));
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &own_token));
    std::vector<BYTE> shell_user = token_user(shell_token), own_user = token_user(own_token);
    EXPECT_TRUE(EqualSid(sid_of(shell_user), sid_of(own_user)));
    CloseHandle(shell_token);
    CloseHandle(own_token);
}

// The folder calls given the own token (query and impersonate) name the same desktop as without
// one.
TEST_F(user_contract, the_desktop_of_the_own_token_is_the_own_desktop) {
    HANDLE token = NULL;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY | TOKEN_IMPERSONATE, &token));
    WCHAR own[MAX_PATH], of_token[MAX_PATH];
    ASSERT_EQ(S_OK, SHGetFolderPathW(NULL, CSIDL_DESKTOPDIRECTORY, NULL, SHGFP_TYPE_CURRENT, own));
    EXPECT_EQ(S_OK, SHGetFolderPathW(NULL, CSIDL_DESKTOPDIRECTORY, token, SHGFP_TYPE_CURRENT, of_token));
    EXPECT_EQ(std::basic_string<WCHAR>(own), std::basic_string<WCHAR>(of_token));
    known_folder_path_function known_folder_path = reinterpret_cast<known_folder_path_function>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA("shell32.dll"), "SHGetKnownFolderPath")));
    ASSERT_NE(nullptr, known_folder_path);
    PWSTR known = NULL;
    EXPECT_EQ(S_OK, known_folder_path(FOLDERID_Desktop, 0, token, &known));
    EXPECT_EQ(std::basic_string<WCHAR>(own), known ? std::basic_string<WCHAR>(known) : std::basic_string<WCHAR>());
    CoTaskMemFree(known);
    EXPECT_TRUE(CloseHandle(token));
}

// The program, run by an administrator, holds the debug privilege: enabling it reports what it
// was, and the earlier state puts it back.
TEST_F(user_contract, the_debug_privilege_is_enabled_and_set_back) {
    TOKEN_PRIVILEGES before, enabled;
    ASSERT_TRUE(set_debug_privilege(SE_PRIVILEGE_ENABLED, &before));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GetLastError());
    ASSERT_LE(before.PrivilegeCount, 1u);
    // Enabled once more, nothing changes, and Windows lists no earlier state; Wine lists the
    // privilege whether or not it changed.
    ASSERT_TRUE(set_debug_privilege(SE_PRIVILEGE_ENABLED, &enabled));
    EXPECT_EQ(running_on_wine() ? 1u : 0u, enabled.PrivilegeCount);
    if (before.PrivilegeCount == 1) {
        EXPECT_EQ(0u, before.Privileges[0].Attributes & SE_PRIVILEGE_ENABLED);
        TOKEN_PRIVILEGES again;
        EXPECT_TRUE(set_debug_privilege(before.Privileges[0].Attributes, &again));
        EXPECT_EQ(1u, again.PrivilegeCount);
    }
}

#ifndef _WIN32
// The simulation's second user: a standard user who owns the shell, with a hive and a desktop of
// their own.
TEST_F(user_contract, the_standard_user_who_owns_the_shell_has_a_hive_and_desktop_of_their_own) {
    winsim::set_standard_user_name("\xC5\x81ucja");
    winsim::set_shell_owner(winsim::shell_owner::standard_user);
    DWORD process_id = 0;
    GetWindowThreadProcessId(GetShellWindow(), &process_id);
    // Another account's process opens only with the debug privilege enabled.
    SetLastError(preset);
    EXPECT_EQ(nullptr, OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process_id));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    TOKEN_PRIVILEGES before;
    ASSERT_TRUE(set_debug_privilege(SE_PRIVILEGE_ENABLED, &before));
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process_id);
    HANDLE token = NULL;
    ASSERT_TRUE(OpenProcessToken(process, TOKEN_QUERY | TOKEN_IMPERSONATE, &token));
    CloseHandle(process);
    std::vector<BYTE> user = token_user(token);
    EXPECT_EQ(winsim::standard_user_sid, sid_text(sid_of(user)));
    HKEY hive = NULL;
    EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_USERS, winsim::standard_user_sid, 0, KEY_ALL_ACCESS, &hive));
    RegCloseKey(hive);
    WCHAR desktop[MAX_PATH];
    ASSERT_EQ(S_OK, SHGetFolderPathW(NULL, CSIDL_DESKTOPDIRECTORY, token, SHGFP_TYPE_CURRENT, desktop));
    EXPECT_EQ(std::u16string(u"C:\\Users\\\u0141ucja\\Desktop"), std::u16string(reinterpret_cast<char16_t*>(desktop)));
    CloseHandle(token);

    // Signed out, the shell has no window.
    winsim::set_shell_owner(winsim::shell_owner::nobody);
    EXPECT_EQ(nullptr, GetShellWindow());
}

#endif

}  // namespace
