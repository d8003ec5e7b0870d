// Reads the user's Preload and Substitutes lists and the German layout keys into the inventory.
#include "layout_registry/layout_inventory.h"

#include <stdarg.h>
#include <string.h>

#include "frame/messages.h"
#include "frame/shell_user.h"
#include "layout_registry/registry_access.h"

layout_inventory_state layout_inventory;

// Preload needs one free record for the installer's own entry.
#define PRELOAD_SCAN_LIMIT (LAYOUT_LIST_CAPACITY - 1)

void reset_layout_inventory()
{
    memset(&layout_inventory, 0, sizeof layout_inventory);
    layout_inventory.target_key_index = -1;
    layout_inventory.own_layout_index = -1;
}

void set_error_text(const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    format_plain(layout_inventory.error_text, sizeof layout_inventory.error_text, format,
                   arguments);
    va_end(arguments);
}

void format_layout_text(char* out, size_t size, const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    format_plain(out, size, format, arguments);
    va_end(arguments);
}

const char* inventory_copy_text(const char* text)
{
    if (!text)
        return 0;
    size_t size = strlen(text) + 1;
    if (size > sizeof layout_inventory.text_store - layout_inventory.text_store_used)
        return 0;
    char* copy = layout_inventory.text_store + layout_inventory.text_store_used;
    memcpy(copy, text, size);
    layout_inventory.text_store_used += size;
    return copy;
}

bool is_standard_layout_name(const char* text)
{
    return text && strlen(text) == 8 && strncmp(text, "00000", 5) == 0;
}

static char ascii_upper(char c)
{
    return (c >= 'a' && c <= 'z') ? (char)(c - 'a' + 'A') : c;
}

bool names_equal_nocase(const char* a, const char* b)
{
    if (!a || !b)
        return !a && !b;
    for (; *a && *b; a++, b++) {
        if (ascii_upper(*a) != ascii_upper(*b))
            return false;
    }
    return *a == *b;
}

// The numbers wrap as unsigned 32-bit values and are then read as signed, as Windows would.
static LONG as_signed(DWORD value)
{
    return (LONG)value;
}

LONG parse_hex(const char* text)
{
    if (!text)
        return 0;
    DWORD value = 0;
    for (; *text; text++) {
        char c = *text;
        DWORD digit = 0;
        if (c >= '0' && c <= '9')
            digit = (DWORD)(c - '0');
        else if (c >= 'A' && c <= 'F')
            digit = (DWORD)(c - 'A' + 10);
        else if (c >= 'a' && c <= 'f')
            digit = (DWORD)(c - 'a' + 10);
        value = value * 16u + digit;
    }
    return as_signed(value);
}

LONG parse_decimal(const char* text)
{
    if (!text)
        return 0;
    while (*text == ' ')
        text++;
    bool negative = false;
    if (*text == '-') {
        negative = true;
        text++;
    }
    DWORD value = 0;
    for (; *text; text++) {
        if (*text >= '0' && *text <= '9')
            value = value * 10u + (DWORD)(*text - '0');
    }
    return as_signed(negative ? 0u - value : value);
}

const char* substitution_language(const char* name)
{
    size_t length = name ? strlen(name) : 0;
    return length >= 4 ? name + length - 4 : PRODUCT_LANGUAGE;
}

void format_substitution_name(char* out, unsigned int number, const char* language)
{
    format_layout_text(out, LAYOUT_NAME_SIZE, "d%03x%s", number, language);
}

bool same_substitution_number(const char* a, const char* b)
{
    if (!a || !b)
        return false;
    size_t length = strlen(a);
    if (length <= 4 || strlen(b) != length)
        return false;
    for (size_t i = 0; i < length - 4; i++) {
        if (ascii_upper(a[i]) != ascii_upper(b[i]))
            return false;
    }
    return true;
}

static bool is_canonical_number(const char* name, LONG number)
{
    char printed[16];
    format_layout_text(printed, sizeof printed, "%d", (int)number);
    return strcmp(printed, name) == 0;
}

