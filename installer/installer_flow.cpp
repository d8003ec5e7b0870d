// The installer's start check and main flow: question, payloads, uninstall entry, shortcut,
// layout key and the user's layout lists.
#include "installer_flow.h"

#include <string.h>

#include "files/file_operations.h"
#include "files/shortcuts.h"
#include "files/system_folders.h"
#include "frame/messages.h"
#include "frame/frame.h"
#include "frame/shell_user.h"
#include "layout_registry/language_list.h"
#include "layout_registry/layout_inventory.h"
#include "layout_registry/layout_plans.h"
#include "layout_registry/list_rewrite.h"
#include "layout_registry/registry_access.h"
#include "layout_registry/uninstall_entry.h"
#include "payload_extraction.h"
#include "payloads.h"
#include "pending_removals.h"
#include "product_constants.h"

#define INSTALLATION_CANCELLED "Installation abgebrochen."

bool check_installer_command_line()
{
    frame.center_main_window = true;
    if (frame.argument_count != 0) {
        show_warning("Installationsprogramm falsch aufgerufen (mit Kommandoparameter %s)",
                     frame.arguments[0]);
        return false;
    }
    if (!start_single_run())
        return false;
    format_text_args(frame.window_title, sizeof frame.window_title, INSTALLER_TITLE_FORMAT,
                     frame.program_name, VERSION_TEXT);
    return true;
}

// The Layout Text of the registered key, or the product's own when the key has none.
static const char* found_layout_text()
{
    const char* text = layout_inventory.layout_key_list[layout_inventory.own_layout_index].layout_text;
    return text ? text : LAYOUT_TEXT;
}

bool plan_installation()
{
    if (layout_inventory.own_layout_index == -1)
        return plan_layout_install(-1);
    const layout_key_entry& own = layout_inventory.layout_key_list[layout_inventory.own_layout_index];
    strcpy(layout_inventory.target_key_name, own.key_name);
    if (!layout_inventory.own_layout_in_use)
        return plan_layout_install(layout_inventory.own_layout_index);
    return plan_layout_update();
}

// The program folder with a trailing backslash and the paths of its three files.
struct program_folder_paths {
    char folder[MAX_PATH];
    char uninstaller[MAX_PATH];
    char pdf[MAX_PATH];
    char icon[MAX_PATH];
    // What this run made, to be taken back when it stops before the DLLs are written.
    bool folder_made;
    bool uninstaller_made;
};

// False when a path does not fit: the run must stop before anything is written, since an
// installation without its uninstaller could not be removed again.
static bool compose_program_folder_paths(program_folder_paths* paths)
{
    strcpy(paths->folder, install_folders.program_folder);
    ensure_trailing_backslash(paths->folder);
    return join_path(paths->uninstaller, paths->folder, UNINSTALLER_FILE_NAME) &&
           join_path(paths->pdf, paths->folder, DIAGRAM_PDF_FILE_NAME) &&
           join_path(paths->icon, paths->folder, DIAGRAM_ICON_FILE_NAME);
}

// An installation that stops before its DLLs are written takes back the program folder and the
// uninstaller when it made them. One that was there stays: an entry of an earlier installation
// may name it.
static void remove_new_program_files(const program_folder_paths* paths)
{
    if (paths->uninstaller_made)
        DeleteFileA(paths->uninstaller);
    if (paths->folder_made)
        RemoveDirectoryA(install_folders.program_folder);
}

// The Program Files folder that holds the program folder must be there. Only the product's own
// level is made, inside it, and takes over its permissions; a folder made where Program Files
// is missing would take over those of its parent, which may let every user replace the
// uninstaller that an administrator later starts from the uninstall entry.
// Its path goes into parent (MAX_PATH bytes).
static bool program_files_present(char* parent)
{
    strcpy(parent, install_folders.program_folder);
    *(char*)file_name_of(parent) = 0;
    strip_trailing_backslash(parent);
    return folder_exists(parent);
}

// The program folder, when it is not there, with the permissions of Program Files.
static bool make_program_folder(program_folder_paths* paths)
{
    paths->folder_made = CreateDirectoryA(install_folders.program_folder, 0) != 0;
    if (paths->folder_made)
        return true;
    record_last_error();
    return folder_exists(install_folders.program_folder);
}

