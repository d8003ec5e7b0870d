// Writes the planned lists into the user's Preload and Substitutes keys value by value, so that a stop at any point loses no layout, and finishes a change that an earlier run did not complete.
#include "layout_registry/layout_plans.h"

#include <string.h>

#include "layout_registry/list_rewrite.h"
#include "layout_registry/registry_access.h"

#define KEYBOARD_LAYOUT_KEY "Keyboard Layout"
#define PRELOAD_KEY "Preload"
#define SUBSTITUTES_KEY "Substitutes"

list_rewrite_state list_rewrite;

void reset_list_rewrite()
{
    memset(&list_rewrite, 0, sizeof list_rewrite);
}

// Why the change goes the way it does. Windows finds a layout of the user through a Preload
// value, and through the Substitutes value its data names. Deleting and recreating the two
// keys would leave the user without layouts (or with a new Preload beside the old Substitutes,
// so that an old d-name names another layout) whenever a run is stopped in between. So:
//   1. every layout the user's values reach is written once more, under names that neither the
//      old nor the planned lists use (Substitutes stand-ins first, then the Preload values that
//      name them), so that from here on each layout is reachable without the old values;
//   2. the old values are deleted (Preload first, then Substitutes);
//   3. the planned values are written, Substitutes first, in the order of the plan;
//   4. the stand-ins are deleted, Preload first.
// After any single write every layout is reachable, and at the end the keys hold exactly the
// planned values in the planned order (the stand-ins came before them and are gone). The
// journal, written in one call before step 1 and removed after step 4, lets the next run carry
// a stopped change to the same end.

static const list_value* find_by_name(const list_values* list, const char* name)
{
    for (int i = 0; i < list->count; i++) {
        if (names_equal_nocase(list->values[i].name, name))
            return &list->values[i];
    }
    return 0;
}

static bool add_value(list_values* list, const char* name, const char* data)
{
    if (list->count >= LIST_VALUE_CAPACITY)
        return false;
    list_value* value = &list->values[list->count++];
    strcpy(value->name, name);
    strcpy(value->data, data);
    return true;
}

static void set_read_error(const char* key_name)
{
    set_error_text("Warnung:\nFehler beim Lesen des Registry-Keys HKEY_CURRENT_USER\\%s\\%s",
                   KEYBOARD_LAYOUT_KEY, key_name);
}

// The text values of one key, in enumeration order; values that are no text are left out, as
// the scan leaves them out. False (with error_text) when the key cannot be read completely.
static bool read_values(HKEY key, const char* key_name, list_values* list)
{
    list->count = 0;
    DWORD count;
    if (!reg_query_value_count(key, &count)) {
        set_read_error(key_name);
        return false;
    }
    for (DWORD index = 0; index < count; index++) {
        reg_result read = reg_enum_value(key, index);
        if (read == reg_result::read) {
            if (!add_value(list, registry_layer.enum_value_name,
                           (const char*)registry_layer.enum_value_data)) {
                set_error_text("Zu viele Einträge in HKEY_CURRENT_USER\\%s\\%s (höchstens %d)",
                               KEYBOARD_LAYOUT_KEY, key_name, LIST_VALUE_CAPACITY);
                return false;
            }
        } else if (read != reg_result::unfit) {
            set_read_error(key_name);
            return false;
        }
    }
    return true;
}

// The layout a Preload data names now: its Substitutes value's data, or the data itself.
static const char* reached_layout(const char* data)
{
    const list_value* substitute = find_by_name(&list_rewrite.substitutes, data);
    return substitute ? substitute->data : data;
}

// The data of the planned Substitutes value of that name (of the last one, which is written
// last), or null.
static const char* planned_substitute(const char* name)
{
    const char* data = 0;
    for (int i = 0; i < layout_inventory.newsubstitutecount; i++) {
        if (names_equal_nocase(layout_inventory.new_substitute_list[i].name, name))
            data = layout_inventory.new_substitute_list[i].data;
    }
    return data;
}

