// Plans the user's Preload and Substitutes lists for an install, an update or a removal.
#include "layout_registry/layout_plans.h"

#include <string.h>

#include "frame/shell_user.h"

// Largest number of a new key name "b%03x0407" that keeps the name eight characters long.
#define LARGEST_KEY_NUMBER 0xfffu
// Layout Ids of new layouts: 0c00 to 0fff, the ids whose low twelve bits no standard layout
// uses; a larger id would load as the layout of its low twelve bits.
#define FIRST_CUSTOM_LAYOUT_ID 0x0c00u
#define LAST_CUSTOM_LAYOUT_ID 0x0fffu
// Places walked by the plans: 0 to 99 for an install, 0 to 201 for a removal.
#define INSTALL_LAST_NUMBER 99
#define REMOVAL_LAST_NUMBER 201
// Removal puts entries with odd names after the others.
#define REMOVAL_ODD_NAME_NUMBER 200

static bool text_store_full()
{
    set_error_text("INTERNER FEHLER: Textspeicher der Tastaturbelegungs-Liste ist voll!");
    return false;
}

static bool planned_list_full()
{
    set_error_text("INTERNER FEHLER: geplante Tastaturbelegungs-Liste ist voll!");
    return false;
}

static void clear_planned_lists()
{
    layout_inventory.newpreloadcount = 0;
    layout_inventory.newsubstitutecount = 0;
}

// A failed plan leaves nothing to write.
static bool plan_failed()
{
    clear_planned_lists();
    return false;
}

// The decimal form of a place number, copied into the inventory's text store.
static const char* copy_number_text(LONG number)
{
    char text[16];
    format_layout_text(text, sizeof text, "%d", (int)number);
    return inventory_copy_text(text);
}

// Whether an entry that keeps its data in the plan (one without a substitute) has a
// substitution name of the same running number as `name`, in any language: a new name of that
// number would make it reach the new name's layout, or share its number.
static bool number_kept_in_plan(const char* name)
{
    for (int i = 0; i < layout_inventory.preload_count; i++) {
        const preload_entry* entry = &layout_inventory.preload_list[i];
        if (!entry->substitute && same_substitution_number(entry->data, name))
            return true;
    }
    return false;
}

// The next substitution name after running number *d that the plan keeps nowhere, in the
// language of `replaced` (the product's own for the product's entry, which replaces none),
// copied into the text store. The one counter for every language keeps the numbers unique.
static const char* copy_substitution_name(unsigned int* d, const char* replaced)
{
    char text[LAYOUT_NAME_SIZE];
    do {
        format_substitution_name(text, (*d)++, substitution_language(replaced));
    } while (number_kept_in_plan(text));
    return inventory_copy_text(text);
}

// Sets the name of a renumbered entry to the decimal form of its new number.
static bool rename_entry(preload_entry* entry, LONG number)
{
    entry->number = number;
    entry->name = copy_number_text(number);
    return entry->name || text_store_full();
}

// Whether the entry reaches the layout being removed through its substitute. Every such entry
// goes with the layout: Windows resolves each Preload value, so two values of the same data
// both reach it.
static bool reaches_removed_layout(const preload_entry* entry)
{
    return entry->substitute &&
           names_equal_nocase(entry->substitute, layout_inventory.target_key_name);
}

// Which entries entries_outside leaves out.
enum class outside_entries { all, except_removed };

// Positions in preload_list of the entries numbered below `low` or above `high` (leaving out
// those that reach the removed layout when asked to), in number order and then list order.
// Returns how many there are.
static int entries_outside(LONG low, LONG high, outside_entries which, int* positions)
{
    int count = 0;
    for (int i = 0; i < layout_inventory.preload_count; i++) {
        LONG number = layout_inventory.preload_list[i].number;
        bool left_out = which == outside_entries::except_removed &&
                        reaches_removed_layout(&layout_inventory.preload_list[i]);
        if (left_out || (number >= low && number <= high))
            continue;
        int at = count++;
        while (at > 0 && layout_inventory.preload_list[positions[at - 1]].number > number) {
            positions[at] = positions[at - 1];
            at--;
        }
        positions[at] = i;
    }
    return count;
}

static bool key_name_in_use(const char* name)
{
    for (int i = 0; i < layout_inventory.layout_key_count; i++) {
        if (names_equal_nocase(layout_inventory.layout_key_list[i].key_name, name))
            return true;
    }
    return false;
}

