// The program-wide picture of the user's layout lists and the German layout keys, and its scan.
#pragma once

#include <windows.h>

#define LAYOUT_LIST_CAPACITY 100
#define ERROR_TEXT_SIZE 1000
#define LAYOUT_NAME_SIZE 20
// The bits of a Layout Id that go into the handle of the loaded layout (0xF000 plus them).
#define LAYOUT_ID_HANDLE_BITS 0xfffu

#define PRELOAD_PATH "Keyboard Layout\\Preload"
#define SUBSTITUTES_PATH "Keyboard Layout\\Substitutes"
#define KEYBOARD_LAYOUTS_PATH "System\\CurrentControlSet\\Control\\Keyboard Layouts"
#define LAYOUT_FILE_VALUE "Layout File"
#define LAYOUT_TEXT_VALUE "Layout Text"
#define LAYOUT_ID_VALUE "Layout Id"

// Texts are copies in the inventory's text store; null means absent.
struct preload_entry {
    const char* name;
    const char* data;
    const char* substitute;
    LONG number;
    bool canonical;
    bool standard;
    LONG new_number;
    const char* new_data;
};

struct substitute_entry {
    const char* name;
    const char* data;
};

struct layout_key_entry {
    const char* key_name;
    const char* layout_text;
    const char* layout_file;
    const char* layout_id_text;
    LONG layout_id_value;
    LONG key_number;
};

// Room for every text one run can copy: each list record's texts at their longest.
#define INVENTORY_TEXT_STORE_SIZE (LAYOUT_LIST_CAPACITY * MAX_PATH * 16)

struct layout_inventory_state {
    preload_entry preload_list[LAYOUT_LIST_CAPACITY];
    int preload_count;
    substitute_entry substitute_list[LAYOUT_LIST_CAPACITY];
    int substitute_count;
    layout_key_entry layout_key_list[LAYOUT_LIST_CAPACITY];
    int layout_key_count;
    preload_entry new_preload_list[LAYOUT_LIST_CAPACITY];
    int newpreloadcount;
    substitute_entry new_substitute_list[LAYOUT_LIST_CAPACITY];
    int newsubstitutecount;
    char target_key_name[MAX_PATH];
    char own_layout_file[MAX_PATH];
    int target_key_index;
    int own_layout_index;
    bool own_layout_in_use;
    LONG max_key_number;
    LONG max_layout_id;
    char layout_key_name[LAYOUT_NAME_SIZE];
    char layout_id_text[LAYOUT_NAME_SIZE];
    bool layout_not_listed;
    bool preload_unchanged;
    bool keep_substitutes;
    bool preload_rewritten;
    char error_text[ERROR_TEXT_SIZE];

    // The low twelve bits of every Layout Id that some key below Keyboard Layouts uses,
    // German family or not, one bit each: Windows tells loaded layouts apart by these bits
    // alone, so a new id must differ from every other in them.
    unsigned char layout_ids_in_use[(LAYOUT_ID_HANDLE_BITS + 1) / 8];

    char text_store[INVENTORY_TEXT_STORE_SIZE];
    size_t text_store_used;
};
extern layout_inventory_state layout_inventory;

// Start state: empty lists, both indexes -1, every flag false.
void reset_layout_inventory();

bool scan_layout_inventory();
// Takes the key at `position` of layout_key_list for the product's own, as the scan does for
// the key whose Layout File names own_layout_file, and finds whether the user's lists hold it.
void adopt_own_layout(int position);

bool is_standard_layout_name(const char* text);
// A key name of the German family: eight characters, of which 5 to 8 are 0407, 0807, 0C07 or
// 1407, in any case.
bool is_german_family_name(const char* name);
// The key name of the standard German layout.
#define GERMAN_STANDARD_LAYOUT "00000407"
bool names_equal_nocase(const char* a, const char* b);
LONG parse_hex(const char* text);
LONG parse_decimal(const char* text);

// Substitution names "d%03x" + four characters: a running number, then the input language that
// Windows gives the layout of the Preload entry naming it.
#define PRODUCT_LANGUAGE "0407"
// The language of a substitution name that a new one replaces: its last four characters, or
// the product's language when it has fewer.
const char* substitution_language(const char* name);
// "d%03x" of number followed by language, into out (LAYOUT_NAME_SIZE bytes).
void format_substitution_name(char* out, unsigned int number, const char* language);
// Whether two names are substitution names of the same running number, whatever their
// languages: the same length, and the same characters before the last four.
bool same_substitution_number(const char* a, const char* b);

// A copy of text in the inventory's text store (null for null); null when the store is full.
const char* inventory_copy_text(const char* text);
// Formats into error_text, or into out (size bytes), with the platform's wvsprintfA rules.
void set_error_text(const char* format, ...);
void format_layout_text(char* out, size_t size, const char* format, ...);
