// The simulated special folders of shell32: CSIDL numbers and the desktop's known-folder id to the machine's folders, as item-id lists and paths.
#include <windows.h>
#include <winsim/control.h>
#include <winsim/files_control.h>
#include <winsim/security_control.h>
#include <winsim/shell_control.h>

#include "file_system.h"
#include "modules.h"
#include "shell_internal.h"
#include "users.h"
#include "wide_names.h"
#include "wow64_state.h"

#include <stdio.h>
#include <string.h>

#include <map>

const KNOWNFOLDERID FOLDERID_Desktop = {0xB4BFCC3A, 0xDB2C, 0x424C, {0xB0, 0x29, 0x7F, 0xE9, 0x9A, 0x87, 0xC6, 0x41}};

namespace winsim {

namespace {

HMODULE const the_shell32_module = reinterpret_cast<HMODULE>(0x7c000000);

struct folder_state {
    std::map<int, HRESULT> failures;
    std::map<int, std::string> replaced;
    bool known_folder_function = true;
};

folder_state& folders() {
    static folder_state state;
    return state;
}

// The item-id list winsim hands out: one item holding a mark and the path, then the
// terminating zero-length item.
const BYTE item_mark[4] = {'W', 'S', 'I', 'M'};

// The CSIDLs winsim knows, and whether each names the same folder for every user.
const struct { int csidl; bool common; } csidl_table[] = {
    {CSIDL_DESKTOP, false}, {CSIDL_PROGRAMS, false}, {CSIDL_PERSONAL, false},
    {CSIDL_STARTMENU, false}, {CSIDL_DESKTOPDIRECTORY, false}, {CSIDL_APPDATA, false},
    {CSIDL_PROFILE, false}, {CSIDL_COMMON_STARTMENU, true}, {CSIDL_COMMON_PROGRAMS, true},
    {CSIDL_COMMON_DESKTOPDIRECTORY, true}, {CSIDL_COMMON_APPDATA, true}, {CSIDL_WINDOWS, true},
    {CSIDL_SYSTEM, true}, {CSIDL_PROGRAM_FILES, true}, {CSIDL_SYSTEMX86, true},
    {CSIDL_PROGRAM_FILESX86, true},
};

bool known_csidl(int csidl) {
    for (const auto& entry : csidl_table)
        if (entry.csidl == csidl) return true;
    return false;
}

bool is_common_folder(int csidl) {
    for (const auto& entry : csidl_table)
        if (entry.csidl == csidl) return entry.common;
    return false;
}

// The folder Windows names for the CSIDL, for this machine and this process.
std::string table_path(int csidl) {
    const standard_folder_paths& paths = standard_folders();
    const bool windows_64 = windows_bitness() == 64;
    const std::string start_menu = "\\Microsoft\\Windows\\Start Menu";
    switch (csidl) {
    case CSIDL_DESKTOP:
    case CSIDL_DESKTOPDIRECTORY: return paths.desktop;
    case CSIDL_PROGRAMS: return paths.app_data + start_menu + "\\Programs";
    case CSIDL_PERSONAL: return paths.documents;
    case CSIDL_STARTMENU: return paths.app_data + start_menu;
    case CSIDL_COMMON_STARTMENU: return paths.program_data + start_menu;
    case CSIDL_COMMON_PROGRAMS: return paths.program_data + start_menu + "\\Programs";
    case CSIDL_COMMON_DESKTOPDIRECTORY: return paths.public_desktop;
    case CSIDL_APPDATA: return paths.app_data;
    case CSIDL_COMMON_APPDATA: return paths.program_data;
    case CSIDL_WINDOWS: return paths.windows;
    case CSIDL_SYSTEM: return paths.system32;
    // A 32-bit process on 64-bit Windows is given the 32-bit Program Files folder.
    case CSIDL_PROGRAM_FILES:
        return process_is_wow64() && windows_64 ? paths.program_files_x86 : paths.program_files;
    case CSIDL_PROFILE: return paths.user_profile;
    case CSIDL_SYSTEMX86: return windows_64 ? paths.syswow64 : paths.system32;
    case CSIDL_PROGRAM_FILESX86: return windows_64 ? paths.program_files_x86 : paths.program_files;
    }
    return std::string();
}

std::string folder_path(int csidl) {
    auto replaced = folders().replaced.find(csidl);
    return replaced != folders().replaced.end() ? replaced->second : table_path(csidl);
}

std::string csidl_subject(int csidl) {
    char subject[8];
    snprintf(subject, sizeof subject, "0x%04X", (unsigned)csidl);
    return subject;
}

// The folder of the CSIDL as the path calls find it for the token's user (the program's own
// without a token): S_OK with its path, or the failure set for it.
HRESULT find_folder(int csidl, HANDLE token, std::string* path) {
    std::string user = current_user_sid;
    if (token) {
        user = token_user(token, TOKEN_QUERY | TOKEN_IMPERSONATE);
        if (user.empty()) return HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
    }
    auto failure = folders().failures.find(csidl);
    if (failure != folders().failures.end()) return failure->second;
    if (user != current_user_sid && !is_common_folder(csidl)) {
        if (csidl != CSIDL_DESKTOPDIRECTORY && csidl != CSIDL_DESKTOP)
            winsim_not_implemented("a folder of another user other than the desktop");
        *path = standard_user_desktop();
        return S_OK;
    }
    *path = folder_path(csidl);
    return S_OK;
}

bool folder_exists(const std::string& path) {
    entry_info found = entry(path.c_str());
    return found.exists && found.is_folder;
}

std::u16string wide_path(const std::string& path, const char* call) {
    std::u16string wide = utf16_from_internal(path);
    if (wide.size() >= MAX_PATH)
        winsim_not_implemented((std::string(call) + " of a path longer than MAX_PATH").c_str());
    return wide;
}

}  // namespace

namespace shell {

void reset_special_folders() { folders() = folder_state(); }

}  // namespace shell

HMODULE shell32_module() { return the_shell32_module; }

FARPROC shell32_export(LPCSTR proc_name) {
    if (reinterpret_cast<uintptr_t>(proc_name) < 0x10000)
        winsim_not_implemented("GetProcAddress on shell32 by ordinal");
    if (strcmp(proc_name, "SHGetKnownFolderPath") == 0 && folders().known_folder_function)
        return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(SHGetKnownFolderPath));
    SetLastError(ERROR_PROC_NOT_FOUND);
    return 0;
}

