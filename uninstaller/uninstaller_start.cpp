// The uninstaller's start check: the key on the command line, and the restart from a copy in
// a private temporary folder so that the program file itself can be deleted; the copy's end.
#include "uninstaller_flow.h"

#include <stdlib.h>
#include <string.h>

#include "files/file_operations.h"
#include "files/private_folder.h"
#include "files/system_folders.h"
#include "frame/messages.h"
#include "frame/frame.h"
#include "frame/status_window.h"
#include "layout_registry/layout_inventory.h"
#include "product_constants.h"

uninstaller_state uninstaller;

// The start-up record the copy is started with: 68 bytes on 32-bit Windows.
static_assert(sizeof(void*) != 4 || sizeof(STARTUPINFOA) == 68, "STARTUPINFOA of 32-bit Windows");

void reset_uninstaller()
{
    memset(&uninstaller, 0, sizeof uninstaller);
}

#define NO_VALID_KEY "Deinstallationsprogramm nicht mit gültigem Registry-Key für die Tastatur aufgerufen "

static bool key_is_acceptable(const char* key)
{
    if (strlen(key) != 8) {
        show_warning(NO_VALID_KEY "(Länge nicht 8 Zeichen):\n%s", key);
        return false;
    }
    // The installer takes over a key of any German language that names its DLL: the same
    // family is accepted here, so that such an installation can be removed.
    if (!is_german_family_name(key)) {
        show_warning(NO_VALID_KEY "(endet nicht in \"0407\", also kein deutsches Layout):\n%s", key);
        return false;
    }
    if (is_standard_layout_name(key)) {
        show_warning(NO_VALID_KEY "(Schlüssel für Standardtastatur: nicht deinstallierbar):\n%s", key);
        return false;
    }
    return true;
}

static void cannot_copy()
{
    show_warning("Deinstallationsprogramm kann nicht in ein temporäres Verzeichnis kopiert "
                 "werden, um sein Original löschen zu können");
}

// Removes the copy (when there is one) and the private folder again when the copy did not start.
static void remove_private_copy(const char* folder, const char* copy_path)
{
    if (copy_path)
        DeleteFileA(copy_path);
    char path[MAX_PATH];
    strcpy(path, folder);
    strip_trailing_backslash(path);
    RemoveDirectoryA(path);
}

// The first instance: copy into a new private folder below `parent`, the Temp folder of the
// shared Windows folder, and start the copy with the same key. The copy runs with administrator
// rights. Every program of the user may change its own temporary folder, including renaming
// whatever is in it, so there another program could put its own folder and program in the
// copy's place between the copy and its start. In the shared Temp folder users may add entries
// but not rename or delete what they did not create; a folder that only Administrators and
// SYSTEM may change, under a name nobody can foresee and created only if it is new, leaves no
// such gap.
static void relocate(const char* own_path, const char* parent)
{
    char folder[MAX_PATH];
    if (!create_private_folder(parent, folder)) {
        show_warning("Folgendes Verzeichnis kann nicht angelegt werden:\n%s\n\n%s",
                     folder[0] ? folder : parent, error_record.windows_error_text);
        cannot_copy();
        return;
    }
    char copy_path[MAX_PATH];
    const char* name = file_name_of(own_path);
    if (!join_path(copy_path, folder, name)) {
        show_warning("Der Pfad der Kopie ist zu lang:\n%s%s\n\n%s", folder, name,
                     error_record.windows_error_text);
        remove_private_copy(folder, 0);
        cannot_copy();
        return;
    }
    if (!copy_one_file(own_path, copy_path, true, true)) {
        remove_private_copy(folder, copy_path);
        cannot_copy();
        return;
    }
    char parameters[MAX_PATH + 8];
    strcpy(parameters, layout_inventory.target_key_name);
    if (uninstaller.force_option)
        strcat(parameters, " /force");
    // The copy claims the one run in turn, and may start before this instance has ended.
    release_single_run();
    if (!launch_program(copy_path, parameters, 0)) {
        remove_private_copy(folder, copy_path);
        show_warning("Deinstallationsprogramm kann Kopie im temporären Verzeichnis nicht starten, "
                     "um sein Original löschen zu können");
    }
}

