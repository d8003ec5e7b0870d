// The user whose lists, language list and desktop the programs change: the user of the shell, also when an administrator elevated the program for them.
#pragma once

#include <windows.h>

// "S-1-5-21-" and up to fifteen numbers of ten digits.
#define SID_TEXT_SIZE 192

struct shell_user_state {
    // Where that user's settings are: HKEY_CURRENT_USER, or the user's hive below HKEY_USERS.
    HKEY settings;
    // The user's token (query, impersonate, duplicate) for the user's folders; 0 for the
    // program's own user.
    HANDLE token;
    // The user's SID as text; "" while the programs act for their own user.
    char sid[SID_TEXT_SIZE];
    // The settings' key as the messages name it: "HKEY_CURRENT_USER" or "HKEY_USERS\<SID>".
    char root_name[SID_TEXT_SIZE + 16];
    char error_text[512];
};
extern shell_user_state shell_user;

void reset_shell_user();

// Finds the user of the shell's window. When that is another user than the program's own (an
// administrator typed a password for them at the elevation prompt), the per-user work acts on
// that user's hive and folders; without a shell window, or for the program's own user, on
// HKEY_CURRENT_USER as ever. False, with the reason in error_text, when the user cannot be told
// or the hive cannot be opened: then nothing may be changed for anybody.
bool find_shell_user();
// Closes what find_shell_user opened; the programs' own user is the one again.
void release_shell_user();
