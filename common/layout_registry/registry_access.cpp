// Thin layer over the Win32 registry: one call per operation, the status codes stay in here.
#include "layout_registry/registry_access.h"

#include <stdlib.h>
#include <string.h>

registry_layer_state registry_layer;

void reset_registry_layer()
{
    memset(&registry_layer, 0, sizeof registry_layer);
}

bool reg_set_string(HKEY key, const char* value_name, const char* text)
{
    DWORD size = (DWORD)strlen(text) + 1;
    return RegSetValueExA(key, value_name, 0, REG_SZ, (const BYTE*)text, size) == ERROR_SUCCESS;
}

HKEY reg_create_key(HKEY parent, const char* subkey_path, const char* default_text)
{
    char empty_class[1] = {0};
    HKEY key = 0;
    DWORD disposition = 0;
    if (RegCreateKeyExA(parent, subkey_path, 0, empty_class, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, 0, &key, &disposition) != ERROR_SUCCESS)
        return 0;
    if (default_text)
        reg_set_string(key, 0, default_text);
    return key;
}

static HKEY open_key(HKEY parent, const char* subkey_path, REGSAM access)
{
    HKEY key = 0;
    if (RegOpenKeyExA(parent, subkey_path, 0, access, &key) != ERROR_SUCCESS)
        return 0;
    return key;
}

HKEY reg_open_key_full(HKEY parent, const char* subkey_path)
{
    return open_key(parent, subkey_path, KEY_ALL_ACCESS);
}

HKEY reg_open_key_read(HKEY parent, const char* subkey_path)
{
    return open_key(parent, subkey_path, KEY_READ);
}

bool reg_query_subkey_count(HKEY key, DWORD* count)
{
    if (RegQueryInfoKeyA(key, 0, 0, 0, count, 0, 0, 0, 0, 0, 0, 0) == ERROR_SUCCESS)
        return true;
    *count = 0;
    return false;
}

bool reg_query_value_count(HKEY key, DWORD* count)
{
    if (RegQueryInfoKeyA(key, 0, 0, 0, 0, 0, 0, count, 0, 0, 0, 0) == ERROR_SUCCESS)
        return true;
    *count = 0;
    return false;
}

DWORD reg_count_subkeys(HKEY key)
{
    DWORD count;
    reg_query_subkey_count(key, &count);
    return count;
}

DWORD reg_count_values(HKEY key)
{
    DWORD count;
    reg_query_value_count(key, &count);
    return count;
}

bool reg_delete_tree(HKEY parent, const char* subkey_name)
{
    if (!subkey_name || !subkey_name[0])
        return false;
    // Our own copy: the caller may pass enum_subkey_name, which the walk below overwrites.
    char name[MAX_PATH];
    size_t length = strlen(subkey_name);
    if (length >= sizeof name)
        return false;
    memcpy(name, subkey_name, length + 1);

    HKEY key = reg_open_key_full(parent, name);
    if (!key)
        return false;
    bool result = true;
    for (DWORD index = reg_count_subkeys(key); index > 0; index--) {
        if (reg_enum_subkey(key, index - 1) != reg_result::read) {
            result = false;
            continue;
        }
        char child[MAX_PATH];
        memcpy(child, registry_layer.enum_subkey_name, sizeof child);
        if (!reg_delete_tree(key, child))
            result = false;
    }
    RegCloseKey(key);
    return reg_delete_key(parent, name) && result;
}

bool reg_delete_key(HKEY parent, const char* subkey_path)
{
    return RegDeleteKeyA(parent, subkey_path) == ERROR_SUCCESS;
}

// The one place where a status code of a read becomes a reg_result.
static reg_result read_result(LONG status)
{
    switch (status) {
    case ERROR_SUCCESS: return reg_result::read;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_NO_MORE_ITEMS: return reg_result::missing;
    case ERROR_MORE_DATA: return reg_result::unfit;
    default: return reg_result::failed;
    }
}

reg_result reg_enum_subkey(HKEY key, DWORD index)
{
    DWORD length = MAX_PATH;
    return read_result(
        RegEnumKeyExA(key, index, registry_layer.enum_subkey_name, &length, 0, 0, 0, 0));
}

