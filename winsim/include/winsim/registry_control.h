// Test-facing control of the simulated registry: seeding from .reg text, dumps, access rules.
#pragma once

#include <winsim/winreg.h>

#include <string>

namespace winsim {

// Applies text in the format of a registry export ("Windows Registry Editor Version 5.00"):
// [key] creates a key, [-key] deletes a tree, "name"="text", @="text", "name"=dword:hhhhhhhh,
// "name"=hex:.., "name"=hex(N):.. and "name"=- as regedit writes them. Texts are 8-bit.
// Returns false and sets *error (when given) on a malformed line; the lines before it stay applied.
bool reg_import(const char* reg_text, std::string* error = nullptr);

// The subtree at a full path ("HKEY_CURRENT_USER\\Keyboard Layout") in the same format,
// keys in enumeration order and values in enumeration order, without the header line.
// A missing key gives the empty text.
std::string reg_export(const char* key_path);

bool reg_key_exists(const char* key_path);
// The data of a value as text (value name nullptr or "" is the default value); false when missing.
bool reg_read_string(const char* key_path, const char* value_name, std::string* text);

// Access rules that model a key's security: an open or create of the key asking for any of
// `denied` rights fails with ERROR_ACCESS_DENIED. KEY_READ rights stay allowed unless named.
void reg_deny_access(const char* key_path, REGSAM denied);
// RegDeleteKeyA of this key fails with ERROR_ACCESS_DENIED.
void reg_deny_delete(const char* key_path);
// RegCreateKeyExA cannot create this key (when missing) and fails with ERROR_ACCESS_DENIED.
void reg_deny_create(const char* key_path);

// Number of key handles the programs hold open at the moment (roots not counted).
int reg_open_handle_count();

}  // namespace winsim
