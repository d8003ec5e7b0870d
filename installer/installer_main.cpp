// The installer's hooks into the frame.
#include "files/file_operations.h"
#include "frame/startup.h"
#include "installer_flow.h"
#include "product_constants.h"

bool program_start_check() { return check_installer_command_line(); }
bool program_main_flow() { return run_installation(); }
const char* program_file_warning_caption() { return INSTALLER_WARNING_CAPTION; }
