// The process's WOW64 answer and the Windows version (kept in process.cpp), for the parts of winsim that depend on them.
#pragma once

#include <winsim/base_types.h>

namespace winsim {

// Whether the current process runs under WOW64 (set with winsim::set_wow64).
bool process_is_wow64();
// Whether kernel32 exports IsWow64Process (winsim::set_wow64's first argument).
bool process_has_is_wow64_function();
// Whether Windows is at least this version (winsim::set_windows_version).
bool windows_version_at_least(DWORD major, DWORD minor);

}  // namespace winsim
