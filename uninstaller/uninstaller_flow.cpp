// The uninstaller's main flow: checks, the question, then the removal of everything installed.
#include "uninstaller_flow.h"

#include <string.h>

#include "files/file_operations.h"
#include "files/shortcuts.h"
#include "files/system_folders.h"
#include "frame/messages.h"
#include "frame/frame.h"
#include "frame/shell_user.h"
#include "frame/status_window.h"
#include "layout_registry/language_list.h"
#include "layout_registry/layout_inventory.h"
#include "layout_registry/layout_plans.h"
#include "layout_registry/list_rewrite.h"
#include "layout_registry/registry_access.h"
#include "layout_registry/uninstall_entry.h"
#include "product_constants.h"

#define REMOVAL_CANCELLED "Deinstallation abgebrochen."
// The end of the final message when files in use go at the next restart.
#define RESTART_FINISHES_TEXT                                                                   \
    "\n\nEinige Dateien sind noch in Gebrauch; die Deinstallation wird mit dem nächsten "        \
    "Neustart des Computers abgeschlossen."
#define KEY_DETAILS "\nTreiber: %s\nKey: %s\nDLL: %s.DLL"
#define KEY_NOT_FOUND_TEXT                                                                      \
    "Der Registry-Key des zu deinstallierenden Tastaturtreibers wurde nicht gefunden." KEY_DETAILS

// What the run removes: nothing (after a refusal or No), the whole installation, or what an
// earlier run that stopped after deleting the layout key has left.
enum removal { removal_refused, removal_of_installation, removal_of_leftovers };

// This build's uninstall entry names the key of the command line: the installation is this
// build's even when its key is gone (an earlier removal stopped after deleting it, before it
// reached the entry, which goes last) or has no Layout File yet (an installation stopped while
// it wrote the key's values; the entry is written before the key).
static bool named_by_own_entry()
{
    char entry_key[MAX_PATH];
    return read_uninstall_entry_key(UNINSTALL_DISPLAY_NAME, entry_key) &&
           names_equal_nocase(entry_key, layout_inventory.target_key_name);
}

// Whether removing the layout would leave the user without one: every Preload value reaches
// it, directly or through Substitutes. A list without values loses nothing.
static bool only_layout_of_user()
{
    const char* key = layout_inventory.target_key_name;
    for (int i = 0; i < layout_inventory.preload_count; i++) {
        const preload_entry& entry = layout_inventory.preload_list[i];
        const char* reached = entry.substitute ? entry.substitute : entry.data;
        if (!names_equal_nocase(reached, key))
            return false;
    }
    return layout_inventory.preload_count > 0;
}

// The refusals before the question, and the question.
static removal removal_allowed()
{
    if (!scan_layout_inventory()) {
        show_warning(as_ready_text(layout_inventory.error_text));
        return removal_refused;
    }
    const char* key = layout_inventory.target_key_name;
    removal kind = removal_of_installation;
    if (layout_inventory.target_key_index == -1) {
        if (!named_by_own_entry()) {
            show_warning(KEY_NOT_FOUND_TEXT, LAYOUT_TEXT, key, DLL_BASE_NAME);
            return removal_refused;
        }
        kind = removal_of_leftovers;
    } else {
        const char* layout_file =
            layout_inventory.layout_key_list[layout_inventory.target_key_index].layout_file;
        if (!layout_file && !named_by_own_entry()) {
            show_warning("Der Registry-Key des zu deinstallierenden Tastaturtreibers enthält keine "
                         "Treiberdatei-Angabe." KEY_DETAILS, LAYOUT_TEXT, key, DLL_BASE_NAME);
            return removal_refused;
        }
        if (layout_file && !uninstaller.force_option &&
            !names_equal_nocase(layout_file, DLL_FILE_NAME)) {
            show_warning("Der Registry-Key des zu deinstallierenden Tastaturtreibers enthält eine "
                         "andere Treiberdatei-Angabe als zum Zeitpunkt der Installation.\n"
                         "Aus Sicherheitsgründen wird daher die Deinstallation jetzt nicht "
                         "durchgeführt.\nTreiber: %s\nKey: %s\nDLL bei Installation: %s.DLL\n"
                         "DLL jetzt: %s",
                         LAYOUT_TEXT, key, DLL_BASE_NAME, layout_file);
            return removal_refused;
        }
    }
    // Removing leftovers, the layout cannot be loaded anyway: a list it alone fills is given the
    // standard layout instead.
    if (kind == removal_of_installation && only_layout_of_user()) {
        show_warning("In den Windows-Spracheinstellungen ist die zu deinstallierende "
                     "Tastaturbelegung derzeit als einzig auswählbare Belegung hinterlegt.\n"
                     "Bitte wählen Sie dort erst eine andere Tastaturbelegung, bevor Sie die "
                     "hier gewählte deinstallieren.");
        return removal_refused;
    }
    int answer =
        kind == removal_of_installation
            ? ask_question("Soll folgender Tastatur-Treiber deinstalliert werden?\n\n%s",
                           LAYOUT_TEXT)
            : ask_question(KEY_NOT_FOUND_TEXT "\n\nEine frühere Deinstallation wurde nicht "
                           "zu Ende geführt. Sollen die Reste der Installation (Programmverzeichnis, "
                           "Verknüpfung, Eintrag in der Liste der installierten Programme) jetzt "
                           "entfernt werden?",
                           LAYOUT_TEXT, key, DLL_BASE_NAME);
    if (answer != IDYES) {
        show_info(REMOVAL_CANCELLED);
        return removal_refused;
    }
    return kind;
}