bool is_german_family_name(const char* name)
{
    if (!name || strlen(name) != 8)
        return false;
    char language[5];
    memcpy(language, name + 4, 4);
    language[4] = 0;
    return names_equal_nocase(language, "0407") || names_equal_nocase(language, "0807") ||
           names_equal_nocase(language, "0C07") || names_equal_nocase(language, "1407");
}

// Windows forms a loaded layout's handle from the low twelve bits of its Layout Id, so ids
// that agree there load as the same layout: an id is noted by those bits.
static void mark_layout_id_in_use(LONG id)
{
    DWORD bits = (DWORD)id & LAYOUT_ID_HANDLE_BITS;
    layout_inventory.layout_ids_in_use[bits / 8] |= (unsigned char)(1u << (bits % 8));
}

static bool text_store_full()
{
    set_error_text("INTERNER FEHLER: Textspeicher der Tastaturbelegungs-Inventur ist voll");
    return false;
}

// Copies the current enumeration name and data; false (with error_text) when out of room.
static bool copy_enumerated_value(const char** name, const char** data)
{
    *name = inventory_copy_text(registry_layer.enum_value_name);
    *data = inventory_copy_text((const char*)registry_layer.enum_value_data);
    return (*name && *data) || text_store_full();
}

// Keeps one enumerated value of a user's list as its next record; false when out of room.
typedef bool (*list_value_taker)();

static bool take_preload_value()
{
    preload_entry* entry = &layout_inventory.preload_list[layout_inventory.preload_count];
    if (!copy_enumerated_value(&entry->name, &entry->data))
        return false;
    entry->number = parse_decimal(entry->name);
    entry->canonical = is_canonical_number(entry->name, entry->number);
    return true;
}

// A Substitutes value also gives every Preload entry whose data is its name that substitute:
// Windows looks value names up without regard to case, and resolves each Preload value.
static bool take_substitute_value()
{
    substitute_entry* entry = &layout_inventory.substitute_list[layout_inventory.substitute_count];
    if (!copy_enumerated_value(&entry->name, &entry->data))
        return false;
    for (int i = 0; i < layout_inventory.preload_count; i++) {
        preload_entry* preload = &layout_inventory.preload_list[i];
        if (names_equal_nocase(preload->data, entry->name)) {
            preload->substitute = inventory_copy_text(entry->data);
            if (!preload->substitute)
                return text_store_full();
        }
    }
    return true;
}

// Reads the values of one of the user's lists (below shell_user.settings) into at most `limit`
// records. Values that do not fit the buffers (a name of 260 characters or more, data that are
// no text of up to 259 bytes) are passed over; any other failed read fails the scan, since the
// rewrite would drop the entries not read.
static bool scan_user_list(const char* path, int limit, int* count, list_value_taker take)
{
    HKEY key = reg_open_key_read(shell_user.settings, path);
    if (!key) {
        set_error_text("Fehler beim Öffnen des Registry-Keys %s\\%s", shell_user.root_name,
                       path);
        return false;
    }
    DWORD values = 0;
    bool ok = reg_query_value_count(key, &values);
    for (DWORD index = 0; ok && index < values; index++) {
        reg_result read = reg_enum_value(key, index);
        if (read != reg_result::read) {
            ok = read == reg_result::unfit;
            continue;
        }
        if (*count >= limit) {
            set_error_text("Zu viele Einträge in %s\\%s (höchstens %d)", shell_user.root_name,
                           path, limit);
            RegCloseKey(key);
            return false;
        }
        if (!take()) {
            RegCloseKey(key);
            return false;
        }
        (*count)++;
    }
    RegCloseKey(key);
    if (!ok)
        set_error_text("Fehler beim Lesen des Registry-Keys %s\\%s", shell_user.root_name,
                       path);
    return ok;
}