// Whether the planned lists reach `layout` (with the Substitutes as planned, or as they are
// when they stay).
static bool planned_lists_reach(const char* layout)
{
    for (int i = 0; i < layout_inventory.newpreloadcount; i++) {
        const char* data = layout_inventory.new_preload_list[i].data;
        const char* reached = data;
        if (layout_inventory.keep_substitutes) {
            reached = reached_layout(data);
        } else if (const char* substitute = planned_substitute(data)) {
            reached = substitute;
        }
        if (names_equal_nocase(reached, layout))
            return true;
    }
    return false;
}

static bool is_planned_preload_value(const list_value* value)
{
    for (int i = 0; i < layout_inventory.newpreloadcount; i++) {
        const preload_entry* record = &layout_inventory.new_preload_list[i];
        if (names_equal_nocase(record->name, value->name) &&
            names_equal_nocase(record->data, value->data))
            return true;
    }
    return false;
}

static bool planned_preload_name(const char* name)
{
    for (int i = 0; i < layout_inventory.newpreloadcount; i++) {
        if (names_equal_nocase(layout_inventory.new_preload_list[i].name, name))
            return true;
    }
    return false;
}

// A name that Preload data or Substitutes names use, now or in the plan: a new Substitutes
// value of that name would change what such data reach.
static bool substitution_name_used(const char* name)
{
    if (find_by_name(&list_rewrite.substitutes, name) ||
        find_by_name(&list_rewrite.substitute_stand_ins, name))
        return true;
    for (int i = 0; i < list_rewrite.preload.count; i++) {
        if (names_equal_nocase(list_rewrite.preload.values[i].data, name))
            return true;
    }
    for (int i = 0; i < layout_inventory.newpreloadcount; i++) {
        if (names_equal_nocase(layout_inventory.new_preload_list[i].data, name))
            return true;
    }
    return planned_substitute(name) != 0;
}

static bool preload_name_used(const char* name)
{
    return find_by_name(&list_rewrite.preload, name) ||
           find_by_name(&list_rewrite.preload_stand_ins, name) || planned_preload_name(name);
}

// The largest Preload number the plan holds (and, with after_current, the keys now).
static DWORD largest_preload_number(bool after_current)
{
    DWORD number = 0;
    for (int i = 0; after_current && i < list_rewrite.preload.count; i++) {
        LONG used = parse_decimal(list_rewrite.preload.values[i].name);
        if (used > 0 && (DWORD)used > number)
            number = (DWORD)used;
    }
    for (int i = 0; i < layout_inventory.newpreloadcount; i++) {
        LONG used = layout_inventory.new_preload_list[i].number;
        if (used > 0 && (DWORD)used > number)
            number = (DWORD)used;
    }
    return number;
}

// The next Preload name after *number that no value has, old, planned or new (only the
// planned ones count when `planned_only`); *number moves on to it.
static void free_preload_name(char* name, DWORD* number, bool planned_only)
{
    do {
        (*number)++;
        format_layout_text(name, MAX_PATH, "%lu", (unsigned long)*number);
    } while (planned_only ? planned_preload_name(name) : preload_name_used(name));
}

// The next substitution name "d%03x0407" after *d that nothing uses; *d moves on to it.
static void free_substitution_name(char* name, unsigned int* d)
{
    do {
        (*d)++;
        format_layout_text(name, MAX_PATH, "d%03x0407", *d);
    } while (substitution_name_used(name));
}

static bool stand_ins_full()
{
    set_error_text("INTERNER FEHLER: zu viele Ersatzeinträge für die Tastaturbelegungs-Listen!");
    return false;
}

// One stand-in per layout that the user's Preload values reach. With the Substitutes kept, a
// stand-in names the same data; otherwise a new Substitutes value names the layout itself.
static bool plan_stand_ins()
{
    DWORD number = largest_preload_number(true);
    unsigned int d = 0;
    for (int i = 0; i < list_rewrite.preload.count; i++) {
        const char* data = list_rewrite.preload.values[i].data;
        const char* layout = list_rewrite.reached[i];
        bool covered = false;
        for (int j = 0; j < i && !covered; j++)
            covered = names_equal_nocase(list_rewrite.reached[j], layout);
        if (covered)
            continue;
        char preload_name[MAX_PATH];
        free_preload_name(preload_name, &number, false);
        if (layout_inventory.keep_substitutes) {
            if (!add_value(&list_rewrite.preload_stand_ins, preload_name, data))
                return stand_ins_full();
            continue;
        }
        char substitution_name[MAX_PATH];
        free_substitution_name(substitution_name, &d);
        if (!add_value(&list_rewrite.substitute_stand_ins, substitution_name, layout) ||
            !add_value(&list_rewrite.preload_stand_ins, preload_name, substitution_name))
            return stand_ins_full();
    }
    return true;
}

