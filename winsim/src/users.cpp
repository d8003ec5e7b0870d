// The simulated users of the machine: the shell's window and process, OpenProcessToken, GetTokenInformation(TokenUser) and ConvertSidToStringSidA.
#include <windows.h>
#include <sddl.h>
#include <winsim/control.h>
#include <winsim/files_control.h>
#include <winsim/security_control.h>

#include "file_system.h"
#include "registry_store.h"
#include "security_formats.h"
#include "subsystems.h"
#include "users.h"
#include "wide_names.h"

#include <string.h>

#include <map>
#include <vector>

namespace winsim {

const char* const standard_user_sid = "S-1-5-21-1851632171-2813549347-3416571022-1002";

namespace {

HWND const the_shell_window = reinterpret_cast<HWND>(0x00010014);
const DWORD shell_process_id = 4380;
const DWORD shell_thread_id = 4384;
HANDLE const current_process = reinterpret_cast<HANDLE>(~(uintptr_t)0);
const DWORD token_rights = TOKEN_DUPLICATE | TOKEN_IMPERSONATE | TOKEN_QUERY | TOKEN_ADJUST_PRIVILEGES;
// SeDebugPrivilege, the one privilege the programs adjust.
const DWORD debug_privilege = 20;

struct user_object {
    bool is_token;
    std::string user;  // the SID of the process's or token's user
    DWORD access;
};

struct users_state {
    shell_owner owner = shell_owner::program_user;
    std::string standard_name = "Kind";
    std::string standard_profile;
    std::map<uintptr_t, user_object> objects;
    // The program's token holds the debug privilege (it is an administrator's), disabled.
    bool debug_privilege_enabled = false;
};

users_state& users() {
    static users_state state;
    return state;
}

// Handle values are never reused, not even across resets.
uintptr_t next_object_handle = 0x5000;

HANDLE new_object(const user_object& object) {
    uintptr_t value = next_object_handle;
    next_object_handle += 4;
    users().objects[value] = object;
    return reinterpret_cast<HANDLE>(value);
}

const user_object* find_object(HANDLE handle) {
    auto found = users().objects.find(reinterpret_cast<uintptr_t>(handle));
    return found == users().objects.end() ? nullptr : &found->second;
}

std::string shell_user_sid() {
    return users().owner == shell_owner::standard_user ? standard_user_sid : current_user_sid;
}

BOOL fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

}  // namespace

void reset_users() { users() = users_state(); }

void set_standard_user_name(const char* name) { users().standard_name = internal_from_utf8(name); }

void set_shell_owner(shell_owner owner) {
    users().owner = owner;
    if (owner != shell_owner::standard_user) return;
    // Signed in: the profile is there, and the hive is loaded.
    users().standard_profile = standard_folders().users + "\\" + users().standard_name;
    add_folder((users().standard_profile + "\\Desktop").c_str());
    registry_store::create_key(std::string("HKEY_USERS\\") + standard_user_sid);
}

std::string signed_in_user_key() {
    return users().owner == shell_owner::standard_user ? std::string("HKEY_USERS\\") + standard_user_sid
                                                       : "HKEY_CURRENT_USER";
}

std::string standard_user_desktop() {
    return users().standard_profile.empty() ? "" : users().standard_profile + "\\Desktop";
}

bool debug_privilege_enabled() { return users().debug_privilege_enabled; }

int open_token_and_process_handles() { return static_cast<int>(users().objects.size()); }

bool close_user_object_handle(HANDLE handle) {
    return users().objects.erase(reinterpret_cast<uintptr_t>(handle)) != 0;
}

std::string token_user(HANDLE token, DWORD needed) {
    const user_object* object = find_object(token);
    if (!object || !object->is_token || (object->access & needed) != needed) return "";
    return object->user;
}

}  // namespace winsim

using namespace winsim;

HWND WINAPI GetShellWindow() {
    DWORD error = 0;
    if (call_fails("GetShellWindow", "", -1, &error)) {
        SetLastError(error);
        return 0;
    }
    return users().owner == shell_owner::nobody ? 0 : the_shell_window;
}