// Reads the values of one opened German-family key into its record; false (with error_text)
// when the key cannot be read completely or the text store is full.
static bool read_layout_key_values(HKEY key, layout_key_entry* entry, int position)
{
    DWORD count = 0;
    bool complete = reg_query_value_count(key, &count);
    for (DWORD index = 0; complete && index < count; index++) {
        reg_result read = reg_enum_value(key, index);
        if (read != reg_result::read) {
            complete = read == reg_result::unfit;
            continue;
        }
        const char* name = registry_layer.enum_value_name;
        const char** target = 0;
        if (strcmp(name, LAYOUT_FILE_VALUE) == 0)
            target = &entry->layout_file;
        else if (strcmp(name, LAYOUT_TEXT_VALUE) == 0)
            target = &entry->layout_text;
        else if (strcmp(name, LAYOUT_ID_VALUE) == 0)
            target = &entry->layout_id_text;
        else
            continue;
        *target = inventory_copy_text((const char*)registry_layer.enum_value_data);
        if (!*target)
            return text_store_full();
        if (target == &entry->layout_file &&
            names_equal_nocase(entry->layout_file, layout_inventory.own_layout_file))
            layout_inventory.own_layout_index = position;
        if (target == &entry->layout_id_text) {
            entry->layout_id_value = parse_hex(entry->layout_id_text);
            if (entry->layout_id_value > layout_inventory.max_layout_id)
                layout_inventory.max_layout_id = entry->layout_id_value;
            mark_layout_id_in_use(entry->layout_id_value);
        }
    }
    if (!complete)
        set_error_text("Fehler beim Lesen des Registry-Subkeys %s - %s", KEYBOARD_LAYOUTS_PATH,
                       entry->key_name);
    return complete;
}

// A key outside the German family only contributes its Layout Id to the ids in use;
// a key that cannot be read is passed over.
static void note_other_layout_id(HKEY layouts, const char* key_name)
{
    HKEY key = reg_open_key_read(layouts, key_name);
    if (!key)
        return;
    DWORD count = reg_count_values(key);
    for (DWORD index = 0; index < count; index++) {
        if (reg_enum_value(key, index) == reg_result::read &&
            strcmp(registry_layer.enum_value_name, LAYOUT_ID_VALUE) == 0)
            mark_layout_id_in_use(parse_hex((const char*)registry_layer.enum_value_data));
    }
    RegCloseKey(key);
}

static bool scan_layout_key(HKEY layouts, const char* key_name)
{
    if (layout_inventory.layout_key_count >= LAYOUT_LIST_CAPACITY) {
        set_error_text("Zu viele deutsche Tastaturbelegungen in HKEY_LOCAL_MACHINE\\%s "
                       "(höchstens %d)", KEYBOARD_LAYOUTS_PATH, LAYOUT_LIST_CAPACITY);
        return false;
    }
    int position = layout_inventory.layout_key_count;
    layout_key_entry* entry = &layout_inventory.layout_key_list[position];

    char number_digits[4];
    memcpy(number_digits, key_name + 1, 3);
    number_digits[3] = 0;
    entry->key_number = parse_hex(number_digits);
    if (entry->key_number > layout_inventory.max_key_number)
        layout_inventory.max_key_number = entry->key_number;
    if (names_equal_nocase(layout_inventory.target_key_name, key_name))
        layout_inventory.target_key_index = position;
    entry->key_name = inventory_copy_text(key_name);
    if (!entry->key_name)
        return text_store_full();

    HKEY key = reg_open_key_read(layouts, key_name);
    if (!key) {
        set_error_text("Fehler beim Öffnen des Registry-Subkeys %s - %s", KEYBOARD_LAYOUTS_PATH,
                       key_name);
        return false;
    }
    bool ok = read_layout_key_values(key, entry, position);
    RegCloseKey(key);
    if (ok)
        layout_inventory.layout_key_count++;
    return ok;
}