// The program folder, then the uninstaller in it. Both come before anything else is written, a
// layout DLL included: an installation whose uninstaller is missing could never be removed, and
// its uninstall entry would offer a program that is not there. So the uninstall entry and the
// layout, which rely on the uninstaller, follow only once it is written. A stop after this step
// leaves a folder that the next run writes again.
static bool write_uninstaller(program_folder_paths* paths)
{
    paths->uninstaller_made = false;
    if (!make_program_folder(paths)) {
        show_warning("Das Programmverzeichnis konnte nicht angelegt werden:\n%s\n\n%s\n\n"
                     INSTALLATION_CANCELLED,
                     install_folders.program_folder, error_record.windows_error_text);
        return false;
    }
    paths->uninstaller_made = search_for_file(paths->uninstaller) == file_search::missing;
    if (!extract_payload(PAYLOAD_UNINSTALLER_NAME, PAYLOAD_UNINSTALLER_TYPE, UNINSTALLER_FILE_NAME,
                         filetime_of(PAYLOAD_UNINSTALLER_TIME), paths->folder)) {
        remove_new_program_files(paths);
        show_info(INSTALLATION_CANCELLED);
        return false;
    }
    return true;
}

// The ends of the final message when the diagram or its shortcut could not be made; the
// second with the diagram's path.
#define DIAGRAM_MISSING_TEXT                                                                    \
    "\n\nDie Tastaturbelegung ist installiert, nur das Schaubild konnte nicht im "               \
    "Programmverzeichnis gespeichert werden."
#define SHORTCUT_MISSING_TEXT                                                                   \
    "\n\nDie Tastaturbelegung ist installiert, nur die Verknüpfung zum Schaubild konnte nicht "  \
    "auf Ihrem Desktop angelegt werden; Sie finden das Schaubild im Programmverzeichnis unter:\n" \
    "%s"

// The uninstall entry, the diagram with its icon, and the diagram's shortcut on the user's
// desktop. shortcut_text (2 * MAX_PATH bytes) receives the end of the final message: empty, or
// the sentence saying what is missing. A diagram that could not be written (an older one may be
// open in a viewer) leaves the shortcut as it is.
static void write_entry_and_diagram(const char* key_name, const program_folder_paths* paths,
                                    char* shortcut_text)
{
    char command[2 * MAX_PATH + 4];
    format_text_args(command, sizeof command, "\"%s\" %s", paths->uninstaller, key_name);
    char comments[3 * MAX_PATH];
    strcpy(comments, UNINSTALL_DISPLAY_NAME);
    if (DIAGRAM_NAME[0])
        strcat(comments, " und " DIAGRAM_NAME);
    strcat(comments, " von Ihrem Rechner entfernen");
    write_uninstall_entry(UNINSTALL_DISPLAY_NAME, command, UNINSTALL_DISPLAY_NAME,
                          UNINSTALL_DISPLAY_NAME, PRODUCT_WEB_ADDRESS, PRODUCT_WEB_ADDRESS,
                          PUBLISHER_TEXT, PRODUCT_WEB_ADDRESS, VERSION_TEXT, paths->icon, comments);

    shortcut_text[0] = 0;
    if (!DIAGRAM_NAME[0])
        return;
    bool diagram_written =
        extract_payload(PAYLOAD_DIAGRAM_PDF_NAME, PAYLOAD_DIAGRAM_PDF_TYPE, DIAGRAM_PDF_FILE_NAME,
                        filetime_of(PAYLOAD_DIAGRAM_PDF_TIME), paths->folder);
    extract_payload(PAYLOAD_DIAGRAM_ICON_NAME, PAYLOAD_DIAGRAM_ICON_TYPE, DIAGRAM_ICON_FILE_NAME,
                    filetime_of(PAYLOAD_DIAGRAM_ICON_TIME), paths->folder);
    if (!diagram_written) {
        strcpy(shortcut_text, DIAGRAM_MISSING_TEXT);
        return;
    }
    delete_shortcut(frame.main_window, 0, DIAGRAM_NAME, false);
    if (!create_shortcut(frame.main_window, paths->pdf, 0, 0, DIAGRAM_NAME, 0, paths->icon, 0,
                         DIAGRAM_NAME, SW_SHOW, false))
        format_text_args(shortcut_text, 2 * MAX_PATH, SHORTCUT_MISSING_TEXT, paths->pdf);
}