static bool layout_id_in_use(DWORD id)
{
    DWORD bits = id & LAYOUT_ID_HANDLE_BITS;
    return (layout_inventory.layout_ids_in_use[bits / 8] >> (bits % 8)) & 1u;
}

static void format_key_name(char* name, DWORD number)
{
    format_layout_text(name, LAYOUT_NAME_SIZE, "b%03x0407", (unsigned int)number);
}

// The name of a new key: the number after the largest in use while that keeps eight
// characters, otherwise the lowest number whose name no key has. Every German-family key is
// in layout_key_list, so the list tells which of these names exist.
static bool choose_new_key_name(char* name)
{
    DWORD number = (DWORD)layout_inventory.max_key_number + 1u;
    if (number <= LARGEST_KEY_NUMBER) {
        format_key_name(name, number);
        return true;
    }
    for (number = 1; number <= LARGEST_KEY_NUMBER; number++) {
        format_key_name(name, number);
        if (!key_name_in_use(name))
            return true;
    }
    set_error_text("Keine freie Schlüsselnummer für den Registry-Key der neuen Tastaturbelegung "
                   "(b0010407 bis bfff0407 sind alle belegt)");
    return false;
}

// The Layout Id of a new key: the German family's largest + 1, at least 0c00, while it lies
// within 0c00..0fff and no key of any language uses its low twelve bits; otherwise the lowest
// such free id from 0c00 up.
bool choose_new_layout_id(char* id_text)
{
    DWORD id = (DWORD)layout_inventory.max_layout_id + 1u;
    if (id < FIRST_CUSTOM_LAYOUT_ID)
        id = FIRST_CUSTOM_LAYOUT_ID;
    if (id > LAST_CUSTOM_LAYOUT_ID || layout_id_in_use(id)) {
        for (id = FIRST_CUSTOM_LAYOUT_ID; id <= LAST_CUSTOM_LAYOUT_ID && layout_id_in_use(id); id++) {
        }
        if (id > LAST_CUSTOM_LAYOUT_ID) {
            set_error_text("Keine freie Layout Id für die neue Tastaturbelegung "
                           "(0c00 bis 0fff sind alle belegt)");
            return false;
        }
    }
    format_layout_text(id_text, LAYOUT_NAME_SIZE, "%04x", (unsigned int)id);
    return true;
}

static bool choose_new_key()
{
    char name[LAYOUT_NAME_SIZE];
    char id_text[LAYOUT_NAME_SIZE];
    if (!choose_new_key_name(name) || !choose_new_layout_id(id_text))
        return false;
    memcpy(layout_inventory.layout_key_name, name, sizeof name);
    memcpy(layout_inventory.layout_id_text, id_text, sizeof id_text);
    return true;
}

// Takes over the registered key at `existing`; its Layout Id text is kept when it fits.
static bool take_existing_key(int existing)
{
    if (existing < 0 || existing >= layout_inventory.layout_key_count) {
        set_error_text("INTERNER FEHLER: ungültige Position %d in der Tastaturbelegungs-Liste!",
                       existing);
        return false;
    }
    const layout_key_entry* key = &layout_inventory.layout_key_list[existing];
    size_t length = strlen(key->key_name);
    if (length >= LAYOUT_NAME_SIZE) {
        set_error_text("Name des Tastaturbelegungs-Registry-Keys zu lang: %s", key->key_name);
        return false;
    }
    memcpy(layout_inventory.layout_key_name, key->key_name, length + 1);
    layout_inventory.layout_id_text[0] = 0;
    if (key->layout_id_text && strlen(key->layout_id_text) < LAYOUT_NAME_SIZE)
        strcpy(layout_inventory.layout_id_text, key->layout_id_text);
    return true;
}

// Whether the plan has a Substitutes record of that name already, whatever its case.
static bool substitute_planned(const char* name)
{
    for (int i = 0; i < layout_inventory.newsubstitutecount; i++) {
        if (names_equal_nocase(layout_inventory.new_substitute_list[i].name, name))
            return true;
    }
    return false;
}

