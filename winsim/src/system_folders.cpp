// The simulated folder queries (temp, system, WOW64 system, Windows, shared Windows) and the WOW64 file-system redirection switches.
#include <windows.h>
#include <winsim/control.h>

#include "file_system.h"
#include "wow64_state.h"

#include <string.h>

using namespace winsim;
using namespace winsim::files;

namespace {

// As the Get*Directory calls answer: the length without the zero when the text fits the buffer,
// else the size the buffer needs (with the zero) and the buffer untouched.
UINT deliver(const std::string& text, LPSTR buffer, UINT size) {
    if (text.size() < size) {
        memcpy(buffer, text.c_str(), text.size() + 1);
        return static_cast<UINT>(text.size());
    }
    return static_cast<UINT>(text.size() + 1);
}

bool query_fails(const char* call) {
    DWORD error = 0;
    if (!call_fails(call, "", -1, &error)) return false;
    SetLastError(error);
    return true;
}

// The switches work for WOW64 processes; on 32-bit Windows they fail as there.
bool redirection_switch_usable() {
    if (process_is_wow64()) {
        if (machine_bitness() == 32) winsim_not_implemented("a WOW64 process on a 32-bit Windows");
        return true;
    }
    if (machine_bitness() == 64)
        winsim_not_implemented("the WOW64 redirection switches in a process that is not WOW64 on 64-bit Windows");
    SetLastError(ERROR_INVALID_FUNCTION);
    return false;
}

// The values handed out as OldValue: redirection was on (0) or off (1).
PVOID const was_enabled = nullptr;
PVOID const was_disabled = reinterpret_cast<PVOID>(1);

}  // namespace

DWORD WINAPI GetTempPathA(DWORD buffer_length, LPSTR buffer) {
    if (query_fails("GetTempPathA")) return 0;
    return deliver(ansi_spelling(temp_path()), buffer, buffer_length);
}

// Windows reports the folder on disk named "System32" in lower case.
UINT WINAPI GetSystemDirectoryA(LPSTR buffer, UINT size) {
    if (query_fails("GetSystemDirectoryA")) return 0;
    return deliver(windows_folder() + "\\system32", buffer, size);
}

UINT WINAPI GetSystemWow64DirectoryA(LPSTR buffer, UINT size) {
    if (query_fails("GetSystemWow64DirectoryA")) return 0;
    if (machine_bitness() == 32) {
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return 0;
    }
    return deliver(windows_folder() + "\\SysWOW64", buffer, size);
}

UINT WINAPI GetWindowsDirectoryA(LPSTR buffer, UINT size) {
    if (query_fails("GetWindowsDirectoryA")) return 0;
    return deliver(windows_folder(), buffer, size);
}

// The machine has one user session: the shared Windows folder is the one GetWindowsDirectoryA
// names (with Terminal Services, a program not marked as aware of them gets a folder of the
// user's own from GetWindowsDirectoryA).
UINT WINAPI GetSystemWindowsDirectoryA(LPSTR buffer, UINT size) {
    if (query_fails("GetSystemWindowsDirectoryA")) return 0;
    return deliver(windows_folder(), buffer, size);
}

BOOL WINAPI Wow64DisableWow64FsRedirection(PVOID* old_value) {
    if (!old_value) winsim_not_implemented("Wow64DisableWow64FsRedirection without OldValue");
    if (query_fails("Wow64DisableWow64FsRedirection")) return FALSE;
    if (!redirection_switch_usable()) return FALSE;
    *old_value = redirection_disabled() ? was_disabled : was_enabled;
    set_redirection_disabled(true);
    return TRUE;
}

BOOL WINAPI Wow64RevertWow64FsRedirection(PVOID old_value) {
    if (old_value != was_enabled && old_value != was_disabled)
        winsim_not_implemented(
            "Wow64RevertWow64FsRedirection with a value Wow64DisableWow64FsRedirection did not give");
    if (query_fails("Wow64RevertWow64FsRedirection")) return FALSE;
    if (!redirection_switch_usable()) return FALSE;
    set_redirection_disabled(old_value == was_disabled);
    return TRUE;
}