static void warn_if_lists_not_written()
{
    if (!write_preload_substitutes())
        show_info("Warnung bei Installation von %s:\nProblem bei Registry-Key-Update:\n  %s",
                  LAYOUT_TEXT, layout_inventory.error_text);
}

// The end of the final message when the layout could not be put into the language list of
// Windows 8 and later, whose Settings and input switcher would then not offer it.
#define ADD_BY_HAND_TEXT                                                                        \
    "\n\nSollte die Tastaturbelegung in den Windows-Einstellungen fehlen, fügen Sie sie bitte "  \
    "von Hand hinzu: Einstellungen > Zeit und Sprache > Sprache > Deutsch > Optionen > "        \
    "Tastatur hinzufügen."

// The layout as the default of the user's language list, where Windows has one: after its key
// has all its values and the user's lists are written, so that the list never names a layout
// that cannot be loaded. A run stopped before this step is made good by the next one, whose
// update makes the same call. The end of the final message.
static const char* add_to_language_list(const char* key_name)
{
    language_list_outcome outcome =
        change_language_list(key_name, language_list_change::add_as_default);
    return outcome == language_list_outcome::failed ? ADD_BY_HAND_TEXT : "";
}

// The values of a layout key of this build, in the order a new key gets them.
struct layout_key_value {
    const char* name;
    const char* data;
};
#define LAYOUT_KEY_VALUE_COUNT 4

static void layout_key_values(layout_key_value* values)
{
    values[0].name = LAYOUT_TEXT_VALUE;
    values[0].data = LAYOUT_TEXT;
    values[1].name = LAYOUT_FILE_VALUE;
    values[1].data = DLL_FILE_NAME;
    values[2].name = LAYOUT_ID_VALUE;
    values[2].data = layout_inventory.layout_id_text;
    bool editor_made = find_text_nocase(DLL_BASE_NAME, LAYOUT_EDITOR_MARKER) != 0;
    values[3].name = editor_made ? CREATED_BY_EDITOR_VALUE : CUSTOM_LANGUAGE_NAME_VALUE;
    values[3].data = editor_made ? "" : CUSTOM_LANGUAGE_NAME_TEXT;
}

// The values of a new layout key, each written even when one before it failed; false when
// any of them could not be written.
static bool write_layout_key_values(HKEY key)
{
    layout_key_value values[LAYOUT_KEY_VALUE_COUNT];
    layout_key_values(values);
    bool written = true;
    for (int i = 0; i < LAYOUT_KEY_VALUE_COUNT; i++)
        written = reg_set_string(key, values[i].name, values[i].data) && written;
    return written;
}

// Which of this build's values the key at `path` lacks; false when it cannot be read.
static bool find_missing_values(const char* path, const layout_key_value* values, bool* missing)
{
    HKEY key = reg_open_key_read(HKEY_LOCAL_MACHINE, path);
    if (!key)
        return false;
    bool read = true;
    for (int i = 0; i < LAYOUT_KEY_VALUE_COUNT && read; i++) {
        char data[MAX_PATH];
        reg_result found = reg_query_string(key, values[i].name, data, sizeof data);
        read = found != reg_result::failed;
        missing[i] = found == reg_result::missing;
    }
    RegCloseKey(key);
    return read;
}

// Writes the values marked missing, in the order a new key gets them; false at the first one
// that cannot be written, or when the key cannot be opened for writing.
static bool add_missing_values(const char* path, const layout_key_value* values,
                               const bool* missing)
{
    HKEY key = reg_open_key_full(HKEY_LOCAL_MACHINE, path);
    if (!key)
        return false;
    bool written = true;
    for (int i = 0; i < LAYOUT_KEY_VALUE_COUNT && written; i++)
        written = !missing[i] || reg_set_string(key, values[i].name, values[i].data);
    RegCloseKey(key);
    return written;
}