// Adds the install plan's record for one entry under the given name and number: standard
// data keep their name as the substitution name, other substituted entries get the next d-name
// in the language of the name they had (the product's entry, which has none, in the product's).
static bool add_install_record(const preload_entry* entry, const char* name, LONG number,
                               unsigned int* d)
{
    if (layout_inventory.newpreloadcount >= LAYOUT_LIST_CAPACITY)
        return planned_list_full();
    preload_entry* record = &layout_inventory.new_preload_list[layout_inventory.newpreloadcount];
    memset(record, 0, sizeof *record);
    record->name = name;
    record->number = number;
    record->substitute = entry->substitute;
    record->data = entry->data;
    // Entries of the same standard data share its one Substitutes value.
    if (entry->substitute && is_standard_layout_name(entry->data) &&
        substitute_planned(entry->data)) {
        layout_inventory.newpreloadcount++;
        return true;
    }
    if (entry->substitute) {
        if (layout_inventory.newsubstitutecount >= LAYOUT_LIST_CAPACITY)
            return planned_list_full();
        if (!is_standard_layout_name(entry->data)) {
            record->data = copy_substitution_name(d, entry->data);
            if (!record->data)
                return text_store_full();
        }
        substitute_entry* substitute =
            &layout_inventory.new_substitute_list[layout_inventory.newsubstitutecount++];
        substitute->name = record->data;
        substitute->data = entry->substitute;
    }
    layout_inventory.newpreloadcount++;
    return true;
}

static bool build_install_lists()
{
    unsigned int d = 1;
    LONG last_place = 0;
    for (int pass = 0; pass < 2; pass++) {
        bool standard_pass = pass == 0;
        for (LONG n = 0; n <= INSTALL_LAST_NUMBER; n++) {
            for (int i = 0; i < layout_inventory.preload_count; i++) {
                const preload_entry* entry = &layout_inventory.preload_list[i];
                bool standard = is_standard_layout_name(entry->substitute) ||
                                is_standard_layout_name(entry->data);
                if (entry->number != n || standard != standard_pass)
                    continue;
                if (!add_install_record(entry, entry->name, entry->number, &d))
                    return false;
                if (n > last_place)
                    last_place = n;
            }
        }
    }
    // Entries beyond the walked numbers follow under the next places.
    int outside[LAYOUT_LIST_CAPACITY];
    int outside_count = entries_outside(0, INSTALL_LAST_NUMBER, outside_entries::all, outside);
    for (int j = 0; j < outside_count; j++) {
        last_place++;
        const char* name = copy_number_text(last_place);
        if (!name)
            return text_store_full();
        if (!add_install_record(&layout_inventory.preload_list[outside[j]], name, last_place, &d))
            return false;
    }
    return true;
}

bool plan_layout_install(int existing)
{
    clear_planned_lists();
    if (layout_inventory.target_key_index != -1) {
        set_error_text("Schlüssel schon vorhanden");
        return false;
    }
    if (layout_inventory.preload_count >= LAYOUT_LIST_CAPACITY) {
        set_error_text("Kein Platz für einen weiteren Eintrag in %s\\%s (höchstens %d)",
                       shell_user.root_name, PRELOAD_PATH, LAYOUT_LIST_CAPACITY);
        return false;
    }
    if (existing == -1 ? !choose_new_key() : !take_existing_key(existing))
        return false;

    // Room at place 1. Names 0 and below keep their number, so that none of them becomes 1.
    for (int i = 0; i < layout_inventory.preload_count; i++) {
        preload_entry* entry = &layout_inventory.preload_list[i];
        if (entry->canonical && entry->number >= 1 &&
            !rename_entry(entry, (LONG)((DWORD)entry->number + 1u)))
            return plan_failed();
    }

    preload_entry* own = &layout_inventory.preload_list[layout_inventory.preload_count];
    memset(own, 0, sizeof *own);
    own->name = inventory_copy_text("1");
    own->substitute = inventory_copy_text(layout_inventory.layout_key_name);
    if (!own->name || !own->substitute)
        return text_store_full();
    own->number = 1;
    own->canonical = true;
    layout_inventory.preload_count++;

    if (!build_install_lists())
        return plan_failed();
    return true;
}

// Copies one whole entry into new_preload_list.
static bool add_update_record(const preload_entry* entry)
{
    if (layout_inventory.newpreloadcount >= LAYOUT_LIST_CAPACITY)
        return planned_list_full();
    layout_inventory.new_preload_list[layout_inventory.newpreloadcount++] = *entry;
    return true;
}

