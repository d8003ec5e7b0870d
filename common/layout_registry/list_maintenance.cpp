// Writes the planned lists: the user's Preload and Substitutes keys are deleted and created anew.
#include "layout_registry/layout_plans.h"

#include "layout_registry/registry_access.h"

#define KEYBOARD_LAYOUT_KEY "Keyboard Layout"
#define PRELOAD_KEY "Preload"
#define SUBSTITUTES_KEY "Substitutes"

// Deletes the subkey `name` of `parent` and creates it empty; none (with error_text) on failure.
static HKEY recreate_key(HKEY parent, const char* name)
{
    if (!reg_delete_tree(parent, name)) {
        set_error_text("Warnung:\nFehler beim Löschen des Registry-Keys %s - %s",
                       KEYBOARD_LAYOUT_KEY, name);
        return 0;
    }
    HKEY key = reg_create_key(parent, name, 0);
    if (!key)
        set_error_text("Warnung:\nFehler beim Wiedererstellen des Registry-Keys %s - %s",
                       KEYBOARD_LAYOUT_KEY, name);
    return key;
}

// Writes one planned value; a failed write is reported, and the following values are still
// written, so that as much of the list as possible is kept.
static void write_list_value(HKEY key, const char* key_name, const char* name, const char* data)
{
    if (!reg_set_string(key, name, data))
        set_error_text("Warnung:\nFehler beim Schreiben in den Registry-Key %s - %s (Wert %s)",
                       KEYBOARD_LAYOUT_KEY, key_name, name);
}

static void write_preload(HKEY parent)
{
    HKEY key = recreate_key(parent, PRELOAD_KEY);
    if (!key)
        return;
    for (int i = 0; i < layout_inventory.newpreloadcount; i++) {
        const preload_entry* record = &layout_inventory.new_preload_list[i];
        write_list_value(key, PRELOAD_KEY, record->name, record->data);
    }
    RegCloseKey(key);
    layout_inventory.preload_rewritten = true;
}

// Records named by a standard layout come first, then all others, each in list order.
static void write_substitutes(HKEY parent)
{
    HKEY key = recreate_key(parent, SUBSTITUTES_KEY);
    if (!key)
        return;
    for (int pass = 0; pass < 2; pass++) {
        bool standard_pass = pass == 0;
        for (int i = 0; i < layout_inventory.newsubstitutecount; i++) {
            const substitute_entry* record = &layout_inventory.new_substitute_list[i];
            if (is_standard_layout_name(record->name) == standard_pass)
                write_list_value(key, SUBSTITUTES_KEY, record->name, record->data);
        }
    }
    RegCloseKey(key);
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

    HKEY parent = reg_open_key_read(HKEY_CURRENT_USER, KEYBOARD_LAYOUT_KEY);
    if (!parent) {
        set_error_text("Warnung:\nFehler beim Öffnen des Registry-Keys HKEY_CURRENT_USER\\%s",
                       KEYBOARD_LAYOUT_KEY);
        return false;
    }
    // A failure with Preload does not stop the Substitutes step.
    write_preload(parent);
    if (!layout_inventory.keep_substitutes)
        write_substitutes(parent);
    RegCloseKey(parent);
    return layout_inventory.error_text[0] == 0;
}
