// Thin layer over the Win32 registry: every registry call of the programs goes through here.
#pragma once

#include <windows.h>

// Enumeration buffers, overwritten by the next call of the operation that fills them.
struct registry_layer_state {
    char enum_subkey_name[MAX_PATH];
    char enum_value_name[MAX_PATH];
    unsigned char enum_value_data[MAX_PATH];
    // Set when the last failed enumeration of its kind failed only because the entry does not
    // fit the buffers (or its data are no text): the entry is there but cannot be used. Clear
    // when the platform call itself failed, so that the list could not be read completely.
    bool enum_subkey_unfit;
    bool enum_value_unfit;
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
bool reg_enum_subkey(HKEY key, DWORD index);
bool reg_enum_value(HKEY key, DWORD index);
bool reg_delete_tree(HKEY parent, const char* subkey_name);

// What a read that may find nothing came to: the item was read; it does not exist; it exists
// but does not fit the caller's buffer (or its data are no text); the call failed.
enum reg_result { reg_read, reg_missing, reg_unfit, reg_failed };

// Opens an existing key with full access; reg_missing (and no handle) when there is none.
reg_result reg_open_existing_key(HKEY parent, const char* subkey_path, HKEY* key);
// The text of a value, zero-terminated, into `size` bytes.
reg_result reg_query_string(HKEY key, const char* value_name, char* text, DWORD size);
// The name of the value at `index`, whatever its data, into `size` bytes.
reg_result reg_enum_value_name(HKEY key, DWORD index, char* name, DWORD size);
// True when the value is gone afterwards: deleted now, or not there.
bool reg_delete_value(HKEY key, const char* value_name);