// Layouts that the keys reach now but the plan does not, other than the one the change
// removes: the user has added them since the journal was written. They keep a place after the
// planned ones.
static bool keep_layouts_added_since()
{
    DWORD number = largest_preload_number(false);
    unsigned int d = 0;
    for (int i = 0; i < list_rewrite.preload.count; i++) {
        const char* data = list_rewrite.preload.values[i].data;
        const char* layout = list_rewrite.reached[i];
        // A planned value already in place is the plan's own, even while the Substitutes
        // value it names is still to be written.
        if (names_equal_nocase(layout, list_rewrite.removed_layout) || planned_lists_reach(layout) ||
            is_planned_preload_value(&list_rewrite.preload.values[i]))
            continue;
        char preload_name[MAX_PATH];
        free_preload_name(preload_name, &number, true);
        const char* kept_data = data;
        // Data that a Substitutes value names, now or in the plan, reach the layout through a
        // new substitution name; other data (a layout key itself) stay as they are.
        char substitution_name[MAX_PATH];
        bool substituted = find_by_name(&list_rewrite.substitutes, data) != 0;
        if (!layout_inventory.keep_substitutes && (substituted || planned_substitute(data))) {
            free_substitution_name(substitution_name, &d);
            if (!add_planned_substitute_value(substitution_name, layout))
                return stand_ins_full();
            kept_data = substitution_name;
        }
        if (!add_planned_preload_value(preload_name, kept_data))
            return stand_ins_full();
    }
    return true;
}

static bool write_value(HKEY key, const char* key_name, const char* name, const char* data)
{
    if (reg_set_string(key, name, data))
        return true;
    set_error_text("Warnung:\nFehler beim Schreiben in den Registry-Key %s - %s (Wert %s)",
                   KEYBOARD_LAYOUT_KEY, key_name, name);
    return false;
}

static bool write_values(HKEY key, const char* key_name, const list_values* list)
{
    for (int i = 0; i < list->count; i++) {
        if (!write_value(key, key_name, list->values[i].name, list->values[i].data))
            return false;
    }
    return true;
}

static bool delete_value(HKEY key, const char* key_name, const char* name)
{
    if (reg_delete_value(key, name))
        return true;
    set_error_text("Warnung:\nFehler beim Löschen aus dem Registry-Key %s - %s (Wert %s)",
                   KEYBOARD_LAYOUT_KEY, key_name, name);
    return false;
}

// Deletes every value of the key, of any name, that `kept` does not name; from the last
// index down, so that the indexes still to come stay where they are.
static bool delete_values_except(HKEY key, const char* key_name, const list_values* kept)
{
    DWORD count;
    if (!reg_query_value_count(key, &count)) {
        set_read_error(key_name);
        return false;
    }
    for (DWORD index = count; index > 0; index--) {
        char* name = list_rewrite.value_name;
        if (reg_enum_value_name(key, index - 1, name, sizeof list_rewrite.value_name) != reg_result::read) {
            set_read_error(key_name);
            return false;
        }
        if (!find_by_name(kept, name) && !delete_value(key, key_name, name))
            return false;
    }
    return true;
}

static bool delete_stand_ins(HKEY key, const char* key_name, const list_values* stand_ins)
{
    for (int i = 0; i < stand_ins->count; i++) {
        if (!delete_value(key, key_name, stand_ins->values[i].name))
            return false;
    }
    return true;
}