// Whether a layout key still names this build's DLL: then the DLL is in use by it and stays.
static bool dll_still_registered()
{
    for (int i = 0; i < layout_inventory.layout_key_count; i++) {
        if (names_equal_nocase(layout_inventory.layout_key_list[i].layout_file, DLL_FILE_NAME))
            return true;
    }
    return false;
}

// Deletes a file of the product. One in use (a layout DLL that Windows has loaded for a signed-in
// user, the diagram open in a viewer) goes at the next restart instead, and is counted. False,
// with the deletion's reason in the error record, when it can be neither.
static bool delete_or_leave_for_restart(const char* path)
{
    file_removal removal = delete_or_list_for_restart(path);
    if (removal == file_removal::at_restart)
        uninstaller.files_left_for_restart++;
    return removal != file_removal::kept;
}

// A new version of the DLL that an update left to replace it at the restart goes too: the
// restart would otherwise put it in the place of the removed DLL.
static void delete_replacement(const char* folder)
{
    char replacement[MAX_PATH];
    if (replacement_path(replacement, folder, DLL_FILE_NAME) && FileExists(replacement))
        DeleteFileA(replacement);
}

static void warn_driver_file_kept(const char* path)
{
    warn_file_not_deleted(path);
    show_info("Fehler bei Deinstallation von %s:\nFolgende Treiberdatei konnte nicht "
              "gelöscht werden:\n  %s",
              LAYOUT_TEXT, path);
}

// The DLL for 32-bit programs on 64-bit Windows, after the native one. Its folder is never
// redirected: redirection stays on. The native one is gone at this point, so a failure does not
// stop the removal; the uninstall entry stays, from which a later run removes the DLL.
static void remove_wow64_dll()
{
    char path[MAX_PATH];
    if (!install_folders.wow64_system_folder[0] ||
        !join_path(path, install_folders.wow64_system_folder, DLL_FILE_NAME))
        return;
    Sleep(100);
    delete_replacement(install_folders.wow64_system_folder);
    if (!FileExists(path))
        return;
    set_status("Lösche %s ...", path);
    if (!delete_or_leave_for_restart(path)) {
        uninstaller.files_kept++;
        warn_driver_file_kept(path);
    }
}

