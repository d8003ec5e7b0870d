// The end of every simulated call that winsim does not implement: a message and an abort.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

void winsim_not_implemented(const char* call_name) {
    std::fprintf(stderr, "winsim: %s is not implemented\n", call_name ? call_name : "(unnamed call)");
    std::fflush(stderr);
    std::abort();
}
