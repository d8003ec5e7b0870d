// Shell shortcuts (.LNK) through the shell-link object, and their folders.
#include "files/shortcuts.h"

#include <shlobj.h>
#include <string.h>

#include "files/file_operations.h"

// The shell-link class and its two interfaces, defined here rather than taken from the
// system's GUID library, which would bring every GUID it knows into the program.
static const CLSID shell_link_class =
    {0x00021401, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
static const IID shell_link_interface =
    {0x000214EE, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
static const IID persist_file_interface =
    {0x0000010B, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

static bool is_csidl_place(const char* place)
{
    return place && (ULONG_PTR)place < 0x100;
}

static bool is_absolute_place(const char* place)
{
    return place && !is_csidl_place(place) && place[0] && place[1] == ':';
}

static bool lookup_folder(char* path, HWND owner, int csidl, IMalloc* allocator)
{
    LPITEMIDLIST items = 0;
    if (FAILED(SHGetSpecialFolderLocation(owner, csidl, &items)))
        return false;
    // A folder without a file-system path is not found: the shortcut would go into the root of
    // the current drive.
    bool found = SHGetPathFromIDListA(items, path) && path[0];
    if (!found)
        path[0] = 0;
    if (allocator)
        allocator->Free(items);
    return found;
}

bool shortcut_folder_path(char* path, HWND owner, const char* place, bool all_users)
{
    path[0] = 0;
    bool result = false;
    if (is_absolute_place(place)) {
        if (strlen(place) >= MAX_PATH)
            return false;
        strcpy(path, place);
        result = true;
    } else {
        IMalloc* allocator = 0;
        SHGetMalloc(&allocator);
        int csidl;
        if (!place)
            csidl = all_users ? CSIDL_COMMON_DESKTOPDIRECTORY : CSIDL_DESKTOPDIRECTORY;
        else if (is_csidl_place(place))
            csidl = (int)(ULONG_PTR)place;
        else
            csidl = all_users ? CSIDL_COMMON_PROGRAMS : CSIDL_PROGRAMS;
        result = lookup_folder(path, owner, csidl, allocator);
        if (!result && all_users)
            result = lookup_folder(path, owner, place ? CSIDL_PROGRAMS : CSIDL_DESKTOPDIRECTORY,
                                   allocator);
        if (allocator)
            allocator->Release();
        if (place && !is_csidl_place(place) && place[0]) {
            char joined[MAX_PATH];
            if (!join_path(joined, path, place))
                return false;
            strcpy(path, joined);
        }
    }
    ensure_trailing_backslash(path);
    return result;
}

// The shortcut file's path: folder (ending in a backslash), name and ".LNK".
static bool shortcut_file_path(char* path, const char* folder, const char* name)
{
    char file_name[MAX_PATH];
    size_t length = strlen(name);
    if (length + 4 >= MAX_PATH)
        return false;
    memcpy(file_name, name, length);
    memcpy(file_name + length, ".LNK", 5);
    return join_path(path, folder, file_name);
}

// Sets the link's fields in order while every call succeeds.
static bool set_link_fields(IShellLinkA* link, const char* target, const char* arguments,
                            const char* working_folder, const char* icon_file, int icon_index,
                            const char* description, int show_command)
{
    if (FAILED(link->SetPath(target)))
        return false;
    if (arguments && FAILED(link->SetArguments(arguments)))
        return false;
    if (working_folder[0] && FAILED(link->SetWorkingDirectory(working_folder)))
        return false;
    if (description && FAILED(link->SetDescription(description)))
        return false;
    if (FAILED(link->SetShowCmd(show_command)))
        return false;
    return SUCCEEDED(link->SetIconLocation(icon_file ? icon_file : target, icon_index));
}

static bool save_link(IPersistFile* file, HWND owner, const char* place, const char* name,
                      bool all_users)
{
    char folder[MAX_PATH];
    if (!shortcut_folder_path(folder, owner, place, all_users))
        return false;
    create_folder_path(folder, false, false);
    char path[MAX_PATH];
    if (!shortcut_file_path(path, folder, name))
        return false;
    WCHAR wide_path[MAX_PATH];
    if (!MultiByteToWideChar(CP_ACP, 0, path, -1, wide_path, MAX_PATH))
        return false;
    if (FAILED(file->Save(wide_path, TRUE)))
        return false;
    file->SaveCompleted(wide_path);
    return true;
}

bool create_shortcut(HWND owner, const char* target, const char* arguments, const char* place,
                     const char* name, const char* working_folder, const char* icon_file,
                     int icon_index, const char* description, int show_command, bool all_users)
{
    char folder[MAX_PATH + 1];
    folder[0] = 0;
    if (working_folder) {
        size_t length = strlen(working_folder);
        if (length > MAX_PATH)
            return false;
        memcpy(folder, working_folder, length + 1);
        strip_trailing_backslash(folder);
    }
    HRESULT initialised = CoInitialize(0);
    bool result = false;
    IShellLinkA* link = 0;
    if (SUCCEEDED(CoCreateInstance(shell_link_class, 0, CLSCTX_INPROC_SERVER, shell_link_interface,
                                   (void**)&link))) {
        IPersistFile* file = 0;
        if (SUCCEEDED(link->QueryInterface(persist_file_interface, (void**)&file))) {
            result = set_link_fields(link, target, arguments, folder, icon_file, icon_index,
                                     description, show_command) &&
                     save_link(file, owner, place, name, all_users);
            file->Release();
        }
        link->Release();
    }
    if (SUCCEEDED(initialised))
        CoUninitialize();
    return result;
}

bool delete_shortcut(HWND owner, const char* place, const char* name, bool all_users)
{
    char folder[MAX_PATH];
    if (!shortcut_folder_path(folder, owner, place, all_users))
        return false;
    char path[MAX_PATH];
    if (!shortcut_file_path(path, folder, name))
        return false;
    return DeleteFileA(path) != 0;
}
