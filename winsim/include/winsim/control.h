// Test-facing control of the simulated platform: reset, call log and fault injection for any call.
#pragma once

#include <winsim/base_types.h>

#include <string>
#include <vector>

namespace winsim {

// Puts the whole simulated machine back to its start state (empty registry, no faults, empty log).
void reset();

// One fault: the next `times` calls named `call` (for example "RegEnumValueA") whose subject
// matches fail with `error`. The subject is the full path of the object the call acts on
// ("HKEY_LOCAL_MACHINE\\System\\..."), compared without regard to case; an empty subject
// matches any. `index` restricts enumeration calls to one index (-1: any). times -1: always.
struct fault {
    std::string call;
    std::string subject;
    long index = -1;
    DWORD error = 0;
    int times = -1;
};
void add_fault(const fault& f);
void fail_call(const char* call, const char* subject, DWORD error, long index = -1, int times = -1);

// Makes the n-th simulated call of the run (counted from 1 after the last reset or
// clear_call_log) fail with `error`; used to sweep a flow call by call.
void fail_nth_call(unsigned long n, DWORD error);
void clear_faults();

// Every simulated call is logged as "Call(subject)" in order.
struct logged_call {
    std::string call;
    std::string subject;
    bool failed_by_fault;
};
const std::vector<logged_call>& call_log();
void clear_call_log();

// Used by the simulated API itself: logs the call and tells whether a fault applies.
bool call_fails(const char* call, const std::string& subject, long index, DWORD* error);

}  // namespace winsim
