// The process's WOW64 answer (kept in process.cpp), for the parts of winsim that depend on it.
#pragma once

namespace winsim {

// Whether the current process runs under WOW64 (set with winsim::set_wow64).
bool process_is_wow64();
// Whether kernel32 exports IsWow64Process (winsim::set_wow64's first argument).
bool process_has_is_wow64_function();

}  // namespace winsim
