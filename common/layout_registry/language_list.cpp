// The layout in the user's language list of Windows 8 and later, through InstallLayoutOrTip of input.dll.
#include "layout_registry/language_list.h"

#include <string.h>
#include <windows.h>

#include "frame/shell_user.h"
#include "layout_registry/registry_access.h"

typedef BOOL(WINAPI* install_layout_or_tip_function)(LPCWSTR, DWORD);
typedef BOOL(WINAPI* install_layout_or_tip_user_reg_function)(LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR,
                                                              DWORD);

// read: the list is there; missing: it is not; failed: that cannot be told.
static reg_result language_list_presence()
{
    HKEY profile = 0;
    reg_result opened = reg_open_existing_key(shell_user.settings, USER_PROFILE_PATH, &profile);
    if (opened != reg_result::read)
        return opened == reg_result::missing ? reg_result::missing : reg_result::failed;
    reg_result found = reg_query_value_presence(profile, LANGUAGES_VALUE);
    RegCloseKey(profile);
    return found == reg_result::unfit ? reg_result::read : found;
}

// "<language>:<layout key name>" as the function takes it, the language being the key name's
// last four characters; false for a key name that is not eight characters long.
static bool layout_or_tip_text(WCHAR* text, const char* key_name)
{
    size_t length = strlen(key_name);
    if (length != 8)
        return false;
    size_t at = 0;
    for (size_t i = 4; i < 8; i++)
        text[at++] = (WCHAR)(unsigned char)key_name[i];
    text[at++] = (WCHAR)':';
    for (size_t i = 0; i < 8; i++)
        text[at++] = (WCHAR)(unsigned char)key_name[i];
    text[at] = 0;
    return true;
}

// Another user's list: the key that stands for that user's HKEY_CURRENT_USER is named as the
// function's defaults are ("HKEY_USERS\<SID>"), and the change is kept from the session of
// the program, which is not that user's.
static bool change_other_users_list(HMODULE input, const WCHAR* text, DWORD flags)
{
    install_layout_or_tip_user_reg_function install_for_user =
        reinterpret_cast<install_layout_or_tip_user_reg_function>(reinterpret_cast<void (*)()>(
            GetProcAddress(input, INSTALL_LAYOUT_OR_TIP_USER_REG_NAME)));
    WCHAR user_key[sizeof shell_user.root_name];
    size_t at = 0;
    for (; shell_user.root_name[at]; at++)
        user_key[at] = (WCHAR)(unsigned char)shell_user.root_name[at];
    user_key[at] = 0;
    return install_for_user &&
           install_for_user(user_key, 0, 0, text, flags | ILOT_NOAPPLYTOCURRENTSESSION);
}

language_list_outcome change_language_list(const char* key_name, language_list_change change)
{
    reg_result presence = language_list_presence();
    if (presence == reg_result::missing)
        return language_list_outcome::absent;
    if (presence != reg_result::read)
        return language_list_outcome::failed;
    WCHAR text[16];
    if (!layout_or_tip_text(text, key_name))
        return language_list_outcome::failed;
    // From the system folder only; redirection is on outside the work in the system folders.
    HMODULE input = LoadLibraryExA(INPUT_DLL_NAME, 0, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!input)
        return language_list_outcome::failed;
    DWORD flags = change == language_list_change::remove ? ILOT_UNINSTALL : ILOT_DEFPROFILE;
    bool changed = false;
    if (shell_user.sid[0]) {
        changed = change_other_users_list(input, text, flags);
    } else {
        install_layout_or_tip_function install_layout_or_tip =
            reinterpret_cast<install_layout_or_tip_function>(
                reinterpret_cast<void (*)()>(GetProcAddress(input, INSTALL_LAYOUT_OR_TIP_NAME)));
        changed = install_layout_or_tip && install_layout_or_tip(text, flags);
    }
    FreeLibrary(input);
    return changed ? language_list_outcome::changed : language_list_outcome::failed;
}
