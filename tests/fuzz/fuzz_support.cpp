// Shared pieces of the fuzz targets: the program hooks kbcommon calls, and the per-input reset.
#include "fuzz_support.h"

#include <winsim/control.h>

#include "files/file_operations.h"
#include "frame/startup.h"
#include "program_state.h"

bool program_start_check() { return false; }
bool program_main_flow() { return false; }
const char* program_file_warning_caption() { return "Tastaturtreiber-Installation"; }

void fuzz_reset(const char* program_name)
{
    winsim::reset();
    reset_program_state(program_name);
}
