// The journal of a list change as one text: "P:" the planned Preload values, "|S:" the planned Substitutes values, "|D:" the layout the change removes.
#include "layout_registry/list_rewrite.h"

#include <string.h>

// Values are written name=data, separated by ';'. Bytes that would end a field (% = ; |) and
// control characters are written as %XX, so that any name or data survives the trip.
static bool needs_escape(unsigned char c)
{
    return c < 0x20 || c == '%' || c == '=' || c == ';' || c == '|';
}

struct journal_writer {
    char* text;
    size_t size;
    size_t used;
    bool fits;
};

static void put_char(journal_writer* out, char c)
{
    if (out->used + 1 >= out->size) {
        out->fits = false;
        return;
    }
    out->text[out->used++] = c;
    out->text[out->used] = 0;
}

static void put_raw(journal_writer* out, const char* text)
{
    for (; *text; text++)
        put_char(out, *text);
}

static void put_escaped(journal_writer* out, const char* text)
{
    static const char digits[] = "0123456789ABCDEF";
    for (const unsigned char* c = (const unsigned char*)text; *c; c++) {
        if (!needs_escape(*c)) {
            put_char(out, (char)*c);
            continue;
        }
        put_char(out, '%');
        put_char(out, digits[*c >> 4]);
        put_char(out, digits[*c & 15]);
    }
}

static void put_value(journal_writer* out, bool first, const char* name, const char* data)
{
    if (!first)
        put_char(out, ';');
    put_escaped(out, name);
    put_char(out, '=');
    put_escaped(out, data ? data : "");
}

bool encode_list_journal(char* text, size_t size)
{
    journal_writer out = {text, size, 0, size > 0};
    if (size > 0)
        text[0] = 0;
    put_raw(&out, "P:");
    for (int i = 0; i < layout_inventory.newpreloadcount; i++) {
        const preload_entry* record = &layout_inventory.new_preload_list[i];
        put_value(&out, i == 0, record->name, record->data);
    }
    if (!layout_inventory.keep_substitutes) {
        put_raw(&out, "|S:");
        for (int i = 0; i < layout_inventory.newsubstitutecount; i++) {
            const substitute_entry* record = &layout_inventory.new_substitute_list[i];
            put_value(&out, i == 0, record->name, record->data);
        }
    }
    if (list_rewrite.removed_layout[0]) {
        put_raw(&out, "|D:");
        put_escaped(&out, list_rewrite.removed_layout);
    }
    return out.fits;
}

static int hex_digit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Reads one field up to (not including) one of `ends` or the end of the text, unescaped, into
// `field` (MAX_PATH bytes). False for a field that is malformed or too long.
static bool read_field(const char** at, const char* ends, char* field)
{
    size_t length = 0;
    const char* c = *at;
    for (; *c && !strchr(ends, *c); c++) {
        char value = *c;
        if (value == '%') {
            int high = hex_digit(c[1]);
            int low = high < 0 ? -1 : hex_digit(c[2]);
            if (low < 0)
                return false;
            value = (char)(high * 16 + low);
            c += 2;
        } else if (needs_escape((unsigned char)value)) {
            return false;
        }
        if (value == 0 || length + 1 >= MAX_PATH)
            return false;
        field[length++] = value;
    }
    field[length] = 0;
    *at = c;
    return true;
}

// Reads "name=data;name=data..." up to '|' or the end; each pair goes to `take`.
typedef bool (*journal_value_taker)(const char* name, const char* data);

static bool decode_values(const char** at, journal_value_taker take)
{
    if (**at == '|' || **at == 0)
        return true;
    for (;;) {
        char name[MAX_PATH], data[MAX_PATH];
        if (!read_field(at, "=;|", name) || **at != '=')
            return false;
        (*at)++;
        if (!read_field(at, "=;|", data) || **at == '=' || !take(name, data))
            return false;
        if (**at != ';')
            return true;
        (*at)++;
    }
}

bool add_planned_preload_value(const char* name, const char* data)
{
    if (layout_inventory.newpreloadcount >= LAYOUT_LIST_CAPACITY)
        return false;
    preload_entry* record = &layout_inventory.new_preload_list[layout_inventory.newpreloadcount];
    memset(record, 0, sizeof *record);
    record->name = inventory_copy_text(name);
    record->data = inventory_copy_text(data);
    record->number = parse_decimal(name);
    if (!record->name || !record->data)
        return false;
    layout_inventory.newpreloadcount++;
    return true;
}

bool add_planned_substitute_value(const char* name, const char* data)
{
    if (layout_inventory.newsubstitutecount >= LAYOUT_LIST_CAPACITY)
        return false;
    substitute_entry* record =
        &layout_inventory.new_substitute_list[layout_inventory.newsubstitutecount];
    record->name = inventory_copy_text(name);
    record->data = inventory_copy_text(data);
    if (!record->name || !record->data)
        return false;
    layout_inventory.newsubstitutecount++;
    return true;
}

bool decode_list_journal(const char* text)
{
    layout_inventory.newpreloadcount = 0;
    layout_inventory.newsubstitutecount = 0;
    layout_inventory.keep_substitutes = true;
    list_rewrite.removed_layout[0] = 0;
    if (strncmp(text, "P:", 2) != 0)
        return false;
    const char* at = text + 2;
    if (!decode_values(&at, add_planned_preload_value) || layout_inventory.newpreloadcount == 0)
        return false;
    if (strncmp(at, "|S:", 3) == 0) {
        at += 3;
        layout_inventory.keep_substitutes = false;
        if (!decode_values(&at, add_planned_substitute_value))
            return false;
    }
    if (strncmp(at, "|D:", 3) == 0) {
        at += 3;
        if (!read_field(&at, "=;|", list_rewrite.removed_layout))
            return false;
    }
    return *at == 0;
}
