// Writes the planned lists into the user's Preload and Substitutes keys value by value, so that after every single write Preload holds the places 1 to n and reaches every layout, and finishes a change that an earlier run did not complete.
#include "layout_registry/layout_plans.h"

#include <string.h>

#include "frame/shell_user.h"
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

// Why the change goes the way it does. Windows reads Preload by place, "1", "2", "3", ... up to
// the first place that is missing, and finds the layout of a place through the Substitutes value
// that its data names, or the data itself. Deleting and recreating the keys, or deleting a place
// in the middle, would leave the user without layouts (or with an old d-name naming another
// layout) whenever a run is stopped in between. So Preload changes only in three ways, each of
// which keeps the places 1 to n without a gap: a place gets new data (one write), a place is
// appended after the last one, the last place is deleted. And a Substitutes value is changed
// only while no Preload value needs it:
//   1. Substitutes stand-ins: each layout that a Preload value reaches through a name that the
//      change rewrites (a Substitutes name now or in the plan) once more, under a new name in
//      the language of the value's data;
//   2. those Preload values get their stand-ins' names, in place: from here on no Preload value
//      depends on a Substitutes value that the change rewrites;
//   3. appended after the places: first fillers for the planned places that do not exist yet,
//      then one copy of each distinct data the places hold, so that the copies alone reach
//      every layout while the places are rewritten;
//   4. Substitutes: every old value is deleted, then the planned ones are written (standard
//      names first), in the order of the plan;
//   5. the planned Preload values are written over their places, in the order of the plan;
//   6. the places beyond the plan are deleted, the last one first (then any other value that
//      the plan does not name);
//   7. the Substitutes stand-ins are deleted.
// After any single write Preload holds the places 1 to n and reaches every layout. At the end
// both keys hold exactly the planned values, Substitutes in the order of the plan and Preload in
// the order in which its places came into being (Windows reads them by name). The journal,
// written in one call before step 1 and removed after step 7, lets the next run carry a stopped
// change to the same end: it takes the keys as it finds them and goes through the same steps.

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
    set_error_text("Warnung:\nFehler beim Lesen des Registry-Keys %s\\%s\\%s",
                   shell_user.root_name, KEYBOARD_LAYOUT_KEY, key_name);
}

