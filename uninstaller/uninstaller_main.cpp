// The uninstaller's hooks into the frame.
#include "files/file_operations.h"
#include "frame/startup.h"
#include "product_constants.h"
#include "uninstaller_flow.h"

bool program_start_check() { return check_uninstaller_command_line(); }
bool program_main_flow() { return run_uninstallation(); }
const char* program_file_warning_caption() { return UNINSTALLER_WARNING_CAPTION; }