static bool build_update_lists()
{
    LONG last_place = 0;
    for (int pass = 0; pass < 2; pass++) {
        bool direct_pass = pass == 0;
        for (LONG n = 1; n <= layout_inventory.preload_count; n++) {
            for (int i = 0; i < layout_inventory.preload_count; i++) {
                const preload_entry* entry = &layout_inventory.preload_list[i];
                if (entry->number != n || (entry->substitute == 0) != direct_pass)
                    continue;
                if (!add_update_record(entry))
                    return false;
                if (n > last_place)
                    last_place = n;
            }
        }
    }
    for (int i = 0; i < layout_inventory.preload_count; i++) {
        if (layout_inventory.preload_list[i].number == 0 &&
            !add_update_record(&layout_inventory.preload_list[i]))
            return false;
    }
    // Entries beyond the walked numbers follow under the next places.
    int outside[LAYOUT_LIST_CAPACITY];
    int outside_count =
        entries_outside(0, layout_inventory.preload_count, outside_entries::all, outside);
    for (int j = 0; j < outside_count; j++) {
        preload_entry* entry = &layout_inventory.preload_list[outside[j]];
        last_place++;
        if (!rename_entry(entry, last_place) || !add_update_record(entry))
            return false;
    }
    return true;
}

bool plan_layout_update()
{
    clear_planned_lists();
    layout_inventory.keep_substitutes = true;
    if (layout_inventory.own_layout_index == -1) {
        set_error_text("Schlüssel nicht vorhanden");
        layout_inventory.preload_unchanged = true;
        return false;
    }
    int found = -1;
    for (int i = 0; i < layout_inventory.preload_count; i++) {
        const preload_entry* entry = &layout_inventory.preload_list[i];
        if (entry->substitute &&
            names_equal_nocase(entry->substitute, layout_inventory.target_key_name))
            found = i;
    }
    if (found == -1) {
        layout_inventory.layout_not_listed = true;
        return true;
    }
    // A layout under an odd name (not canonical, or numbered below 1) is left where it is:
    // moving an entry numbered 0 or below to place 1 would give two entries that place.
    LONG m = layout_inventory.preload_list[found].number;
    if (m <= 1 || !layout_inventory.preload_list[found].canonical) {
        layout_inventory.preload_unchanged = true;
        return true;
    }

    for (int i = 0; i < layout_inventory.preload_count; i++) {
        preload_entry* entry = &layout_inventory.preload_list[i];
        if (!entry->canonical || entry->number < 1 || entry->number > m)
            continue;
        if (!rename_entry(entry, entry->number == m ? 1 : entry->number + 1))
            return plan_failed();
    }
    if (!build_update_lists())
        return plan_failed();
    return true;
}

// Gives one remaining entry its place and planned data in the removal plan; a
// substituted entry gets the next d-name in the language of its own, or `inherited_data` when
// it is the heir.
static bool plan_removal_entry(preload_entry* entry, const char* inherited_data, unsigned int* d)
{
    if (layout_inventory.newpreloadcount >= LAYOUT_LIST_CAPACITY)
        return planned_list_full();
    entry->new_number = layout_inventory.newpreloadcount + 1;
    entry->new_data = entry->data;
    if (entry->substitute) {
        if (layout_inventory.newsubstitutecount >= LAYOUT_LIST_CAPACITY)
            return planned_list_full();
        entry->new_data = inherited_data;
        if (!inherited_data) {
            entry->new_data = copy_substitution_name(d, entry->data);
            if (!entry->new_data)
                return text_store_full();
        }
        substitute_entry* substitute =
            &layout_inventory.new_substitute_list[layout_inventory.newsubstitutecount++];
        substitute->name = entry->new_data;
        substitute->data = entry->substitute;
    }
    layout_inventory.newpreloadcount++;
    return true;
}

// new_preload_list from the planned entries: first the direct ones, then the substituted
// ones, each pass by place.
static bool build_removal_list()
{
    int count = layout_inventory.newpreloadcount;
    layout_inventory.newpreloadcount = 0;
    for (int pass = 0; pass < 2; pass++) {
        bool direct_pass = pass == 0;
        for (LONG p = 1; p <= count; p++) {
            for (int i = 0; i < layout_inventory.preload_count; i++) {
                const preload_entry* entry = &layout_inventory.preload_list[i];
                if (reaches_removed_layout(entry) || !entry->new_data || entry->new_number != p ||
                    (entry->substitute == 0) != direct_pass)
                    continue;
                preload_entry* record =
                    &layout_inventory.new_preload_list[layout_inventory.newpreloadcount++];
                memset(record, 0, sizeof *record);
                record->number = p;
                record->name = copy_number_text(p);
                if (!record->name)
                    return text_store_full();
                record->data = entry->new_data;
                record->substitute = entry->substitute;
            }
        }
    }
    return true;
}