// Update mode: the values that the found key lacks (an earlier run stopped while it wrote
// them) are added in the same order; values it has stay as they are. False after a warning.
static bool complete_layout_key(const char* key_name)
{
    char path[2 * MAX_PATH];
    format_text_args(path, sizeof path, "%s\\%s", KEYBOARD_LAYOUTS_PATH, key_name);
    layout_key_value values[LAYOUT_KEY_VALUE_COUNT];
    layout_key_values(values);
    bool missing[LAYOUT_KEY_VALUE_COUNT] = {};
    bool found = find_missing_values(path, values, missing);
    bool any_missing = false;
    for (int i = 0; i < LAYOUT_KEY_VALUE_COUNT; i++)
        any_missing = any_missing || missing[i];
    if (found && !any_missing)
        return true;
    if (found && add_missing_values(path, values, missing))
        return true;
    show_warning("Fehler beim Schreiben der Werte des Tastaturbelegungs-Registry-Keys %s",
                 key_name);
    return false;
}

// A layout key that an earlier run of this build created and did not complete has no Layout
// File yet; this build's uninstall entry, which is written before the key, names it. Such a
// key is this build's own: the run completes it instead of registering a second key.
static void adopt_incomplete_layout_key()
{
    char key_name[MAX_PATH];
    if (layout_inventory.own_layout_index != -1 ||
        !read_uninstall_entry_key(UNINSTALL_DISPLAY_NAME, key_name))
        return;
    for (int i = 0; i < layout_inventory.layout_key_count; i++) {
        const layout_key_entry& key = layout_inventory.layout_key_list[i];
        if (!key.layout_file && names_equal_nocase(key.key_name, key_name)) {
            adopt_own_layout(i);
            return;
        }
    }
}

// New mode: the layout key with its values, then the user's lists. False when the layout key
// could not be registered: the lists would name a layout that Windows cannot load, so they stay
// as they are, and no success message follows.
static bool register_new_layout(const char* at_restart, const char* shortcut_text)
{
    HKEY layouts = reg_open_key_read(HKEY_LOCAL_MACHINE, KEYBOARD_LAYOUTS_PATH);
    if (!layouts) {
        show_warning("Fehler beim erneuten Öffnen des Registry-Keys HKEY_LOCAL_MACHINE\\%s",
                     KEYBOARD_LAYOUTS_PATH);
        return false;
    }
    bool registered = false;
    HKEY key = reg_create_key(layouts, layout_inventory.layout_key_name, 0);
    if (!key) {
        show_warning("Fehler beim Erstellen des Tastaturbelegungs-Registry-Keys %s",
                     layout_inventory.layout_key_name);
    } else {
        registered = write_layout_key_values(key);
        RegCloseKey(key);
        if (!registered) {
            // A key without its values is removed again: the next run would otherwise take a
            // key with a Layout File for an earlier installation, or pass over its number.
            reg_delete_tree(layouts, layout_inventory.layout_key_name);
            show_warning("Fehler beim Schreiben der Werte des Tastaturbelegungs-Registry-Keys %s",
                         layout_inventory.layout_key_name);
        }
    }
    RegCloseKey(layouts);
    if (!registered)
        return false;
    warn_if_lists_not_written();
    const char* hint = add_to_language_list(layout_inventory.layout_key_name);
    show_info("Tastaturbelegung " LAYOUT_TEXT " erfolgreich installiert.\n"
              "Die Tastaturbelegung steht Ihnen nach einem Systemneustart zur Verfügung.\n\n"
              "=== BITTE SYSTEM JETZT NEU STARTEN! ===%s%s%s",
              at_restart, shortcut_text, hint);
    return true;
}

// Windows on ARM processors loads only ARM64 layout DLLs: without one the layout would be
// listed, but could not be selected or would type as the standard layout.
static bool on_arm64()
{
    return frame.native_machine == IMAGE_FILE_MACHINE_ARM64;
}

// The layout DLL for the system folder: the native one of the machine.
static payload_outcome write_layout_dll()
{
    const char* folder = install_folders.system_folder;
    if (on_arm64())
        return extract_payload_replacing_in_use(PAYLOAD_DLL_ARM64_NAME, PAYLOAD_DLL_ARM64_TYPE,
                                                DLL_FILE_NAME, filetime_of(PAYLOAD_DLL_ARM64_TIME),
                                                folder);
    if (on_64_bit_windows())
        return extract_payload_replacing_in_use(PAYLOAD_DLL_64_NAME, PAYLOAD_DLL_64_TYPE,
                                                DLL_FILE_NAME, filetime_of(PAYLOAD_DLL_64_TIME),
                                                folder);
    return extract_payload_replacing_in_use(PAYLOAD_DLL_32_NAME, PAYLOAD_DLL_32_TYPE,
                                            DLL_FILE_NAME, filetime_of(PAYLOAD_DLL_32_TIME), folder);
}

