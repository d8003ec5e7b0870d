// The simulated COM of ole32 and the shell's allocator: interface ids, CoInitialize balance, CoCreateInstance, task memory.
#include <windows.h>
#include <winsim/control.h>
#include <winsim/shell_control.h>

#include "modules.h"
#include "shell_internal.h"
#include "subsystems.h"
#include "wow64_state.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <map>
#include <set>

const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_IMalloc = {0x00000002, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_IPersist = {0x0000010C, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_IPersistFile = {0x0000010B, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const CLSID CLSID_ShellLink = {0x00021401, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_IShellLinkA = {0x000214EE, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

namespace winsim {
namespace shell {

namespace {

struct com_state {
    int initialize_depth = 0;
    int excess_uninitialize_calls = 0;
    int allocator_references = 0;
    std::map<void*, SIZE_T> task_blocks;
    std::set<const void*> objects;
};

com_state& com() {
    static com_state state;
    return state;
}

// The one allocator of the process, as SHGetMalloc and CoGetMalloc hand it out.
class task_allocator final : public IMalloc {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IMalloc) {
            *object = static_cast<IMalloc*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return (ULONG)++com().allocator_references; }
    ULONG STDMETHODCALLTYPE Release() override {
        if (com().allocator_references == 0) {
            fprintf(stderr, "winsim: IMalloc::Release of the shell's allocator without a reference\n");
            abort();
        }
        return (ULONG)--com().allocator_references;
    }
    void* STDMETHODCALLTYPE Alloc(SIZE_T size) override { return task_alloc(size); }
    void* STDMETHODCALLTYPE Realloc(void* memory, SIZE_T size) override {
        if (!memory) return task_alloc(size);
        if (size == 0) {
            task_free(memory);
            return nullptr;
        }
        SIZE_T old_size = GetSize(memory);
        if (old_size == (SIZE_T)-1) {
            fprintf(stderr, "winsim: IMalloc::Realloc of memory the allocator did not hand out\n");
            abort();
        }
        void* block = task_alloc(size);
        memcpy(block, memory, old_size < size ? old_size : size);
        task_free(memory);
        return block;
    }
    void STDMETHODCALLTYPE Free(void* memory) override { task_free(memory); }
    SIZE_T STDMETHODCALLTYPE GetSize(void* memory) override {
        auto found = com().task_blocks.find(memory);
        return found == com().task_blocks.end() ? (SIZE_T)-1 : found->second;
    }
    int STDMETHODCALLTYPE DidAlloc(void* memory) override {
        if (!memory) return -1;
        return com().task_blocks.count(memory) ? 1 : 0;
    }
    void STDMETHODCALLTYPE HeapMinimize() override {}
};

task_allocator& allocator() {
    static task_allocator the_allocator;
    return the_allocator;
}

}  // namespace

bool faulted(const char* call, const std::string& subject, HRESULT* result) {
    DWORD error = 0;
    if (!call_fails(call, subject, -1, &error)) return false;
    *result = (error & 0x80000000u) ? (HRESULT)error : HRESULT_FROM_WIN32(error);
    return true;
}

std::string guid_text(REFGUID guid) {
    char text[40];
    snprintf(text, sizeof text, "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
             (unsigned long)guid.Data1, guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1],
             guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6],
             guid.Data4[7]);
    return text;
}

void* task_alloc(SIZE_T size) {
    void* block = malloc(size ? size : 1);
    if (!block) {
        fprintf(stderr, "winsim: out of memory\n");
        abort();
    }
    com().task_blocks[block] = size;
    return block;
}

void task_free(void* memory) {
    if (!memory) return;
    if (!com().task_blocks.erase(memory)) {
        fprintf(stderr, "winsim: task memory freed that the task allocator did not hand out\n");
        abort();
    }
    free(memory);
}

bool com_initialized() { return com().initialize_depth > 0; }

void object_created(const void* object) { com().objects.insert(object); }
void object_destroyed(const void* object) { com().objects.erase(object); }

void reset_com() {
    for (auto& block : com().task_blocks) free(block.first);
    com() = com_state();
}

}  // namespace shell

void reset_shell() {
    shell::reset_com();
    shell::reset_special_folders();
}

int com_initialize_depth() { return shell::com().initialize_depth; }
int excess_com_uninitialize_calls() { return shell::com().excess_uninitialize_calls; }
int outstanding_com_objects() { return (int)shell::com().objects.size(); }
int shell_allocator_references() { return shell::com().allocator_references; }
int outstanding_task_allocations() { return (int)shell::com().task_blocks.size(); }

}  // namespace winsim

using namespace winsim;
using namespace winsim::shell;

HRESULT WINAPI CoInitialize(LPVOID reserved) {
    if (reserved) winsim_not_implemented("CoInitialize with a reserved argument");
    HRESULT result = S_OK;
    if (faulted("CoInitialize", "", &result)) return result;
    // The first call on the thread initialises COM; every later one only counts.
    return com().initialize_depth++ == 0 ? S_OK : S_FALSE;
}

void WINAPI CoUninitialize() {
    if (com().initialize_depth == 0) {
        com().excess_uninitialize_calls++;
        return;
    }
    com().initialize_depth--;
}

HRESULT WINAPI CoCreateInstance(REFCLSID class_id, LPUNKNOWN outer, DWORD context, REFIID riid,
                                LPVOID* object) {
    if (!object) winsim_not_implemented("CoCreateInstance without an out-parameter");
    if (outer) winsim_not_implemented("CoCreateInstance with aggregation");
    if (!(context & CLSCTX_INPROC_SERVER))
        winsim_not_implemented("CoCreateInstance without CLSCTX_INPROC_SERVER");
    *object = nullptr;
    HRESULT result = S_OK;
    if (faulted("CoCreateInstance", guid_text(class_id), &result)) return result;
    if (!com_initialized()) return CO_E_NOTINITIALIZED;
    if (class_id != CLSID_ShellLink) winsim_not_implemented("CoCreateInstance of a class other than CLSID_ShellLink");
    // The shell link's in-process server: shell32, one of the KnownDLLs, until Windows 10 moved
    // the class to windows.storage.dll, which is not one of them.
    const char* server = windows_version_at_least(10, 0) ? "windows.storage.dll" : "shell32.dll";
    if (DWORD load_error = system_dll_load_error(server)) return HRESULT_FROM_WIN32(load_error);
    return create_shell_link(riid, object);
}

LPVOID WINAPI CoTaskMemAlloc(SIZE_T size) { return task_alloc(size); }
void WINAPI CoTaskMemFree(LPVOID memory) { task_free(memory); }

HRESULT WINAPI SHGetMalloc(IMalloc** result_allocator) {
    if (!result_allocator) winsim_not_implemented("SHGetMalloc without an out-parameter");
    HRESULT result = S_OK;
    if (faulted("SHGetMalloc", "", &result)) {
        *result_allocator = nullptr;
        return result;
    }
    allocator().AddRef();
    *result_allocator = &allocator();
    return S_OK;
}
