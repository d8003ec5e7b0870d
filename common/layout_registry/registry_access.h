// Thin layer over the Win32 registry: every registry call of the programs goes through here.
#pragma once

#include <windows.h>

// Enumeration buffers, overwritten by the next call of the operation that fills them.
struct registry_layer_state {
    char enum_subkey_name[MAX_PATH];
    char enum_value_name[MAX_PATH];
    unsigned char enum_value_data[MAX_PATH];
};
extern registry_layer_state registry_layer;

void reset_registry_layer();

bool reg_set_string(HKEY key, const char* value_name, const char* text);
HKEY reg_create_key(HKEY parent, const char* subkey_path, const char* default_text);
HKEY reg_open_key_full(HKEY parent, const char* subkey_path);
HKEY reg_open_key_read(HKEY parent, const char* subkey_path);
DWORD reg_count_subkeys(HKEY key);
DWORD reg_count_values(HKEY key);
// The same counts, telling a failed query apart from an empty key.
bool reg_query_subkey_count(HKEY key, DWORD* count);
bool reg_query_value_count(HKEY key, DWORD* count);
bool reg_delete_tree(HKEY parent, const char* subkey_name);
// Deletes a key that has no subkeys.
bool reg_delete_key(HKEY parent, const char* subkey_path);

// What a read came to: the item was read; there is no such item (also past the end of an
// enumeration); it is there but does not fit the buffers (or its data are no text), so that a
// caller may pass over it; the call failed, so that a list could not be read completely.
enum class reg_result { read, missing, unfit, failed };

// The subkey's name at index into enum_subkey_name.
reg_result reg_enum_subkey(HKEY key, DWORD index);
// The value's name and data at index into enum_value_name and enum_value_data, as text.
reg_result reg_enum_value(HKEY key, DWORD index);

// Opens an existing key with full access; missing (and no handle) when there is none.
reg_result reg_open_existing_key(HKEY parent, const char* subkey_path, HKEY* key);
// The text of a value, zero-terminated, into `size` bytes.
reg_result reg_query_string(HKEY key, const char* value_name, char* text, DWORD size);
// The name of the value at `index`, whatever its data, into `size` bytes.
reg_result reg_enum_value_name(HKEY key, DWORD index, char* name, DWORD size);
// Whether the value is there, of any type and size (read), not there (missing), or failed.
reg_result reg_query_value_presence(HKEY key, const char* value_name);
// True when the value is gone afterwards: deleted now, or not there.
bool reg_delete_value(HKEY key, const char* value_name);
// A REG_MULTI_SZ value in UTF-16, as Windows keeps it, into memory that the caller frees
// (free); size counts its characters, the terminating zeros included. A value of another type
// is unfit.
reg_result reg_query_wide_list(HKEY key, const char* value_name, WCHAR** list, DWORD* size);
bool reg_set_wide_list(HKEY key, const char* value_name, const WCHAR* list, DWORD size);
