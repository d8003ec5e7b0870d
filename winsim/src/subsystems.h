// The parts of the simulated machine, each with the function that puts it back to its start state.
#pragma once

namespace winsim {

// Faults, fault rules and the call log (faults.cpp).
void reset_fault_state();
// Keys, values, handles and access rules (registry.cpp).
void reset_registry();
// Last error, command line, module, WOW64 and system texts (process.cpp).
void reset_process();
// Display, message boxes, windows, painting and palettes (desktop.cpp).
void reset_desktop();

// winsim::reset() runs these in order; a new part of the simulation adds its reset here.
inline void (*const subsystem_resets[])() = {
    reset_fault_state,
    reset_registry,
    reset_process,
    reset_desktop,
};

}  // namespace winsim
