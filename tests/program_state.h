// Puts every program-wide state of the two programs back to a new process's start (the simulated machine is left alone).
#pragma once

void reset_program_state(const char* program_name);