static bool scan_layout_keys()
{
    HKEY layouts = reg_open_key_read(HKEY_LOCAL_MACHINE, KEYBOARD_LAYOUTS_PATH);
    if (!layouts) {
        set_error_text("Fehler beim Öffnen des Registry-Keys HKEY_LOCAL_MACHINE\\%s",
                       KEYBOARD_LAYOUTS_PATH);
        return false;
    }
    // Every key must be seen: a German-family key passed over could be this product's own
    // registration, or hold the key number or Layout Id that the installer would take next.
    DWORD count = 0;
    bool complete = reg_query_subkey_count(layouts, &count);
    bool ok = complete;
    for (DWORD index = 0; ok && index < count; index++) {
        reg_result read = reg_enum_subkey(layouts, index);
        if (read != reg_result::read) {
            ok = complete = read == reg_result::unfit;
            continue;
        }
        // Value enumerations below leave enum_subkey_name alone, but a copy keeps that obvious.
        char key_name[MAX_PATH];
        memcpy(key_name, registry_layer.enum_subkey_name, sizeof key_name);
        if (is_german_family_name(key_name))
            ok = scan_layout_key(layouts, key_name);
        else
            note_other_layout_id(layouts, key_name);
    }
    RegCloseKey(layouts);
    if (!complete)
        set_error_text("Fehler beim Lesen des Registry-Keys HKEY_LOCAL_MACHINE\\%s",
                       KEYBOARD_LAYOUTS_PATH);
    return ok;
}

static void find_own_layout_in_use()
{
    if (layout_inventory.own_layout_index == -1)
        return;
    const char* key_name = layout_inventory.layout_key_list[layout_inventory.own_layout_index].key_name;
    for (int i = 0; i < layout_inventory.preload_count; i++) {
        if (names_equal_nocase(key_name, layout_inventory.preload_list[i].data)) {
            layout_inventory.own_layout_in_use = true;
            return;
        }
    }
    for (int i = 0; i < layout_inventory.substitute_count; i++) {
        if (names_equal_nocase(key_name, layout_inventory.substitute_list[i].data)) {
            layout_inventory.own_layout_in_use = true;
            return;
        }
    }
}

void adopt_own_layout(int position)
{
    layout_inventory.own_layout_index = position;
    layout_inventory.own_layout_in_use = false;
    find_own_layout_in_use();
}

bool scan_layout_inventory()
{
    memset(layout_inventory.preload_list, 0, sizeof layout_inventory.preload_list);
    memset(layout_inventory.new_preload_list, 0, sizeof layout_inventory.new_preload_list);
    memset(layout_inventory.substitute_list, 0, sizeof layout_inventory.substitute_list);
    memset(layout_inventory.new_substitute_list, 0, sizeof layout_inventory.new_substitute_list);
    memset(layout_inventory.layout_key_list, 0, sizeof layout_inventory.layout_key_list);
    memset(layout_inventory.layout_ids_in_use, 0, sizeof layout_inventory.layout_ids_in_use);
    layout_inventory.preload_count = 0;
    layout_inventory.substitute_count = 0;
    layout_inventory.layout_key_count = 0;
    layout_inventory.newpreloadcount = 0;
    layout_inventory.newsubstitutecount = 0;
    layout_inventory.text_store_used = 0;
    // The program's state starts zeroed; the scan gives the indexes and the findings their
    // start values itself.
    layout_inventory.target_key_index = -1;
    layout_inventory.own_layout_index = -1;
    layout_inventory.own_layout_in_use = false;
    layout_inventory.max_key_number = 0;
    layout_inventory.max_layout_id = 0;

    if (!scan_user_list(PRELOAD_PATH, PRELOAD_SCAN_LIMIT, &layout_inventory.preload_count,
                        take_preload_value) ||
        !scan_user_list(SUBSTITUTES_PATH, LAYOUT_LIST_CAPACITY, &layout_inventory.substitute_count,
                        take_substitute_value) ||
        !scan_layout_keys())
        return false;
    find_own_layout_in_use();
    return true;
}
