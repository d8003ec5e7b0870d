// Puts every program-wide state of the two programs back to a new process's start.
#include "program_state.h"

#include <string.h>

#include <winsim/desktop_control.h>

#include "files/file_operations.h"
#include "files/system_folders.h"
#include "frame/messages.h"
#include "frame/frame.h"
#include "frame/shell_user.h"
#include "layout_registry/layout_inventory.h"
#include "layout_registry/list_rewrite.h"
#include "layout_registry/registry_access.h"
#include "payload_extraction.h"
#include "uninstaller_flow.h"

void reset_program_state(const char* program_name)
{
    // The process that ended gave its claim on the one run up.
    winsim::close_mutex_handles();
    reset_registry_layer();
    reset_layout_inventory();
    reset_list_rewrite();
    reset_frame();
    reset_shell_user();
    reset_messages();
    reset_file_services();
    reset_install_folders();
    reset_payload_extraction();
    reset_uninstaller();
    strcpy(frame.program_name, program_name);
}
