// The machine's users inside winsim: the process and token handles, for CloseHandle and the shell's folder calls.
#pragma once

#include <windows.h>

#include <string>

namespace winsim {

// Closes a process or token handle that OpenProcess or OpenProcessToken gave; false for any
// other handle.
bool close_user_object_handle(HANDLE handle);

// The user of a token handle that holds `needed` rights: the user's SID as text, or "" for a
// handle that is no token or lacks them.
std::string token_user(HANDLE token, DWORD needed);

// The root of the signed-in user's hive, whose layouts the session loads: "HKEY_CURRENT_USER",
// or "HKEY_USERS\\<SID>" while the standard user owns the shell.
std::string signed_in_user_key();

// Memory handed out as LocalAlloc does, freed by LocalFree (process.cpp).
char* local_text_copy(const std::string& text);

}  // namespace winsim
