// What the parts of the simulated shell and COM share: faults as HRESULTs, the task allocator, object counts.
#pragma once

#include <windows.h>
#include <winsim/winshell.h>

#include <string>

namespace winsim {
namespace shell {

// Logs the call; when a fault applies, true with the fault's error as an HRESULT in *result.
bool faulted(const char* call, const std::string& subject, HRESULT* result);

// "{00021401-0000-0000-C000-000000000046}"
std::string guid_text(REFGUID guid);

// The task allocator behind IMalloc and CoTaskMemAlloc; freeing memory it did not hand out aborts.
void* task_alloc(SIZE_T size);
void task_free(void* memory);

// Whether CoInitialize has been called on the thread (and not balanced yet).
bool com_initialized();

// Makes a shell-link object and asks it for the interface (shell_link.cpp).
HRESULT create_shell_link(REFIID riid, void** object);
void object_created(const void* object);
void object_destroyed(const void* object);

void reset_com();
void reset_special_folders();

}  // namespace shell
}  // namespace winsim
