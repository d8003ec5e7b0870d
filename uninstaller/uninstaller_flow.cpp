// The uninstaller's main flow: checks, the question, then the removal of everything installed.
#include "uninstaller_flow.h"

#include <string.h>

#include "files/file_operations.h"
#include "files/shortcuts.h"
#include "files/system_folders.h"
#include "frame/messages.h"
#include "frame/startup.h"
#include "layout_registry/layout_inventory.h"
#include "layout_registry/layout_plans.h"
#include "layout_registry/registry_access.h"
#include "layout_registry/uninstall_entry.h"
#include "product_constants.h"

#define KEY_DETAILS "\nTreiber: %s\nKey: %s\nDLL: %s.DLL"

// The refusals before the question; false when the removal must not go on.
static bool removal_allowed()
{
    if (!scan_layout_inventory()) {
        show_warning(as_ready_text(layout_inventory.error_text));
        return false;
    }
    const char* key = layout_inventory.target_key_name;
    if (layout_inventory.target_key_index == -1) {
        show_warning("Der Registry-Key des zu deinstallierenden Tastaturtreibers wurde nicht "
                     "gefunden." KEY_DETAILS, LAYOUT_TEXT, key, DLL_BASE_NAME);
        return false;
    }
    const char* layout_file =
        layout_inventory.layout_key_list[layout_inventory.target_key_index].layout_file;
    if (!layout_file) {
        show_warning("Der Registry-Key des zu deinstallierenden Tastaturtreibers enthält keine "
                     "Treiberdatei-Angabe." KEY_DETAILS, LAYOUT_TEXT, key, DLL_BASE_NAME);
        return false;
    }
    if (!uninstaller.force_option && !names_equal_nocase(layout_file, DLL_FILE_NAME)) {
        show_warning("Der Registry-Key des zu deinstallierenden Tastaturtreibers enthält eine "
                     "andere Treiberdatei-Angabe als zum Zeitpunkt der Installation.\n"
                     "Aus Sicherheitsgründen wird daher die Deinstallation jetzt nicht "
                     "durchgeführt.\nTreiber: %s\nKey: %s\nDLL bei Installation: %s.DLL\n"
                     "DLL jetzt: %s",
                     LAYOUT_TEXT, key, DLL_BASE_NAME, layout_file);
        return false;
    }
    if (layout_inventory.preload_count == 1) {
        show_warning("In den Windows-Spracheinstellungen ist die zu deinstallierende "
                     "Tastaturbelegung derzeit als einzig auswählbare Belegung hinterlegt.\n"
                     "Bitte wählen Sie dort erst eine andere Tastaturbelegung, bevor Sie die "
                     "hier gewählte deinstallieren.");
        return false;
    }
    if (ask_question("Soll folgender Tastatur-Treiber deinstalliert werden?\n\n%s", LAYOUT_TEXT) !=
        IDYES) {
        show_info("Deinstallation abgebrochen.");
        return false;
    }
    return true;
}

// The DLL in the system folder; false when the removal must stop here.
static bool remove_layout_dll()
{
    char path[MAX_PATH];
    if (!join_path(path, install_folders.system_folder, DLL_FILE_NAME))
        return false;
    // A DLL that cannot be looked for may be there: its deletion then fails with the reason.
    if (FileExists(path) || file_services.search_failed) {
        if (!delete_one_file(path, true)) {
            show_info("Fehler bei Deinstallation von %s:\nFolgende Treiberdatei konnte nicht "
                      "gelöscht werden:\n  %s",
                      LAYOUT_TEXT, path);
            return false;
        }
    } else if (ask_question("Problem bei Deinstallation von %s:\nTreiberdatei nicht (mehr) "
                            "vorhanden:\n  %s\n\nTrotzdem fortfahren?",
                            LAYOUT_TEXT, path) != IDYES) {
        return false;
    }
    if (frame.is_wow64) {
        Sleep(100);
        char wow64_path[MAX_PATH];
        if (join_path(wow64_path, install_folders.wow64_system_folder, DLL_FILE_NAME) &&
            FileExists(wow64_path))
            DeleteFileA(wow64_path);
    }
    return true;
}

static void remove_from_registry()
{
    plan_layout_removal();
    if (!write_preload_substitutes())
        show_info("Warnung bei Deinstallation von %s:\nProblem bei Registry-Key-Update:\n  %s",
                  LAYOUT_TEXT, layout_inventory.error_text);
    HKEY layouts = reg_open_key_read(HKEY_LOCAL_MACHINE, KEYBOARD_LAYOUTS_PATH);
    if (!layouts) {
        show_warning("Warnung:\nFehler beim Öffnen des Registry-Keys HKEY_LOCAL_MACHINE\\%s",
                     KEYBOARD_LAYOUTS_PATH);
        return;
    }
    if (!reg_delete_tree(layouts, layout_inventory.target_key_name))
        show_warning("Warnung:\nFehler beim Löschen des Registry-Keys %s - %s",
                     KEYBOARD_LAYOUTS_PATH, layout_inventory.target_key_name);
    RegCloseKey(layouts);
}

static void remove_program_folder()
{
    const char* names[] = {UNINSTALLER_FILE_NAME, DIAGRAM_PDF_FILE_NAME, DIAGRAM_ICON_FILE_NAME};
    int count = DIAGRAM_NAME[0] ? 3 : 1;
    for (int i = 0; i < count; i++) {
        char path[MAX_PATH];
        if (!join_path(path, install_folders.program_folder, names[i]))
            continue;
        if (FileExists(path) && !delete_one_file(path, true))
            show_info("Warnung bei Deinstallation von %s:\nFolgende Hilfsdatei konnte nicht "
                      "gelöscht werden:\n  %s",
                      LAYOUT_TEXT, path);
    }
    if (!remove_folder(install_folders.program_folder))
        show_info("Warnung bei Deinstallation von %s:\nFolgendes Hilfsverzeichnis konnte nicht "
                  "entfernt werden (möglicherweise ist es nicht leer):\n  %s",
                  LAYOUT_TEXT, install_folders.program_folder);
}

static void uninstall()
{
    if (!removal_allowed() || !remove_layout_dll())
        return;
    remove_from_registry();
    if (DIAGRAM_NAME[0])
        delete_shortcut(frame.main_window, 0, DIAGRAM_NAME, false);
    remove_program_folder();
    write_uninstall_entry(UNINSTALL_DISPLAY_NAME, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
    show_info("Folgender Tastatur-Treiber wurde deinstalliert:\n%s", LAYOUT_TEXT);

    char own_path[MAX_PATH];
    DWORD length = GetModuleFileNameA(GetModuleHandleA(0), own_path, MAX_PATH);
    if (length > 0 && length < MAX_PATH)
        MoveFileExA(own_path, 0, MOVEFILE_DELAY_UNTIL_REBOOT);
}

bool run_uninstallation()
{
    uninstall();
    restore_fs_redirection();
    return false;
}