// The text values of one key, in enumeration order; values that are no text are left out, as
// the scan leaves them out, and *unread tells whether there were any. False (with error_text)
// when the key cannot be read completely.
static bool read_values(HKEY key, const char* key_name, list_values* list, bool* unread)
{
    list->count = 0;
    *unread = false;
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
                set_error_text("Zu viele Einträge in %s\\%s\\%s (höchstens %d)",
                               shell_user.root_name, KEYBOARD_LAYOUT_KEY, key_name,
                               LIST_VALUE_CAPACITY);
                return false;
            }
        } else if (read == reg_result::unfit) {
            *unread = true;
        } else {
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

// Whether a substitution name of the same running number as `name`, in any language, is in
// use now or in the plan: as Preload data, as a Substitutes value or as a stand-in. A new
// Substitutes value of a name in use would change what such data reach.
static bool substitution_number_used(const char* name)
{
    for (int i = 0; i < list_rewrite.preload.count; i++) {
        if (same_substitution_number(list_rewrite.preload.values[i].data, name))
            return true;
    }
    for (int i = 0; i < list_rewrite.substitutes.count; i++) {
        if (same_substitution_number(list_rewrite.substitutes.values[i].name, name))
            return true;
    }
    for (int i = 0; i < list_rewrite.substitute_stand_ins.count; i++) {
        if (same_substitution_number(list_rewrite.substitute_stand_ins.values[i].name, name))
            return true;
    }
    for (int i = 0; i < layout_inventory.newpreloadcount; i++) {
        if (same_substitution_number(layout_inventory.new_preload_list[i].data, name))
            return true;
    }
    for (int i = 0; i < layout_inventory.newsubstitutecount; i++) {
        if (same_substitution_number(layout_inventory.new_substitute_list[i].name, name))
            return true;
    }
    return false;
}

// The next substitution name after running number *d, in `language`, whose number nothing
// uses; *d moves on to it.
static void free_substitution_name(char* name, unsigned int* d, const char* language)
{
    do {
        (*d)++;
        format_substitution_name(name, *d, language);
    } while (substitution_number_used(name));
}

static void format_place(char* name, DWORD number)
{
    format_layout_text(name, MAX_PATH, "%lu", (unsigned long)number);
}

// The place a value name stands for: its number when the name is the plain decimal form of a
// number from 1 up, otherwise 0 (a name such as "01" or "0" is no place Windows reads).
static DWORD place_of(const char* name)
{
    LONG number = parse_decimal(name);
    if (number < 1)
        return 0;
    char printed[16];
    format_layout_text(printed, sizeof printed, "%d", (int)number);
    return strcmp(printed, name) == 0 ? (DWORD)number : 0;
}

// The largest place the plan holds.
static DWORD largest_planned_place()
{
    DWORD largest = 0;
    for (int i = 0; i < layout_inventory.newpreloadcount; i++) {
        LONG number = layout_inventory.new_preload_list[i].number;
        if (number > 0 && (DWORD)number > largest)
            largest = (DWORD)number;
    }
    return largest;
}

// The next place after *number that the plan does not name; *number moves on to it.
static void next_unplanned_place(char* name, DWORD* number)
{
    do {
        (*number)++;
        format_place(name, *number);
    } while (planned_preload_name(name));
}

static bool stand_ins_full()
{
    set_error_text("INTERNER FEHLER: zu viele Ersatzeinträge für die Tastaturbelegungs-Listen!");
    return false;
}

// Layouts that the keys reach now but the plan does not, other than the one the change
// removes: the user has added them since the journal was written. They are added to the plan,
// at places after the planned ones.
static bool add_layouts_added_since_to_plan()
{
    DWORD number = largest_planned_place();
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
        next_unplanned_place(preload_name, &number);
        const char* kept_data = data;
        // Data that a Substitutes value names, now or in the plan, reach the layout through a
        // new substitution name in the language of the data; other data (a layout key itself)
        // stay as they are.
        char substitution_name[MAX_PATH];
        bool substituted = find_by_name(&list_rewrite.substitutes, data) != 0;
        if (!layout_inventory.keep_substitutes && (substituted || planned_substitute(data))) {
            free_substitution_name(substitution_name, &d, substitution_language(data));
            if (!add_planned_substitute_value(substitution_name, layout))
                return stand_ins_full();
            kept_data = substitution_name;
        }
        if (!add_planned_preload_value(preload_name, kept_data))
            return stand_ins_full();
    }
    return true;
}

// Whether the change rewrites the Substitutes value that `data` names, now or in the plan.
static bool substitute_rewritten(const char* data)
{
    return !layout_inventory.keep_substitutes &&
           (find_by_name(&list_rewrite.substitutes, data) || planned_substitute(data));
}

// The stand-in that reaches `layout` in `language`, or null.
static const list_value* find_stand_in(const char* layout, const char* language)
{
    for (int i = 0; i < list_rewrite.substitute_stand_ins.count; i++) {
        const list_value* stand_in = &list_rewrite.substitute_stand_ins.values[i];
        if (names_equal_nocase(stand_in->data, layout) &&
            names_equal_nocase(substitution_language(stand_in->name), language))
            return stand_in;
    }
    return 0;
}

