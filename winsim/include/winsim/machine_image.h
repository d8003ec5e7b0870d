// Test-facing: what of the simulated machine outlives a program, as bytes, and a stop before a chosen call.
#pragma once

#include <string>

namespace winsim {

// The registry's keys and values, the entries below every drive and share (contents, times,
// attributes), the files' own descriptors, and the files other processes and the user's session
// have mapped (files_control.h): what a program leaves when it is killed.
std::string save_machine_image();
// Puts an image in place of the machine's keys, entries, descriptors and mappings, and drops
// every key, file and search handle (test holds included), the program's loaded DLLs and the
// thread's redirection switch, as when the program that held them has ended. The machine must
// have the same drives and shares as the one the image was saved on. Access rules, denials,
// resources, the call log and the desktop stay as they are. False, with the machine in an
// unknown state, on a malformed image.
bool load_machine_image(const std::string& image);

// Calls `handler` right before the n-th simulated call of the run (counted as fail_nth_call
// counts): a test kills the program there, or, when the handler returns, lets another program
// act between two calls, after which the call goes on. 0 stops nowhere.
void stop_before_call(unsigned long n, void (*handler)());

// Calls `observer` right before every simulated call, after which the call goes on; the observer
// must make no simulated call itself. The machine it sees before call n is the one a program
// stopped before call n leaves. Null observes nothing.
void observe_every_call(void (*observer)());

}  // namespace winsim
