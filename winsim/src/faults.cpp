// Reset of the simulated machine, the call log, and the faults injected into simulated calls.
#include <winsim/control.h>
#include <winsim/machine_image.h>

#include "codepage.h"
#include "subsystems.h"

#include <map>

namespace winsim {

namespace {

struct fault_state {
    std::vector<fault> rules;
    std::map<unsigned long, DWORD> nth_call_errors;
    std::vector<logged_call> log;
    unsigned long stop_at = 0;
    void (*stop_handler)() = nullptr;
    void (*observer)() = nullptr;
};

fault_state& faults() {
    static fault_state state;
    return state;
}

bool rule_matches(const fault& rule, const char* call, const std::string& subject, long index) {
    if (rule.call != call) return false;
    if (!rule.subject.empty() && !cp1252_equal_nocase(rule.subject, subject)) return false;
    return rule.index == -1 || rule.index == index;
}

}  // namespace

void reset_fault_state() {
    faults() = fault_state();
}

void reset() {
    for (auto reset_part : subsystem_resets) reset_part();
}

void add_fault(const fault& f) {
    if (f.times == 0) return;  // a fault for no call at all
    faults().rules.push_back(f);
}

void fail_call(const char* call, const char* subject, DWORD error, long index, int times) {
    fault f;
    f.call = call;
    f.subject = subject ? subject : "";
    f.index = index;
    f.error = error;
    f.times = times;
    add_fault(f);
}

void fail_nth_call(unsigned long n, DWORD error) {
    faults().nth_call_errors[n] = error;
}

void clear_faults() {
    faults().rules.clear();
    faults().nth_call_errors.clear();
}

const std::vector<logged_call>& call_log() {
    return faults().log;
}

void clear_call_log() {
    faults().log.clear();
}

void stop_before_call(unsigned long n, void (*handler)()) {
    faults().stop_at = n;
    faults().stop_handler = handler;
}

void observe_every_call(void (*observer)()) {
    faults().observer = observer;
}

bool call_fails(const char* call, const std::string& subject, long index, DWORD* error) {
    fault_state& state = faults();
    if (state.stop_handler && state.log.size() + 1 == state.stop_at) state.stop_handler();
    if (state.observer) state.observer();
    state.log.push_back(logged_call{call, subject, false});
    const unsigned long number = state.log.size();

    bool fails = false;
    DWORD code = 0;
    auto nth = state.nth_call_errors.find(number);
    if (nth != state.nth_call_errors.end()) {
        fails = true;
        code = nth->second;
        state.nth_call_errors.erase(nth);
    } else {
        for (auto rule = state.rules.begin(); rule != state.rules.end(); ++rule) {
            if (!rule_matches(*rule, call, subject, index)) continue;
            fails = true;
            code = rule->error;
            // times counts down to the rule's end; a negative count never ends.
            if (rule->times > 0 && --rule->times == 0) state.rules.erase(rule);
            break;
        }
    }
    if (fails) {
        state.log.back().failed_by_fault = true;
        if (error) *error = code;
    }
    return fails;
}

}  // namespace winsim