void fail_special_folder(int csidl, HRESULT result) { folders().failures[csidl] = result; }
void set_known_folder_function_present(bool present) { folders().known_folder_function = present; }
void set_special_folder(int csidl, const char* path) { folders().replaced[csidl] = path; }

std::string special_folder(int csidl) {
    if (!known_csidl(csidl)) winsim_not_implemented("special_folder of a CSIDL winsim does not know");
    if (folders().failures.count(csidl)) return std::string();
    return folder_path(csidl);
}

}  // namespace winsim

using namespace winsim;

HRESULT WINAPI SHGetSpecialFolderLocation(HWND owner, int csidl, PIDLIST_ABSOLUTE* items) {
    (void)owner;
    if (!items) winsim_not_implemented("SHGetSpecialFolderLocation without an out-parameter");
    *items = nullptr;
    if (csidl & ~0xFF) winsim_not_implemented("SHGetSpecialFolderLocation with CSIDL flags");
    if (!known_csidl(csidl)) winsim_not_implemented("SHGetSpecialFolderLocation of a CSIDL winsim does not know");
    HRESULT result = S_OK;
    if (shell::faulted("SHGetSpecialFolderLocation", csidl_subject(csidl), &result)) return result;
    auto failure = folders().failures.find(csidl);
    if (failure != folders().failures.end()) return failure->second;

    std::string path = folder_path(csidl);
    size_t item_size = sizeof(USHORT) + sizeof item_mark + path.size() + 1;
    BYTE* list = static_cast<BYTE*>(shell::task_alloc(item_size + sizeof(USHORT)));
    list[0] = (BYTE)item_size;
    list[1] = (BYTE)(item_size >> 8);
    memcpy(list + 2, item_mark, sizeof item_mark);
    memcpy(list + 2 + sizeof item_mark, path.c_str(), path.size() + 1);
    list[item_size] = 0;
    list[item_size + 1] = 0;
    *items = reinterpret_cast<PIDLIST_ABSOLUTE>(list);
    return S_OK;
}

