// Shell shortcuts (.LNK) written through the shell-link object (a file of its own, so that a program that only deletes shortcuts does not bring in COM).
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

// A place other than the desktop gets its missing folders, each opened to Everyone, when the
// ANSI code page spells its path exactly: a look-alike spelling ("L" for "Ł") would make other
// folders. The desktop is the user's own folder: nothing is made or granted there, and a
// desktop that does not exist gets no shortcut.
static void make_shortcut_folder(const WCHAR* folder)
{
    char narrow[MAX_PATH];
    BOOL spelled_otherwise = FALSE;
    if (WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, folder, -1, narrow, MAX_PATH, 0,
                            &spelled_otherwise) &&
        !spelled_otherwise)
        create_folder_path(narrow, false, false);
}

static bool save_link(IPersistFile* file, HWND owner, const char* place, const char* name,
                      bool all_users)
{
    WCHAR folder[MAX_PATH];
    if (!shortcut_folder_path(folder, owner, place, all_users))
        return false;
    if (place)
        make_shortcut_folder(folder);
    WCHAR path[MAX_PATH];
    if (!shortcut_file_path(path, folder, name))
        return false;
    if (FAILED(file->Save(path, TRUE)))
        return false;
    file->SaveCompleted(path);
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