reg_result reg_enum_value(HKEY key, DWORD index)
{
    memset(registry_layer.enum_value_name, 0, sizeof registry_layer.enum_value_name);
    memset(registry_layer.enum_value_data, 0, sizeof registry_layer.enum_value_data);
    DWORD name_length = MAX_PATH;
    DWORD data_size = MAX_PATH;
    DWORD type = 0;
    reg_result result = read_result(RegEnumValueA(key, index, registry_layer.enum_value_name,
                                                  &name_length, 0, &type,
                                                  registry_layer.enum_value_data, &data_size));
    // The data are used as text whatever their type: data that fill the whole buffer without
    // a terminating zero (binary data, or a string stored without its zero) are not text.
    if (result == reg_result::read &&
        !memchr(registry_layer.enum_value_data, 0, sizeof registry_layer.enum_value_data)) {
        memset(registry_layer.enum_value_data, 0, sizeof registry_layer.enum_value_data);
        return reg_result::unfit;
    }
    return result;
}

reg_result reg_open_existing_key(HKEY parent, const char* subkey_path, HKEY* key)
{
    *key = 0;
    reg_result result = read_result(RegOpenKeyExA(parent, subkey_path, 0, KEY_ALL_ACCESS, key));
    if (result != reg_result::read)
        *key = 0;
    return result == reg_result::unfit ? reg_result::failed : result;
}

reg_result reg_query_string(HKEY key, const char* value_name, char* text, DWORD size)
{
    memset(text, 0, size);
    DWORD type = 0;
    DWORD data_size = size;
    reg_result result = read_result(RegQueryValueExA(key, value_name, 0, &type, (BYTE*)text, &data_size));
    // Text ends within the buffer; anything else (binary data, or text without room for its
    // terminating zero) is not text the caller can use.
    if (result == reg_result::read && (type != REG_SZ || !memchr(text, 0, size))) {
        memset(text, 0, size);
        return reg_result::unfit;
    }
    return result;
}

reg_result reg_query_value_presence(HKEY key, const char* value_name)
{
    return read_result(RegQueryValueExA(key, value_name, 0, 0, 0, 0));
}

reg_result reg_enum_value_name(HKEY key, DWORD index, char* name, DWORD size)
{
    memset(name, 0, size);
    DWORD length = size;
    return read_result(RegEnumValueA(key, index, name, &length, 0, 0, 0, 0));
}

bool reg_delete_value(HKEY key, const char* value_name)
{
    LONG status = RegDeleteValueA(key, value_name);
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

// The value's name in UTF-16, as the wide calls take it; false when it does not fit.
static bool wide_value_name(WCHAR* wide, const char* value_name)
{
    return MultiByteToWideChar(CP_ACP, 0, value_name, -1, wide, MAX_PATH) != 0;
}

reg_result reg_query_wide_list(HKEY key, const char* value_name, WCHAR** list, DWORD* size)
{
    *list = 0;
    *size = 0;
    WCHAR name[MAX_PATH];
    if (!wide_value_name(name, value_name))
        return reg_result::failed;
    // The list may grow between the two calls: read again while it does not fit.
    for (;;) {
        DWORD type = 0;
        DWORD bytes = 0;
        reg_result result = read_result(RegQueryValueExW(key, name, 0, &type, 0, &bytes));
        if (result != reg_result::read)
            return result;
        if (type != REG_MULTI_SZ)
            return reg_result::unfit;
        // Room for four more zeros: data that lack their terminating ones still end, also when a
        // caller ends the last text and the list after them.
        BYTE* data = (BYTE*)calloc(bytes + 4 * sizeof(WCHAR), 1);
        if (!data)
            return reg_result::failed;
        DWORD got = bytes;
        result = read_result(RegQueryValueExW(key, name, 0, &type, data, &got));
        if (result == reg_result::read && type == REG_MULTI_SZ) {
            *list = (WCHAR*)data;
            *size = got / sizeof(WCHAR);
            return result;
        }
        free(data);
        if (result != reg_result::unfit)
            return result == reg_result::read ? reg_result::unfit : result;
    }
}

bool reg_set_wide_list(HKEY key, const char* value_name, const WCHAR* list, DWORD size)
{
    WCHAR name[MAX_PATH];
    return wide_value_name(name, value_name) &&
           RegSetValueExW(key, name, 0, REG_MULTI_SZ, (const BYTE*)list,
                          size * (DWORD)sizeof(WCHAR)) == ERROR_SUCCESS;
}
