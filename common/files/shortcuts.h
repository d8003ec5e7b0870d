// Shell shortcuts (.LNK) on the desktop, in the Start menu, in a special folder or a given folder.
#pragma once

#include <windows.h>

// A shortcut's place: null (the desktop), a CSIDL number below 0x100 passed as
// SHORTCUT_PLACE_CSIDL(n), a subfolder name of the Start menu's Programs folder, or an
// absolute path ("D:\\Links").
#define SHORTCUT_PLACE_CSIDL(csidl) ((const char*)(ULONG_PTR)(csidl))

// The folder as a wide path (MAX_PATH characters) ending in a backslash: a profile folder may
// hold characters that the ANSI code page cannot spell, such as the "Ł" of a user's name.
bool shortcut_folder_path(WCHAR* path, HWND owner, const char* place, bool all_users);
// The shortcut file's path: folder (ending in a backslash), name and ".LNK".
bool shortcut_file_path(WCHAR* path, const WCHAR* folder, const char* name);
bool create_shortcut(HWND owner, const char* target, const char* arguments, const char* place,
                     const char* name, const char* working_folder, const char* icon_file,
                     int icon_index, const char* description, int show_command, bool all_users);
bool delete_shortcut(HWND owner, const char* place, const char* name, bool all_users);