DWORD WINAPI GetWindowThreadProcessId(HWND window, LPDWORD process_id) {
    if (window != the_shell_window) winsim_not_implemented("GetWindowThreadProcessId of a window other than the shell's");
    DWORD error = 0;
    if (call_fails("GetWindowThreadProcessId", "", -1, &error) || users().owner == shell_owner::nobody) {
        SetLastError(error ? error : ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (process_id) *process_id = shell_process_id;
    return shell_thread_id;
}

HANDLE WINAPI OpenProcess(DWORD access, BOOL inherit_handle, DWORD process_id) {
    if (access != PROCESS_QUERY_LIMITED_INFORMATION || inherit_handle)
        winsim_not_implemented("OpenProcess other than for PROCESS_QUERY_LIMITED_INFORMATION");
    DWORD error = 0;
    if (call_fails("OpenProcess", "", -1, &error)) {
        SetLastError(error);
        return 0;
    }
    // The shell's process ends with the shell's owner signing out.
    if (process_id != shell_process_id || users().owner == shell_owner::nobody) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    // Another account's process: its descriptor grants the administrator nothing, only the
    // debug privilege enabled opens it.
    if (shell_user_sid() != current_user_sid && !users().debug_privilege_enabled) {
        SetLastError(ERROR_ACCESS_DENIED);
        return 0;
    }
    return new_object(user_object{false, shell_user_sid(), access});
}

BOOL WINAPI OpenProcessToken(HANDLE process, DWORD access, PHANDLE token) {
    if (!token) winsim_not_implemented("OpenProcessToken without an out-parameter");
    if (access & ~token_rights) winsim_not_implemented("OpenProcessToken for rights other than query, impersonate and duplicate");
    *token = 0;
    const user_object* object = find_object(process);
    if (process != current_process && (!object || object->is_token)) return fail(ERROR_INVALID_HANDLE);
    const std::string user = process == current_process ? current_user_sid : object->user;
    DWORD error = 0;
    if (call_fails("OpenProcessToken", user, -1, &error)) return fail(error);
    if (user != current_user_sid && !users().debug_privilege_enabled) return fail(ERROR_ACCESS_DENIED);
    if ((access & TOKEN_ADJUST_PRIVILEGES) && process != current_process)
        winsim_not_implemented("OpenProcessToken for adjusting another process's privileges");
    *token = new_object(user_object{true, user, access});
    return TRUE;
}

BOOL WINAPI GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS information_class,
                                LPVOID information, DWORD length, PDWORD return_length) {
    if (information_class != TokenUser) winsim_not_implemented("GetTokenInformation of a class other than TokenUser");
    if (!return_length) winsim_not_implemented("GetTokenInformation without a return length");
    const user_object* object = find_object(token);
    if (!object || !object->is_token) return fail(ERROR_INVALID_HANDLE);
    DWORD error = 0;
    if (call_fails("GetTokenInformation", object->user, -1, &error)) return fail(error);
    if (!(object->access & TOKEN_QUERY)) return fail(ERROR_ACCESS_DENIED);
    std::vector<BYTE> sid;
    security::parse_sid(object->user, &sid);
    // The SID follows the structure, which points at it.
    const DWORD needed = static_cast<DWORD>(sizeof(TOKEN_USER) + sid.size());
    *return_length = needed;
    if (length < needed || !information) return fail(ERROR_INSUFFICIENT_BUFFER);
    TOKEN_USER* user = static_cast<TOKEN_USER*>(information);
    BYTE* sid_place = static_cast<BYTE*>(information) + sizeof(TOKEN_USER);
    memcpy(sid_place, sid.data(), sid.size());
    user->User.Sid = sid_place;
    user->User.Attributes = 0;
    return TRUE;
}

BOOL WINAPI ConvertSidToStringSidA(PSID sid, LPSTR* text) {
    if (!text) winsim_not_implemented("ConvertSidToStringSidA without an out-parameter");
    if (!sid || !security::sid_is_valid(sid)) return fail(ERROR_INVALID_SID);
    const std::string sid_text = security::sid_text(sid);
    DWORD error = 0;
    if (call_fails("ConvertSidToStringSidA", sid_text, -1, &error)) return fail(error);
    *text = local_text_copy(sid_text);
    return TRUE;
}

BOOL WINAPI LookupPrivilegeValueA(LPCSTR system_name, LPCSTR name, PLUID luid) {
    if (system_name || !name || !luid) winsim_not_implemented("LookupPrivilegeValueA of another system or without a name");
    DWORD error = 0;
    if (call_fails("LookupPrivilegeValueA", name, -1, &error)) return fail(error);
    if (strcmp(name, "SeDebugPrivilege") != 0) winsim_not_implemented("LookupPrivilegeValueA of a privilege other than SeDebugPrivilege");
    luid->LowPart = debug_privilege;
    luid->HighPart = 0;
    return TRUE;
}

// The program's own token holds one privilege of interest, the debug privilege: enabling or
// disabling it reports its earlier state, as Windows does for each privilege changed.
BOOL WINAPI AdjustTokenPrivileges(HANDLE token, BOOL disable_all, PTOKEN_PRIVILEGES new_state,
                                  DWORD length, PTOKEN_PRIVILEGES previous_state, PDWORD return_length) {
    if (disable_all || !new_state) winsim_not_implemented("AdjustTokenPrivileges disabling all");
    const user_object* object = find_object(token);
    if (!object || !object->is_token) return fail(ERROR_INVALID_HANDLE);
    DWORD error = 0;
    if (call_fails("AdjustTokenPrivileges", object->user, -1, &error)) return fail(error);
    if (!(object->access & TOKEN_ADJUST_PRIVILEGES)) return fail(ERROR_ACCESS_DENIED);
    if (new_state->PrivilegeCount > 1) winsim_not_implemented("AdjustTokenPrivileges of more than one privilege");
    const bool change = new_state->PrivilegeCount == 1;
    if (change && (new_state->Privileges[0].Luid.LowPart != debug_privilege || new_state->Privileges[0].Luid.HighPart))
        winsim_not_implemented("AdjustTokenPrivileges of a privilege other than SeDebugPrivilege");
    const bool was_enabled = users().debug_privilege_enabled;
    const bool enable = change && (new_state->Privileges[0].Attributes & SE_PRIVILEGE_ENABLED);
    // A privilege whose state does not change is not reported as changed.
    const bool changed = change && enable != was_enabled;
    const DWORD needed = static_cast<DWORD>(sizeof(DWORD) + (changed ? sizeof(LUID_AND_ATTRIBUTES) : 0));
    if (previous_state) {
        if (!return_length) winsim_not_implemented("AdjustTokenPrivileges without a return length");
        *return_length = needed;
        if (length < needed) return fail(ERROR_INSUFFICIENT_BUFFER);
        previous_state->PrivilegeCount = changed ? 1 : 0;
        if (changed) {
            previous_state->Privileges[0].Luid = new_state->Privileges[0].Luid;
            previous_state->Privileges[0].Attributes = was_enabled ? SE_PRIVILEGE_ENABLED : 0;
        }
    }
    if (change) users().debug_privilege_enabled = enable;
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}