// The DLL in the system folder; false when the removal must stop here. Removing leftovers, a
// DLL that is gone already is no question: the earlier run deleted it first. Redirection is off
// for the search and the deletion alone; the boxes come after it is on again.
static bool remove_layout_dll(removal kind)
{
    if (kind == removal_of_leftovers && dll_still_registered())
        return true;
    char path[MAX_PATH];
    if (!join_path(path, install_folders.system_folder, DLL_FILE_NAME)) {
        show_info("Fehler bei Deinstallation von %s:\nFolgende Treiberdatei konnte nicht "
                  "gelöscht werden:\n  %s%s\n\n%s",
                  LAYOUT_TEXT, install_folders.system_folder, DLL_FILE_NAME,
                  error_record.windows_error_text);
        return false;
    }
    set_status("Lösche %s ...", path);
    if (!redirection_off_for_system_folders()) {
        show_warning("%s\n\n" REMOVAL_CANCELLED, install_folders.error_text);
        return false;
    }
    // A DLL that cannot be looked for may be there: it is not taken for deleted, and the
    // search's reason is told.
    file_search found = search_for_file(path);
    bool deleted = found == file_search::found && delete_or_leave_for_restart(path);
    if (deleted)
        delete_replacement(install_folders.system_folder);
    // Redirection that stays off would reach the shell: the run ends here.
    if (!redirection_back_on()) {
        show_warning("%s\n\n" REMOVAL_CANCELLED, install_folders.error_text);
        return false;
    }
    if (found != file_search::missing && !deleted) {
        warn_driver_file_kept(path);
        return false;
    }
    if (found == file_search::missing) {
        if (kind == removal_of_installation &&
            ask_question("Problem bei Deinstallation von %s:\nTreiberdatei nicht (mehr) "
                         "vorhanden:\n  %s\n\nTrotzdem fortfahren?",
                         LAYOUT_TEXT, path) != IDYES)
            return false;
        // Only now: answered No, the waiting DLL would still put the layout right at the restart.
        if (redirection_off_for_system_folders()) {
            delete_replacement(install_folders.system_folder);
            if (!redirection_back_on()) {
                show_warning("%s\n\n" REMOVAL_CANCELLED, install_folders.error_text);
                return false;
            }
        }
    }
    remove_wow64_dll();
    return true;
}

// The end of the final message when the layout could not be taken out of the language list of
// Windows 8 and later.
#define REMOVE_BY_HAND_TEXT                                                                     \
    "\n\nSollte die Tastaturbelegung noch in den Windows-Einstellungen aufgeführt sein, "        \
    "entfernen Sie sie bitte dort von Hand: Einstellungen > Zeit und Sprache > Sprache > "      \
    "Deutsch > Optionen."

// The key name as the layout key has it, or as the command line gave it when the key is gone.
static const char* removed_key_name(removal kind)
{
    if (kind == removal_of_installation)
        return layout_inventory.layout_key_list[layout_inventory.target_key_index].key_name;
    return layout_inventory.target_key_name;
}

// The user's lists, the language list of Windows 8 and later, then the layout key. The lists
// come first: with them changed, a stop before the key is gone leaves nothing that names a
// missing layout; a stop before the language list has changed is made good by the next run,
// which takes the layout out of it again. When the lists cannot be changed, the key stays, so
// that no list names a missing key, and so does the entry, from which the removal can be run
// again: false then. *hint is the end of the final message.
static bool remove_from_registry(removal kind, const char** hint)
{
    *hint = "";
    if (kind == removal_of_installation)
        plan_layout_removal();
    else
        plan_removal_of_missing_layout();
    if (!write_preload_substitutes()) {
        show_info("Warnung bei Deinstallation von %s:\nProblem bei Registry-Key-Update:\n  %s\n\n"
                  "Die Deinstallation wurde nicht abgeschlossen. Bitte starten Sie sie später "
                  "erneut über die Liste der installierten Programme.",
                  LAYOUT_TEXT, layout_inventory.error_text);
        return false;
    }
    if (change_language_list(removed_key_name(kind), language_list_change::remove) ==
        language_list_outcome::failed)
        *hint = REMOVE_BY_HAND_TEXT;
    if (kind == removal_of_leftovers)
        return true;
    HKEY layouts = reg_open_key_read(HKEY_LOCAL_MACHINE, KEYBOARD_LAYOUTS_PATH);
    if (!layouts) {
        show_warning("Warnung:\nFehler beim Öffnen des Registry-Keys HKEY_LOCAL_MACHINE\\%s",
                     KEYBOARD_LAYOUTS_PATH);
        return true;
    }
    if (!reg_delete_tree(layouts, layout_inventory.target_key_name))
        show_warning("Warnung:\nFehler beim Löschen des Registry-Keys %s - %s",
                     KEYBOARD_LAYOUTS_PATH, layout_inventory.target_key_name);
    RegCloseKey(layouts);
    return true;
}

// Whether the program folder holds anything but the product's files: what the user put there
// stays.
// Whether the program folder holds anything but the product's files, and (*product_left)
// whether it still holds one of these: a file deleted while another program holds it open
// with shared deletion keeps its name until that program closes it.
static bool folder_holds_other_files(const char* const* names, int first, bool* product_left)
{
    char folder[MAX_PATH];
    strcpy(folder, install_folders.program_folder);
    ensure_trailing_backslash(folder);
    HANDLE search = 0;
    WIN32_FIND_DATAA found;
    int count = 0;
    char pattern[MAX_PATH];
    find_first_entry(folder, "*.*", &search, &found, &count, pattern, 0);
    bool other = false;
    *product_left = false;
    while (search && !other) {
        other = true;
        for (int i = first; i < 3; i++)
            other = other && !names_equal_nocase(found.cFileName, names[i]);
        *product_left = *product_left || !other;
        find_next_entry(&search, &found, &count, folder, 0);
    }
    if (search)
        FindClose(search);
    return other;
}