// The end of the final message when a DLL that Windows has loaded is replaced at the restart.
#define DLL_AT_RESTART_TEXT                                                                     \
    "\n\nDie bisherige Fassung der Tastaturbelegung ist noch in Gebrauch; die neue wird mit "    \
    "dem nächsten Neustart des Computers wirksam."

// The native DLL, whose failure stops the installation, then the one for 32-bit programs on
// 64-bit Windows, whose outcome does not. A DLL in use that differs is replaced at the next
// restart; *at_restart then receives the end of the final message. Redirection is off for these
// writes alone; their warnings wait until it is on again.
static bool write_layout_dlls(const char** at_restart)
{
    *at_restart = "";
    if (!redirection_off_for_system_folders()) {
        show_warning("%s\n\n" INSTALLATION_CANCELLED, install_folders.error_text);
        return false;
    }
    payload_outcome native = write_layout_dll();
    payload_outcome wow64 = payload_outcome::written;
    if (native != payload_outcome::failed && install_folders.wow64_system_folder[0])
        wow64 = extract_payload_replacing_in_use(PAYLOAD_DLL_WOW64_NAME, PAYLOAD_DLL_WOW64_TYPE,
                                                 DLL_FILE_NAME, filetime_of(PAYLOAD_DLL_WOW64_TIME),
                                                 install_folders.wow64_system_folder);
    // Redirection that stays off would reach COM and the shell: the run ends here.
    if (!redirection_back_on()) {
        show_warning("%s\n\n" INSTALLATION_CANCELLED, install_folders.error_text);
        return false;
    }
    show_held_payload_warnings();
    if (native == payload_outcome::failed) {
        show_info(INSTALLATION_CANCELLED);
        return false;
    }
    if (native == payload_outcome::replaces_at_restart ||
        wow64 == payload_outcome::replaces_at_restart)
        *at_restart = DLL_AT_RESTART_TEXT;
    return true;
}

// The paths of the product's files and folder, as an earlier removal may have listed them for
// deletion at the next restart: the DLLs, the program folder's files, the folder.
#define PRODUCT_PATH_COUNT 6

static bool compose_product_paths(char paths[PRODUCT_PATH_COUNT][MAX_PATH],
                                  const program_folder_paths* folder_paths)
{
    const char* system_folder = install_folders.system_folder;
    const char* wow64_folder = install_folders.wow64_system_folder;
    // Without a 32-bit system folder its entry repeats the native one.
    if (!wow64_folder[0])
        wow64_folder = system_folder;
    return join_path(paths[0], system_folder, DLL_FILE_NAME) &&
           join_path(paths[1], wow64_folder, DLL_FILE_NAME) &&
           copy_path(paths[2], folder_paths->uninstaller) && copy_path(paths[3], folder_paths->pdf) &&
           copy_path(paths[4], folder_paths->icon) &&
           copy_path(paths[5], install_folders.program_folder);
}

// An earlier removal that could not delete files in use listed them for deletion at the next
// restart: those deletions are taken back once the uninstaller and the DLLs are written again,
// before the entry and the layout name them. A run that stops before leaves them, so that the
// restart finishes the removal; one that stops after has its files. The other programs'
// operations stay.
static bool keep_product_from_pending_removals(const program_folder_paths* folder_paths)
{
    char paths[PRODUCT_PATH_COUNT][MAX_PATH];
    const char* listed[PRODUCT_PATH_COUNT];
    for (int i = 0; i < PRODUCT_PATH_COUNT; i++)
        listed[i] = paths[i];
    if (compose_product_paths(paths, folder_paths) &&
        cancel_pending_removals(listed, PRODUCT_PATH_COUNT))
        return true;
    show_warning("Die Löschungen, die eine frühere Deinstallation für den nächsten Neustart "
                 "vorgemerkt hat, konnten nicht aufgehoben werden.\n\n" INSTALLATION_CANCELLED);
    return false;
}