// The planned values; each is written even when one before it failed (the stand-ins still
// reach every layout then). Substitutes named by a standard layout come first.
static bool write_planned_values(HKEY preload, HKEY substitutes)
{
    bool written = true;
    for (int pass = 0; substitutes && pass < 2; pass++) {
        for (int i = 0; i < layout_inventory.newsubstitutecount; i++) {
            const substitute_entry* record = &layout_inventory.new_substitute_list[i];
            if (is_standard_layout_name(record->name) == (pass == 0))
                written = write_value(substitutes, SUBSTITUTES_KEY, record->name, record->data) &&
                          written;
        }
    }
    for (int i = 0; i < layout_inventory.newpreloadcount; i++) {
        const preload_entry* record = &layout_inventory.new_preload_list[i];
        written = write_value(preload, PRELOAD_KEY, record->name, record->data) && written;
    }
    layout_inventory.preload_rewritten = true;
    return written;
}

static HKEY open_list_key(const char* key_name)
{
    char path[MAX_PATH];
    format_layout_text(path, sizeof path, "%s\\%s", KEYBOARD_LAYOUT_KEY, key_name);
    HKEY key = reg_create_key(HKEY_CURRENT_USER, path, 0);
    if (!key)
        set_error_text("Warnung:\nFehler beim Öffnen des Registry-Keys HKEY_CURRENT_USER\\%s",
                       path);
    return key;
}

// Steps 1 to 4 on the two open keys (substitutes is null when that key stays as it is).
// `keep_added` first gives the layouts added since the journal a place in the plan.
static bool change_values(HKEY preload, HKEY substitutes, bool keep_added)
{
    if (!read_values(preload, PRELOAD_KEY, &list_rewrite.preload))
        return false;
    list_rewrite.substitutes.count = 0;
    HKEY substitutes_for_reading = substitutes;
    if (!substitutes_for_reading)
        substitutes_for_reading = reg_open_key_read(HKEY_CURRENT_USER, SUBSTITUTES_PATH);
    bool read = !substitutes_for_reading ||
                read_values(substitutes_for_reading, SUBSTITUTES_KEY, &list_rewrite.substitutes);
    if (substitutes_for_reading && substitutes_for_reading != substitutes)
        RegCloseKey(substitutes_for_reading);
    if (!read)
        return false;
    for (int i = 0; i < list_rewrite.preload.count; i++)
        list_rewrite.reached[i] = reached_layout(list_rewrite.preload.values[i].data);
    list_rewrite.preload_stand_ins.count = 0;
    list_rewrite.substitute_stand_ins.count = 0;
    if ((keep_added && !keep_layouts_added_since()) || !plan_stand_ins())
        return false;

    if (substitutes && !write_values(substitutes, SUBSTITUTES_KEY, &list_rewrite.substitute_stand_ins))
        return false;
    if (!write_values(preload, PRELOAD_KEY, &list_rewrite.preload_stand_ins))
        return false;
    if (!delete_values_except(preload, PRELOAD_KEY, &list_rewrite.preload_stand_ins))
        return false;
    if (substitutes &&
        !delete_values_except(substitutes, SUBSTITUTES_KEY, &list_rewrite.substitute_stand_ins))
        return false;
    if (!write_planned_values(preload, substitutes))
        return false;
    if (!delete_stand_ins(preload, PRELOAD_KEY, &list_rewrite.preload_stand_ins))
        return false;
    return !substitutes ||
           delete_stand_ins(substitutes, SUBSTITUTES_KEY, &list_rewrite.substitute_stand_ins);
}

static bool change_lists(bool keep_added)
{
    HKEY preload = open_list_key(PRELOAD_KEY);
    if (!preload)
        return false;
    bool changed = false;
    HKEY substitutes = layout_inventory.keep_substitutes ? 0 : open_list_key(SUBSTITUTES_KEY);
    if (layout_inventory.keep_substitutes || substitutes)
        changed = change_values(preload, substitutes, keep_added);
    if (substitutes)
        RegCloseKey(substitutes);
    RegCloseKey(preload);
    return changed;
}

// --- the journal ---

static void set_journal_error(const char* action)
{
    set_error_text("Warnung:\nFehler beim %s des Registry-Keys HKEY_CURRENT_USER\\%s",
                   action, LIST_JOURNAL_KEY_PATH);
}