// The uninstaller file goes last of the three, and the uninstall entry after the folder: as long
// as anything else is left, the entry can still start the uninstaller that removes it. A file in
// use goes at the next restart, and so does the folder after it, when nothing else is in it then;
// so does the folder of a file whose name stays until the program holding it closes it.
static void remove_program_folder()
{
    const char* names[] = {DIAGRAM_PDF_FILE_NAME, DIAGRAM_ICON_FILE_NAME, UNINSTALLER_FILE_NAME};
    int first = DIAGRAM_NAME[0] ? 0 : 2;
    int left_before = uninstaller.files_left_for_restart;
    for (int i = first; i < 3; i++) {
        char path[MAX_PATH];
        if (!join_path(path, install_folders.program_folder, names[i])) {
            uninstaller.files_kept++;
            show_info("Warnung bei Deinstallation von %s:\nFolgende Hilfsdatei konnte nicht "
                      "gelöscht werden:\n  %s\\%s\n\n%s",
                      LAYOUT_TEXT, install_folders.program_folder, names[i],
                      error_record.windows_error_text);
            continue;
        }
        if (!FileExists(path))
            continue;
        set_status("Lösche %s ...", path);
        if (delete_or_leave_for_restart(path))
            continue;
        uninstaller.files_kept++;
        warn_file_not_deleted(path);
        show_info("Warnung bei Deinstallation von %s:\nFolgende Hilfsdatei konnte nicht "
                  "gelöscht werden:\n  %s",
                  LAYOUT_TEXT, path);
    }
    bool product_left = false;
    bool other = folder_holds_other_files(names, first, &product_left);
    bool goes = false;
    if (uninstaller.files_left_for_restart == left_before && !product_left) {
        goes = remove_folder(install_folders.program_folder);
    } else {
        // A name that stays until a viewer closes the file goes at the restart with the folder.
        if (uninstaller.files_left_for_restart == left_before && !other)
            uninstaller.files_left_for_restart++;
        MoveFileExA(install_folders.program_folder, 0, MOVEFILE_DELAY_UNTIL_REBOOT);
        goes = !other;
    }
    if (!goes)
        show_info("Warnung bei Deinstallation von %s:\nFolgendes Hilfsverzeichnis konnte nicht "
                  "entfernt werden (möglicherweise ist es nicht leer):\n  %s",
                  LAYOUT_TEXT, install_folders.program_folder);
}

static void uninstall()
{
    // A change of the lists that an earlier run began is finished before they are read.
    if (!finish_interrupted_list_rewrite()) {
        show_warning(LIST_REWRITE_UNFINISHED_TEXT REMOVAL_CANCELLED,
                     layout_inventory.error_text);
        return;
    }
    removal kind = removal_allowed();
    if (kind == removal_refused || !remove_layout_dll(kind))
        return;
    const char* hint = "";
    if (!remove_from_registry(kind, &hint))
        return;
    if (DIAGRAM_NAME[0])
        delete_shortcut(frame.main_window, 0, DIAGRAM_NAME, false);
    remove_program_folder();
    // The entry goes once every file of the product is deleted or goes at the restart: with a
    // file left, it starts the uninstaller that removes it.
    if (!uninstaller.files_kept)
        write_uninstall_entry(UNINSTALL_DISPLAY_NAME, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
    show_info("Folgender Tastatur-Treiber wurde deinstalliert:\n%s%s%s", LAYOUT_TEXT,
              uninstaller.files_left_for_restart ? RESTART_FINISHES_TEXT : "", hint);
    uninstaller.run_end = copy_run_removed;
}

bool run_uninstallation()
{
    // The lists and the desktop are those of the user who asked, also when an administrator
    // elevated the uninstaller for them.
    if (find_shell_user())
        uninstall();
    else
        show_warning("%s\n\n" REMOVAL_CANCELLED, shell_user.error_text);
    release_shell_user();
    // Every way out, the normal end as No, a refusal or a failure.
    leave_copy_for_restart();
    return false;
}
