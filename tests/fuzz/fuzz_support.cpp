// Shared pieces of the fuzz targets: the program hooks kbcommon calls, and the per-input reset.
#include "fuzz_support.h"

#include <string.h>

#include <winsim/control.h>

#include "files/file_operations.h"
#include "files/system_folders.h"
#include "frame/messages.h"
#include "frame/startup.h"
#include "layout_registry/layout_inventory.h"
#include "layout_registry/registry_access.h"
#include "uninstaller_flow.h"

bool program_start_check() { return false; }
bool program_main_flow() { return false; }
const char* program_file_warning_caption() { return "Tastaturtreiber-Installation"; }

void fuzz_reset(const char* program_name)
{
    winsim::reset();
    reset_registry_layer();
    reset_layout_inventory();
    reset_frame();
    reset_messages();
    reset_file_services();
    reset_install_folders();
    reset_uninstaller();
    strcpy(frame.program_name, program_name);
}