static bool check_command_line_and_instance()
{
    frame.center_main_window = true;
    // Refused, the copy too leaves itself for the restart (the caller's way out): the first
    // instance gives the run up before it starts the copy, and another may take it meanwhile.
    if (!start_single_run())
        return false;
    uninstaller.force_option =
        frame.argument_count == 2 && strcmp(frame.arguments[1], "/force") == 0;
    if (frame.argument_count != 1 && !uninstaller.force_option) {
        show_warning(NO_VALID_KEY "(Angabe fehlt)");
        return false;
    }
    strcpy(layout_inventory.target_key_name, frame.arguments[0]);
    if (!key_is_acceptable(layout_inventory.target_key_name))
        return false;

    char* temp_folder = uninstaller.temp_folder;
    const char* problem = 0;
    if (!determine_install_folders())
        problem = install_folders.error_text;
    else if (!query_temp_folder(temp_folder) || !uninstaller.shared_temp_folder[0])
        problem = "Das temporäre Verzeichnis kann nicht ermittelt werden.";
    if (problem) {
        show_warning("%s\n\nDeinstallation abgebrochen.", problem);
        return false;
    }

    // The copy runs from its private folder. An instance started by hand from the user's
    // temporary folder itself (whatever the case) goes on as the copy too: it starts nothing, so
    // nothing can be put in its place. A file further below that folder is not the copy: with
    // the temporary folder at a drive's root, every path of the drive lies below it.
    const char* own_path = uninstaller.own_path;
    if (uninstaller.private_folder[0] || lies_directly_in(own_path, temp_folder)) {
        format_text_args(frame.window_title, sizeof frame.window_title, UNINSTALLER_TITLE_FORMAT,
                         frame.program_name, VERSION_TEXT);
        return true;
    }
    relocate(own_path, uninstaller.shared_temp_folder);
    return false;
}

bool check_uninstaller_command_line()
{
    // Which program runs is known first, so that every way out of the copy below leaves it and
    // its private folder for the restart.
    own_program_path(uninstaller.own_path);
    if (query_shared_temp_folder(uninstaller.shared_temp_folder))
        in_private_folder_of(uninstaller.own_path, uninstaller.shared_temp_folder,
                             uninstaller.private_folder);
    if (check_command_line_and_instance())
        return true;
    leave_copy_for_restart();
    return false;
}

void leave_copy_for_restart()
{
    const char* own_path = uninstaller.own_path;
    // The file first: the folder can go only once it is empty.
    if (uninstaller.private_folder[0]) {
        MoveFileExA(own_path, 0, MOVEFILE_DELAY_UNTIL_REBOOT);
        MoveFileExA(uninstaller.private_folder, 0, MOVEFILE_DELAY_UNTIL_REBOOT);
    } else if (uninstaller.run_end == copy_run_removed && own_path[0]) {
        MoveFileExA(own_path, 0, MOVEFILE_DELAY_UNTIL_REBOOT);
    }
}

bool launch_program(const char* program, const char* parameters, const char* working_folder)
{
    set_status("Aufruf von %s %s ...", program ? program : "", parameters ? parameters : "");
    char folder[MAX_PATH];
    folder[0] = 0;
    if (working_folder) {
        if (strlen(working_folder) >= MAX_PATH)
            return false;
        strcpy(folder, working_folder);
        strip_trailing_backslash(folder);
    }
    // The command line: the quoted program path and a blank, then the parameters.
    const size_t command_size = 32768;
    char* command = (char*)calloc(command_size, 1);
    if (!command)
        return false;
    if (program && strlen(program) + 3 < command_size) {
        strcpy(command, "\"");
        strcat(command, program);
        strcat(command, "\" ");
    }
    if (parameters && strlen(command) + strlen(parameters) < command_size)
        strcat(command, parameters);

    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    memset(&process, 0, sizeof process);
    BOOL started = CreateProcessA(program, parameters ? command : 0, 0, 0, TRUE, 0, 0,
                                  working_folder ? folder : 0, &startup, &process);
    free(command);
    if (started) {
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
        return true;
    }
    record_last_error();
    show_warning("Folgender Programmstart konnte nicht durchgeführt werden:\nDatei: %s\n"
                 "Ausführen in: %s\nParameter: %s\n\n%s",
                 program ? program : "<NULL>", working_folder ? working_folder : "<NULL>",
                 parameters ? parameters : "<NULL>", error_record.windows_error_text);
    return false;
}