// Step 1 and 2 planned: a Substitutes stand-in for each layout, in each language, that a
// Preload value reaches through a name the change rewrites, and the data each value holds.
static bool plan_stand_ins()
{
    unsigned int d = 0;
    for (int i = 0; i < list_rewrite.preload.count; i++) {
        const char* data = list_rewrite.preload.values[i].data;
        list_rewrite.held_data[i] = data;
        if (!substitute_rewritten(data))
            continue;
        const char* language = substitution_language(data);
        const list_value* stand_in = find_stand_in(list_rewrite.reached[i], language);
        if (!stand_in) {
            char name[MAX_PATH];
            free_substitution_name(name, &d, language);
            if (!add_value(&list_rewrite.substitute_stand_ins, name, list_rewrite.reached[i]))
                return stand_ins_full();
            stand_in = &list_rewrite.substitute_stand_ins
                           .values[list_rewrite.substitute_stand_ins.count - 1];
        }
        list_rewrite.held_data[i] = stand_in->name;
    }
    return true;
}

// Step 3 planned: the lowest places that no value holds, in turn, until each distinct held
// data has a copy. A place the plan names gets a filler (the first copy's data), which step 5
// overwrites; the copies take only places the plan does not name, so that they stay until
// step 6.
static bool plan_appended_places()
{
    const char* copies[LIST_VALUE_CAPACITY];
    int copy_count = 0;
    for (int i = 0; i < list_rewrite.preload.count; i++) {
        const char* held = list_rewrite.held_data[i];
        bool copied = false;
        for (int j = 0; j < copy_count && !copied; j++)
            copied = names_equal_nocase(copies[j], held);
        if (!copied)
            copies[copy_count++] = held;
    }
    DWORD number = 0;
    int next = 0;
    while (next < copy_count) {
        char name[MAX_PATH];
        format_place(name, ++number);
        if (find_by_name(&list_rewrite.preload, name))
            continue;
        const char* data = planned_preload_name(name) ? copies[0] : copies[next++];
        if (!add_value(&list_rewrite.appended_places, name, data))
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

typedef bool (*kept_value_test)(const char* name);

static bool is_substitute_stand_in(const char* name)
{
    return find_by_name(&list_rewrite.substitute_stand_ins, name) != 0;
}

// Deletes every value of the key, of any name, that `kept` does not keep; from the last
// index down, so that the indexes still to come stay where they are.
static bool delete_values_except(HKEY key, const char* key_name, kept_value_test kept)
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
        if (!kept(name) && !delete_value(key, key_name, name))
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

// Step 2: the Preload values that go through a rewritten name get their stand-ins' names.
static bool hold_stand_ins(HKEY preload)
{
    for (int i = 0; i < list_rewrite.preload.count; i++) {
        const list_value* value = &list_rewrite.preload.values[i];
        if (list_rewrite.held_data[i] != value->data &&
            !write_value(preload, PRELOAD_KEY, value->name, list_rewrite.held_data[i]))
            return false;
    }
    return true;
}

// The planned Substitutes values, standard names first; each is written even when one before
// it failed (the stand-ins still reach every layout then).
static bool write_planned_substitutes(HKEY substitutes)
{
    bool written = true;
    for (int pass = 0; pass < 2; pass++) {
        for (int i = 0; i < layout_inventory.newsubstitutecount; i++) {
            const substitute_entry* record = &layout_inventory.new_substitute_list[i];
            if (is_standard_layout_name(record->name) == (pass == 0))
                written = write_value(substitutes, SUBSTITUTES_KEY, record->name, record->data) &&
                          written;
        }
    }
    return written;
}

// The data a Preload value of that name holds from step 3 on, or null when none was read or
// appended.
static const char* held_data_of(const char* name)
{
    if (const list_value* appended = find_by_name(&list_rewrite.appended_places, name))
        return appended->data;
    for (int i = 0; i < list_rewrite.preload.count; i++) {
        if (names_equal_nocase(list_rewrite.preload.values[i].name, name))
            return list_rewrite.held_data[i];
    }
    return 0;
}

// Step 5: the planned Preload values over their places; a place that holds its planned data
// already stays as it is. Each is written even when one before it failed (the copies still
// reach every layout then).
static bool write_planned_preload(HKEY preload)
{
    bool written = true;
    for (int i = 0; i < layout_inventory.newpreloadcount; i++) {
        const preload_entry* record = &layout_inventory.new_preload_list[i];
        const char* held = held_data_of(record->name);
        if (held && strcmp(held, record->data) == 0)
            continue;
        written = write_value(preload, PRELOAD_KEY, record->name, record->data) && written;
    }
    layout_inventory.preload_rewritten = true;
    return written;
}

// Step 6: the places the plan does not name, the highest first, so that the places left stay
// without a gap; then the other values the plan does not name, which Windows does not read.
static bool delete_unplanned_values(HKEY preload)
{
    const char* places[2 * LIST_VALUE_CAPACITY];
    int count = 0;
    const list_values* lists[] = {&list_rewrite.preload, &list_rewrite.appended_places};
    for (const list_values* list : lists) {
        for (int i = 0; i < list->count; i++) {
            const char* name = list->values[i].name;
            if (!place_of(name) || planned_preload_name(name))
                continue;
            int at = count++;
            while (at > 0 && place_of(places[at - 1]) < place_of(name)) {
                places[at] = places[at - 1];
                at--;
            }
            places[at] = name;
        }
    }
    for (int i = 0; i < count; i++) {
        if (!delete_value(preload, PRELOAD_KEY, places[i]))
            return false;
    }
    for (int i = 0; i < list_rewrite.preload.count; i++) {
        const char* name = list_rewrite.preload.values[i].name;
        if (!place_of(name) && !planned_preload_name(name) && !delete_value(preload, PRELOAD_KEY, name))
            return false;
    }
    return !list_rewrite.preload_unread ||
           delete_values_except(preload, PRELOAD_KEY, planned_preload_name);
}

static HKEY open_list_key(const char* key_name)
{
    char path[MAX_PATH];
    format_layout_text(path, sizeof path, "%s\\%s", KEYBOARD_LAYOUT_KEY, key_name);
    HKEY key = reg_create_key(shell_user.settings, path, 0);
    if (!key)
        set_error_text("Warnung:\nFehler beim Öffnen des Registry-Keys %s\\%s",
                       shell_user.root_name, path);
    return key;
}

// Where the plan of a change comes from: this run's own plan, or the journal of a run that
// stopped, to which the layouts the user has added since are added.
enum class plan_source { this_run, stopped_run };

// Reads both keys as they are now, then steps 1 to 7 on the two open keys (substitutes is null
// when that key stays as it is).
static bool change_values(HKEY preload, HKEY substitutes, plan_source source)
{
    if (!read_values(preload, PRELOAD_KEY, &list_rewrite.preload, &list_rewrite.preload_unread))
        return false;
    list_rewrite.substitutes.count = 0;
    HKEY substitutes_for_reading = substitutes;
    if (!substitutes_for_reading)
        substitutes_for_reading = reg_open_key_read(shell_user.settings, SUBSTITUTES_PATH);
    bool substitutes_unread = false;
    bool read = !substitutes_for_reading ||
                read_values(substitutes_for_reading, SUBSTITUTES_KEY, &list_rewrite.substitutes,
                            &substitutes_unread);
    if (substitutes_for_reading && substitutes_for_reading != substitutes)
        RegCloseKey(substitutes_for_reading);
    if (!read)
        return false;
    for (int i = 0; i < list_rewrite.preload.count; i++)
        list_rewrite.reached[i] = reached_layout(list_rewrite.preload.values[i].data);
    list_rewrite.substitute_stand_ins.count = 0;
    list_rewrite.appended_places.count = 0;
    if (source == plan_source::stopped_run && !add_layouts_added_since_to_plan())
        return false;
    if (!plan_stand_ins() || !plan_appended_places())
        return false;

    if (substitutes && !write_values(substitutes, SUBSTITUTES_KEY, &list_rewrite.substitute_stand_ins))
        return false;
    if (!hold_stand_ins(preload) ||
        !write_values(preload, PRELOAD_KEY, &list_rewrite.appended_places))
        return false;
    if (substitutes && (!delete_values_except(substitutes, SUBSTITUTES_KEY, is_substitute_stand_in) ||
                        !write_planned_substitutes(substitutes)))
        return false;
    if (!write_planned_preload(preload) || !delete_unplanned_values(preload))
        return false;
    return !substitutes ||
           delete_stand_ins(substitutes, SUBSTITUTES_KEY, &list_rewrite.substitute_stand_ins);
}

static bool change_lists(plan_source source)
{
    HKEY preload = open_list_key(PRELOAD_KEY);
    if (!preload)
        return false;
    bool changed = false;
    HKEY substitutes = layout_inventory.keep_substitutes ? 0 : open_list_key(SUBSTITUTES_KEY);
    if (layout_inventory.keep_substitutes || substitutes)
        changed = change_values(preload, substitutes, source);
    if (substitutes)
        RegCloseKey(substitutes);
    RegCloseKey(preload);
    return changed;
}

// --- the journal ---

static void set_journal_error(const char* action)
{
    set_error_text("Warnung:\nFehler beim %s des Registry-Keys %s\\%s", action,
                   shell_user.root_name, LIST_JOURNAL_KEY_PATH);
}

// Deletes the journal's key when nothing is left in it: a run may have stopped between its
// creation and the journal's first write, or between the journal's removal and the key's.
static void remove_empty_journal_key()
{
    HKEY key;
    if (reg_open_existing_key(shell_user.settings, LIST_JOURNAL_KEY_PATH, &key) != reg_result::read)
        return;
    DWORD values = 1, subkeys = 1;
    bool empty = reg_query_value_count(key, &values) && reg_query_subkey_count(key, &subkeys) &&
                 values == 0 && subkeys == 0;
    RegCloseKey(key);
    if (empty)
        reg_delete_key(shell_user.settings, LIST_JOURNAL_KEY_PATH);
}

static bool write_journal()
{
    if (!encode_list_journal(list_rewrite.journal, sizeof list_rewrite.journal)) {
        set_error_text("INTERNER FEHLER: Journal der Tastaturbelegungs-Listen zu lang!");
        return false;
    }
    HKEY key = reg_create_key(shell_user.settings, LIST_JOURNAL_KEY_PATH, 0);
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
    reg_result opened = reg_open_existing_key(shell_user.settings, LIST_JOURNAL_KEY_PATH, &key);
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
    if (!write_journal() || !change_lists(plan_source::this_run))
        return false;
    return remove_journal();
}

bool finish_interrupted_list_rewrite()
{
    layout_inventory.error_text[0] = 0;
    HKEY key;
    reg_result opened = reg_open_existing_key(shell_user.settings, LIST_JOURNAL_KEY_PATH, &key);
    if (opened == reg_result::missing)
        return true;
    if (opened != reg_result::read) {
        set_error_text("Fehler beim Öffnen des Registry-Keys %s\\%s", shell_user.root_name,
                       LIST_JOURNAL_KEY_PATH);
        return false;
    }
    reg_result read =
        reg_query_string(key, LIST_JOURNAL_VALUE, list_rewrite.journal, sizeof list_rewrite.journal);
    RegCloseKey(key);
    if (read == reg_result::failed) {
        set_error_text("Fehler beim Lesen des Registry-Keys %s\\%s", shell_user.root_name,
                       LIST_JOURNAL_KEY_PATH);
        return false;
    }
    bool planned = read == reg_result::read && decode_list_journal(list_rewrite.journal);
    bool finished = !planned || change_lists(plan_source::stopped_run);
    // A journal that holds no plan (not ours, or damaged) cannot be carried out: it goes,
    // and the lists stay as they are, every layout in them reachable.
    bool removed = finished && remove_journal();
    layout_inventory.newpreloadcount = 0;
    layout_inventory.newsubstitutecount = 0;
    layout_inventory.keep_substitutes = false;
    layout_inventory.preload_rewritten = false;
    return finished && removed;
}