// Deletes the journal's key when nothing is left in it: a run may have stopped between its
// creation and the journal's first write, or between the journal's removal and the key's.
static void remove_empty_journal_key()
{
    HKEY key;
    if (reg_open_existing_key(HKEY_CURRENT_USER, LIST_JOURNAL_KEY_PATH, &key) != reg_result::read)
        return;
    DWORD values = 1, subkeys = 1;
    bool empty = reg_query_value_count(key, &values) && reg_query_subkey_count(key, &subkeys) &&
                 values == 0 && subkeys == 0;
    RegCloseKey(key);
    if (empty)
        reg_delete_key(HKEY_CURRENT_USER, LIST_JOURNAL_KEY_PATH);
}

static bool write_journal()
{
    if (!encode_list_journal(list_rewrite.journal, sizeof list_rewrite.journal)) {
        set_error_text("INTERNER FEHLER: Journal der Tastaturbelegungs-Listen zu lang!");
        return false;
    }
    HKEY key = reg_create_key(HKEY_CURRENT_USER, LIST_JOURNAL_KEY_PATH, 0);
    if (!key) {
        set_journal_error("Erstellen");
        return false;
    }
    bool written = reg_set_string(key, LIST_JOURNAL_VALUE, list_rewrite.journal);
    RegCloseKey(key);
    if (!written) {
        set_journal_error("Schreiben");
        remove_empty_journal_key();
    }
    return written;
}

static bool remove_journal()
{
    HKEY key;
    reg_result opened = reg_open_existing_key(HKEY_CURRENT_USER, LIST_JOURNAL_KEY_PATH, &key);
    if (opened == reg_result::missing)
        return true;
    bool removed = opened == reg_result::read && reg_delete_value(key, LIST_JOURNAL_VALUE);
    if (key)
        RegCloseKey(key);
    if (!removed) {
        set_journal_error("Bereinigen");
        return false;
    }
    remove_empty_journal_key();
    return true;
}

// The layout that the planned lists no longer reach, for the journal: the uninstaller's. An
// update, which keeps the Substitutes, removes none.
static void note_removed_layout()
{
    list_rewrite.removed_layout[0] = 0;
    const char* target = layout_inventory.target_key_name;
    if (!layout_inventory.keep_substitutes && target[0] && !planned_lists_reach(target) &&
        strlen(target) < MAX_PATH)
        strcpy(list_rewrite.removed_layout, target);
}

bool write_preload_substitutes()
{
    if (layout_inventory.layout_not_listed || layout_inventory.preload_unchanged)
        return true;
    if (layout_inventory.newpreloadcount == 0) {
        set_error_text("INTERNER FEHLER: newpreloadcount ist 0!");
        return false;
    }
    layout_inventory.error_text[0] = 0;
    note_removed_layout();
    // The journal first: from its write on, a stopped run is finished by the next one. It is
    // removed only after the last value is in place; a change that fails keeps it.
    if (!write_journal() || !change_lists(false))
        return false;
    return remove_journal();
}

bool finish_interrupted_list_rewrite()
{
    layout_inventory.error_text[0] = 0;
    HKEY key;
    reg_result opened = reg_open_existing_key(HKEY_CURRENT_USER, LIST_JOURNAL_KEY_PATH, &key);
    if (opened == reg_result::missing)
        return true;
    if (opened != reg_result::read) {
        set_error_text("Fehler beim Öffnen des Registry-Keys HKEY_CURRENT_USER\\%s",
                       LIST_JOURNAL_KEY_PATH);
        return false;
    }
    reg_result read =
        reg_query_string(key, LIST_JOURNAL_VALUE, list_rewrite.journal, sizeof list_rewrite.journal);
    RegCloseKey(key);
    if (read == reg_result::failed) {
        set_error_text("Fehler beim Lesen des Registry-Keys HKEY_CURRENT_USER\\%s",
                       LIST_JOURNAL_KEY_PATH);
        return false;
    }
    bool planned = read == reg_result::read && decode_list_journal(list_rewrite.journal);
    bool finished = !planned || change_lists(true);
    // A journal that holds no plan (not ours, or damaged) cannot be carried out: it goes,
    // and the lists stay as they are, every layout in them reachable.
    bool removed = finished && remove_journal();
    layout_inventory.newpreloadcount = 0;
    layout_inventory.newsubstitutecount = 0;
    layout_inventory.keep_substitutes = false;
    layout_inventory.preload_rewritten = false;
    return finished && removed;
}