static void install()
{
    if (on_arm64() && !payload_present(PAYLOAD_DLL_ARM64_NAME, PAYLOAD_DLL_ARM64_TYPE)) {
        show_warning("Warnung:\nDiese Tastaturbelegung unterstützt Windows auf ARM-Prozessoren "
                     "nicht.\n\n" INSTALLATION_CANCELLED);
        return;
    }
    strcpy(layout_inventory.own_layout_file, OWN_LAYOUT_SEARCH_NAME);
    // A change of the lists that an earlier run began is finished before they are read.
    if (!finish_interrupted_list_rewrite()) {
        show_warning(LIST_REWRITE_UNFINISHED_TEXT INSTALLATION_CANCELLED,
                     layout_inventory.error_text);
        return;
    }
    if (!scan_layout_inventory()) {
        show_warning(as_ready_text(layout_inventory.error_text));
        return;
    }
    adopt_incomplete_layout_key();
    bool update_mode = layout_inventory.own_layout_index != -1;
    // A plan that failed leaves no key name to register: nothing may be written then. A found
    // key without a Layout Id gets a new one, chosen as for a new key.
    if (!plan_installation() ||
        (update_mode &&
         !layout_inventory.layout_key_list[layout_inventory.own_layout_index].layout_id_text &&
         !choose_new_layout_id(layout_inventory.layout_id_text))) {
        show_warning(as_ready_text(layout_inventory.error_text));
        return;
    }
    program_folder_paths paths;
    if (!compose_program_folder_paths(&paths)) {
        show_warning("Die Dateien des Programmverzeichnisses passen nicht in einen Pfad von "
                     "höchstens %d Zeichen:\n%s\n\n" INSTALLATION_CANCELLED,
                     MAX_PATH - 1, paths.folder);
        return;
    }
    char program_files[MAX_PATH];
    if (!program_files_present(program_files)) {
        show_warning("Das Verzeichnis für Programme fehlt, in dem das Programmverzeichnis "
                     "angelegt werden soll:\n%s\n\n" INSTALLATION_CANCELLED,
                     program_files);
        return;
    }
    const char* layout_text = update_mode ? found_layout_text() : LAYOUT_TEXT;
    if (ask_question("Wollen Sie jetzt folgenden Tastatur-Treiber %s?\n\n%s\n\n" TERMS_TEXT,
                     update_mode ? "aktualisieren" : "installieren", layout_text) != IDYES) {
        show_info(INSTALLATION_CANCELLED);
        return;
    }

    // The uninstaller, the DLLs, the deletions an earlier removal left for the restart taken
    // back, the entry, the diagram and its shortcut; the layout key and the user's lists last,
    // so that nothing names the layout before its DLL is there.
    if (!write_uninstaller(&paths))
        return;
    const char* at_restart = "";
    if (!write_layout_dlls(&at_restart)) {
        remove_new_program_files(&paths);
        return;
    }
    if (!keep_product_from_pending_removals(&paths))
        return;
    const char* key_name = update_mode ? layout_inventory.target_key_name
                                       : layout_inventory.layout_key_name;
    char shortcut_text[2 * MAX_PATH];
    write_entry_and_diagram(key_name, &paths, shortcut_text);

    if (!update_mode) {
        register_new_layout(at_restart, shortcut_text);
        return;
    }
    if (!complete_layout_key(key_name))
        return;
    warn_if_lists_not_written();
    const char* hint = add_to_language_list(key_name);
    show_info("Tastaturbelegung %s erfolgreich aktualisliert.%s%s%s%s", layout_text, at_restart,
              layout_inventory.preload_rewritten
                  ? "\n\nNach einem Systemneustart sollte die Tastaturbelegung wieder "
                    "voreingestellt sein."
                  : "",
              shortcut_text, hint);
}

bool run_installation()
{
    // The lists and the desktop are those of the user who asked, also when an administrator
    // elevated the installer for them.
    if (!determine_install_folders())
        show_warning("%s\n\n" INSTALLATION_CANCELLED, install_folders.error_text);
    else if (!find_shell_user())
        show_warning("%s\n\n" INSTALLATION_CANCELLED, shell_user.error_text);
    else
        install();
    release_shell_user();
    return false;
}
