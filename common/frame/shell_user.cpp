// The shell's user: the owner of the shell's window, and that user's hive below HKEY_USERS and token.
#include "frame/shell_user.h"

#include <sddl.h>
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "layout_registry/registry_access.h"

// The program's own user until find_shell_user finds another.
shell_user_state shell_user = {HKEY_CURRENT_USER, 0, "", "HKEY_CURRENT_USER", ""};

// The program's own user again; the error text stays.
static void act_for_own_user()
{
    shell_user.settings = HKEY_CURRENT_USER;
    shell_user.token = 0;
    shell_user.sid[0] = 0;
    strcpy(shell_user.root_name, "HKEY_CURRENT_USER");
}

void reset_shell_user()
{
    shell_user.error_text[0] = 0;
    act_for_own_user();
}

// TOKEN_USER and the SID that follows it.
union token_user_buffer {
    TOKEN_USER user;
    BYTE bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
};

static bool query_token_user(HANDLE token, token_user_buffer* buffer)
{
    DWORD size = 0;
    return GetTokenInformation(token, TokenUser, buffer, sizeof *buffer, &size) != FALSE;
}

static bool own_token_user(token_user_buffer* buffer)
{
    HANDLE own = 0;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &own))
        return false;
    bool read = query_token_user(own, buffer);
    CloseHandle(own);
    return read;
}

// The debug privilege of the program's token as it was before it was enabled.
struct debug_privilege_change {
    HANDLE token;
    TOKEN_PRIVILEGES previous;
    bool adjusted;
};

// The process and the token of a shell that another account started open only with the debug
// privilege enabled, which an elevated administrator holds, disabled. It is enabled for those
// two calls alone. When it cannot be, they are tried all the same (the shell may be the
// program's own user's).
static void enable_debug_privilege(debug_privilege_change* change)
{
    memset(change, 0, sizeof *change);
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY,
                          &change->token)) {
        change->token = 0;
        return;
    }
    TOKEN_PRIVILEGES enabled;
    enabled.PrivilegeCount = 1;
    enabled.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    DWORD size = 0;
    change->adjusted = LookupPrivilegeValueA(0, "SeDebugPrivilege", &enabled.Privileges[0].Luid) &&
                       AdjustTokenPrivileges(change->token, FALSE, &enabled,
                                             sizeof change->previous, &change->previous, &size);
}

// Puts the privilege back as it was: a privilege the change did not alter is not listed in the
// earlier state, and putting that back changes nothing.
static void restore_debug_privilege(debug_privilege_change* change)
{
    if (change->adjusted)
        AdjustTokenPrivileges(change->token, FALSE, &change->previous, 0, 0, 0);
    if (change->token)
        CloseHandle(change->token);
}

// The token of the process that owns the window, for query and impersonation (the shell's
// folder calls may need to duplicate it).
static HANDLE window_owner_token(HWND window)
{
    DWORD process_id = 0;
    if (!GetWindowThreadProcessId(window, &process_id) || !process_id)
        return 0;
    debug_privilege_change change;
    enable_debug_privilege(&change);
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process_id);
    HANDLE token = 0;
    if (process &&
        !OpenProcessToken(process, TOKEN_QUERY | TOKEN_IMPERSONATE | TOKEN_DUPLICATE, &token))
        token = 0;
    if (process)
        CloseHandle(process);
    restore_debug_privilege(&change);
    return token;
}

static bool sid_as_text(PSID sid, char* text)
{
    char* converted = 0;
    if (!ConvertSidToStringSidA(sid, &converted))
        return false;
    bool fits = strlen(converted) < SID_TEXT_SIZE;
    if (fits)
        strcpy(text, converted);
    LocalFree(converted);
    return fits;
}

static bool shell_user_unknown()
{
    snprintf(shell_user.error_text, sizeof shell_user.error_text,
             "Das Benutzerkonto, das am Computer angemeldet ist, kann nicht ermittelt werden.\n\n"
             "Bitte melden Sie sich ab und wieder an und starten Sie das Programm erneut.");
    release_shell_user();
    return false;
}

bool find_shell_user()
{
    reset_shell_user();
    // Without a shell window (another shell, or nobody signed in at the screen) the program's
    // own user is the only one it can tell.
    HWND shell = GetShellWindow();
    if (!shell)
        return true;
    // The linked token of an elevated administrator is that administrator's again: only the
    // shell's process leads to the user who asked.
    token_user_buffer shell_owner, own;
    HANDLE token = window_owner_token(shell);
    if (!token)
        return shell_user_unknown();
    shell_user.token = token;
    if (!query_token_user(token, &shell_owner) || !own_token_user(&own))
        return shell_user_unknown();
    if (EqualSid(shell_owner.user.User.Sid, own.user.User.Sid)) {
        release_shell_user();
        return true;
    }
    if (!sid_as_text(shell_owner.user.User.Sid, shell_user.sid))
        return shell_user_unknown();
    // Loaded while the user is signed in; administrators may write it.
    HKEY hive = 0;
    if (reg_open_existing_key(HKEY_USERS, shell_user.sid, &hive) != reg_result::read) {
        snprintf(shell_user.error_text, sizeof shell_user.error_text,
                 "Fehler beim Öffnen des Registry-Keys HKEY_USERS\\%s\n\n"
                 "Die Einstellungen des angemeldeten Benutzers können nicht geändert werden. "
                 "Bitte melden Sie sich ab und wieder an und starten Sie das Programm erneut.",
                 shell_user.sid);
        release_shell_user();
        return false;
    }
    shell_user.settings = hive;
    snprintf(shell_user.root_name, sizeof shell_user.root_name, "HKEY_USERS\\%s", shell_user.sid);
    return true;
}

void release_shell_user()
{
    if (shell_user.settings && shell_user.settings != HKEY_CURRENT_USER)
        RegCloseKey(shell_user.settings);
    if (shell_user.token)
        CloseHandle(shell_user.token);
    act_for_own_user();
}
