// The folders of shell shortcuts (.LNK) as wide paths, their file paths, and their deletion.
#include "files/shortcuts.h"

#include <shlobj.h>
#include <string.h>

#include "frame/frame.h"
#include "frame/shell_user.h"

typedef HRESULT(WINAPI* known_folder_path_function)(const GUID&, DWORD, HANDLE, WCHAR**);

// The user's desktop among the shell's known folders, defined here rather than taken from the
// system's GUID library.
static const GUID desktop_folder_id =
    {0xB4BFCC3A, 0xDB2C, 0x424C, {0xB0, 0x29, 0x7F, 0xE9, 0x9A, 0x87, 0xC6, 0x41}};

static bool is_csidl_place(const char* place)
{
    return place && (ULONG_PTR)place < 0x100;
}

static bool is_absolute_place(const char* place)
{
    return place && !is_csidl_place(place) && place[0] && place[1] == ':';
}

static size_t wide_length(const WCHAR* text)
{
    size_t length = 0;
    while (text[length])
        length++;
    return length;
}

// Appends the text, converted from the ANSI code page, to a wide path of MAX_PATH characters;
// false (the path unchanged) when it does not fit.
static bool append_text(WCHAR* path, const char* text)
{
    size_t used = wide_length(path);
    if (!text[0])
        return true;
    if (!MultiByteToWideChar(CP_ACP, 0, text, -1, path + used, (int)(MAX_PATH - used))) {
        path[used] = 0;
        return false;
    }
    return true;
}

static bool ensure_trailing_separator(WCHAR* path)
{
    size_t length = wide_length(path);
    if (length && (path[length - 1] == '\\' || path[length - 1] == '/'))
        return true;
    return append_text(path, "\\");
}

// The user's desktop through SHGetKnownFolderPath, which Windows has from Vista on; looked up at
// run time, so that the programs start where it is missing. Without it, SHGetFolderPathW.
static bool known_desktop_path(WCHAR* path, bool* function_found)
{
    known_folder_path_function known_folder_path = reinterpret_cast<known_folder_path_function>(
        system_function("shell32", "SHGetKnownFolderPath"));
    *function_found = known_folder_path != 0;
    if (!known_folder_path)
        return false;
    WCHAR* found = 0;
    bool fits = SUCCEEDED(known_folder_path(desktop_folder_id, 0, shell_user.token, &found)) &&
                found && wide_length(found) < MAX_PATH;
    if (fits)
        memcpy(path, found, (wide_length(found) + 1) * sizeof(WCHAR));
    CoTaskMemFree(found);
    return fits && path[0];
}

// A special folder as a wide path without a trailing backslash, the user's own ones those of the
// shell's user; false (and an empty path) when the shell cannot name it or it does not exist.
static bool wide_special_folder(WCHAR* path, HWND owner, int csidl)
{
    path[0] = 0;
    if (csidl == CSIDL_DESKTOPDIRECTORY) {
        bool function_found = false;
        bool found = known_desktop_path(path, &function_found);
        if (function_found) {
            if (!found)
                path[0] = 0;
            return found;
        }
    }
    if (SHGetFolderPathW(owner, csidl, shell_user.token, SHGFP_TYPE_CURRENT, path) == S_OK &&
        path[0])
        return true;
    path[0] = 0;
    return false;
}

bool shortcut_folder_path(WCHAR* path, HWND owner, const char* place, bool all_users)
{
    path[0] = 0;
    bool result = false;
    if (is_absolute_place(place)) {
        result = append_text(path, place);
    } else {
        int csidl;
        if (!place)
            csidl = all_users ? CSIDL_COMMON_DESKTOPDIRECTORY : CSIDL_DESKTOPDIRECTORY;
        else if (is_csidl_place(place))
            csidl = (int)(ULONG_PTR)place;
        else
            csidl = all_users ? CSIDL_COMMON_PROGRAMS : CSIDL_PROGRAMS;
        result = wide_special_folder(path, owner, csidl);
        if (!result && all_users)
            result = wide_special_folder(path, owner, place ? CSIDL_PROGRAMS : CSIDL_DESKTOPDIRECTORY);
        if (place && !is_csidl_place(place) && place[0] &&
            !(ensure_trailing_separator(path) && append_text(path, place)))
            return false;
    }
    return ensure_trailing_separator(path) && result;
}

bool shortcut_file_path(WCHAR* path, const WCHAR* folder, const char* name)
{
    size_t length = wide_length(folder);
    if (length >= MAX_PATH)
        return false;
    memcpy(path, folder, (length + 1) * sizeof(WCHAR));
    return append_text(path, name) && append_text(path, ".LNK");
}

bool delete_shortcut(HWND owner, const char* place, const char* name, bool all_users)
{
    WCHAR folder[MAX_PATH];
    if (!shortcut_folder_path(folder, owner, place, all_users))
        return false;
    WCHAR path[MAX_PATH];
    if (!shortcut_file_path(path, folder, name))
        return false;
    return DeleteFileW(path) != 0;
}