// The entry nearest before `removed` that stays, else the nearest after it; -1 when none stays.
static int remaining_neighbour(int removed)
{
    for (int i = removed - 1; i >= 0; i--) {
        if (!reaches_removed_layout(&layout_inventory.preload_list[i]))
            return i;
    }
    for (int i = removed + 1; i < layout_inventory.preload_count; i++) {
        if (!reaches_removed_layout(&layout_inventory.preload_list[i]))
            return i;
    }
    return -1;
}

// Whether the layout key being removed must still be in the inventory.
enum class removed_key { registered, gone_already };

static bool plan_removal(removed_key key)
{
    clear_planned_lists();
    if (key == removed_key::registered && layout_inventory.target_key_index == -1) {
        set_error_text("Schlüssel nicht vorhanden");
        return false;
    }
    if (is_standard_layout_name(layout_inventory.target_key_name)) {
        set_error_text("Standard-Layout kann nicht entfernt werden");
        return false;
    }

    int removed = -1;
    int last_standard = -1;
    int first_direct = -1;
    for (int i = 0; i < layout_inventory.preload_count; i++) {
        const preload_entry* entry = &layout_inventory.preload_list[i];
        if (reaches_removed_layout(entry))
            removed = i;
        if (is_standard_layout_name(entry->data))
            last_standard = i;
        if (!entry->substitute && first_direct == -1)
            first_direct = i;
    }
    if (removed == -1) {
        layout_inventory.layout_not_listed = true;
        return true;
    }

    // With every entry substituted, one of them keeps the last standard name as its data: the
    // nearest remaining entry before the removed one, else after it.
    int heir = last_standard;
    if (removed == last_standard && first_direct == -1)
        heir = remaining_neighbour(removed);
    const char* inherited_data = 0;
    if (first_direct == -1 && last_standard != -1)
        inherited_data = layout_inventory.preload_list[last_standard].data;

    for (int i = 0; i < layout_inventory.preload_count; i++) {
        preload_entry* entry = &layout_inventory.preload_list[i];
        entry->standard =
            is_standard_layout_name(entry->data) || is_standard_layout_name(entry->substitute);
        if (!entry->standard && !entry->canonical)
            entry->number = REMOVAL_ODD_NAME_NUMBER;
    }
    // When the removed layout was first, the standard layouts move to the front.
    bool removed_first = false;
    for (int i = 0; i < layout_inventory.preload_count; i++) {
        const preload_entry* entry = &layout_inventory.preload_list[i];
        if (reaches_removed_layout(entry) && entry->number == 1)
            removed_first = true;
    }
    if (removed_first) {
        LONG next = 1;
        for (int i = 0; i < layout_inventory.preload_count; i++) {
            if (layout_inventory.preload_list[i].standard)
                layout_inventory.preload_list[i].number = next++;
        }
    }

    unsigned int d = 1;
    for (LONG n = 0; n <= REMOVAL_LAST_NUMBER; n++) {
        for (int i = 0; i < layout_inventory.preload_count; i++) {
            preload_entry* entry = &layout_inventory.preload_list[i];
            if (reaches_removed_layout(entry) || entry->number != n)
                continue;
            if (!plan_removal_entry(entry, i == heir ? inherited_data : 0, &d))
                return plan_failed();
        }
    }
    // Entries beyond the walked numbers follow under the next places.
    int outside[LAYOUT_LIST_CAPACITY];
    int outside_count =
        entries_outside(0, REMOVAL_LAST_NUMBER, outside_entries::except_removed, outside);
    for (int j = 0; j < outside_count; j++) {
        int i = outside[j];
        if (!plan_removal_entry(&layout_inventory.preload_list[i], i == heir ? inherited_data : 0,
                                &d))
            return plan_failed();
    }
    if (!build_removal_list())
        return plan_failed();
    // Without its key the layout cannot be loaded anyway: a list that it alone filled gets the
    // standard German layout, so that the user keeps one.
    if (key == removed_key::gone_already && layout_inventory.newpreloadcount == 0) {
        preload_entry* record = &layout_inventory.new_preload_list[0];
        memset(record, 0, sizeof *record);
        record->number = 1;
        record->name = copy_number_text(1);
        if (!record->name)
            return text_store_full();
        record->data = GERMAN_STANDARD_LAYOUT;
        layout_inventory.newpreloadcount = 1;
    }
    return true;
}

bool plan_layout_removal()
{
    return plan_removal(removed_key::registered);
}

bool plan_removal_of_missing_layout()
{
    return plan_removal(removed_key::gone_already);
}