BOOL WINAPI SHGetPathFromIDListA(PCIDLIST_ABSOLUTE items, LPSTR path) {
    if (!items || !path) winsim_not_implemented("SHGetPathFromIDListA with a null argument");
    const BYTE* list = reinterpret_cast<const BYTE*>(items);
    if (memcmp(list + 2, item_mark, sizeof item_mark) != 0)
        winsim_not_implemented("SHGetPathFromIDListA of an item-id list winsim did not make");
    HRESULT result = S_OK;
    if (shell::faulted("SHGetPathFromIDListA", "", &result)) {
        path[0] = 0;
        return FALSE;
    }
    // The path as the system's 8-bit conversion spells it, one byte a character.
    const std::string text = files::ansi_spelling(reinterpret_cast<const char*>(list + 2 + sizeof item_mark));
    if (text.size() >= MAX_PATH) winsim_not_implemented("SHGetPathFromIDListA of a path longer than MAX_PATH");
    memcpy(path, text.c_str(), text.size() + 1);
    return TRUE;
}

HRESULT WINAPI SHGetFolderPathW(HWND owner, int csidl, HANDLE token, DWORD flags, LPWSTR path) {
    (void)owner;
    if (!path) winsim_not_implemented("SHGetFolderPathW without a buffer");
    if (flags != SHGFP_TYPE_CURRENT) winsim_not_implemented("SHGetFolderPathW of a type other than SHGFP_TYPE_CURRENT");
    if (csidl & ~0xFF) winsim_not_implemented("SHGetFolderPathW with CSIDL flags");
    if (!known_csidl(csidl)) winsim_not_implemented("SHGetFolderPathW of a CSIDL winsim does not know");
    path[0] = 0;  // a failure leaves an empty path
    HRESULT result = S_OK;
    if (shell::faulted("SHGetFolderPathW", csidl_subject(csidl), &result)) return result;
    std::string folder;
    result = find_folder(csidl, token, &folder);
    if (FAILED(result)) return result;
    // A folder that does not exist: E_FAIL from the wide call (S_FALSE from the 8-bit one).
    if (!folder_exists(folder)) return E_FAIL;
    std::u16string wide = wide_path(folder, "SHGetFolderPathW");
    memcpy(path, wide.c_str(), (wide.size() + 1) * sizeof(WCHAR));
    return S_OK;
}

HRESULT WINAPI SHGetKnownFolderPath(REFKNOWNFOLDERID id, DWORD flags, HANDLE token, PWSTR* path) {
    if (!folders().known_folder_function) winsim_not_implemented("SHGetKnownFolderPath on a Windows without it");
    if (!path) winsim_not_implemented("SHGetKnownFolderPath without an out-parameter");
    if (id != FOLDERID_Desktop) winsim_not_implemented("SHGetKnownFolderPath of a folder other than FOLDERID_Desktop");
    if (flags) winsim_not_implemented("SHGetKnownFolderPath with flags");
    *path = nullptr;
    HRESULT result = S_OK;
    if (shell::faulted("SHGetKnownFolderPath", shell::guid_text(id), &result)) return result;
    std::string folder;
    result = find_folder(CSIDL_DESKTOPDIRECTORY, token, &folder);
    if (FAILED(result)) return result;
    // Without KF_FLAG_DONT_VERIFY the folder must be there.
    if (!folder_exists(folder)) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    std::u16string wide = wide_path(folder, "SHGetKnownFolderPath");
    size_t bytes = (wide.size() + 1) * sizeof(WCHAR);
    *path = static_cast<PWSTR>(shell::task_alloc(bytes));
    memcpy(*path, wide.c_str(), bytes);
    return S_OK;
}
