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
bool reg_enum_subkey(HKEY key, DWORD index);
bool reg_enum_value(HKEY key, DWORD index);
bool reg_delete_tree(HKEY parent, const char* subkey_name);
