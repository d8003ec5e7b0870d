// The frame's program-wide state, its reset and its shutdown, and the running program's path.
#include "frame/frame.h"

#include <string.h>

#include "frame/messages.h"
#include "product_constants.h"

// Global: the installation changes the machine, whoever runs it in whichever session. The name
// leaves the version out, as the program folder does.
#define SINGLE_RUN_MUTEX_NAME "Global\\" PROGRAM_FOLDER_NAME "-Installation"

frame_state frame;

void reset_frame()
{
    memset(&frame, 0, sizeof frame);
}

bool on_64_bit_windows()
{
    return frame.native_machine == IMAGE_FILE_MACHINE_AMD64 ||
           frame.native_machine == IMAGE_FILE_MACHINE_ARM64;
}

static bool claim_single_run()
{
    SetLastError(ERROR_SUCCESS);
    HANDLE mutex = CreateMutexA(0, FALSE, SINGLE_RUN_MUTEX_NAME);
    DWORD error = GetLastError();
    if (mutex && error == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        return false;
    }
    // A run of another user may hold the name with a security that keeps this one out.
    if (!mutex && error == ERROR_ACCESS_DENIED)
        return false;
    frame.single_run_mutex = mutex;
    return true;
}

bool start_single_run()
{
    if (claim_single_run())
        return true;
    show_warning("Es läuft bereits eine Installation oder Deinstallation der Tastaturbelegung.\n"
                 "Bitte warten Sie, bis sie beendet ist, und starten Sie das Programm dann erneut.");
    return false;
}

void release_single_run()
{
    if (frame.single_run_mutex)
        CloseHandle(frame.single_run_mutex);
    frame.single_run_mutex = 0;
}

void (*system_function(const char* module_name, const char* function_name))()
{
    HMODULE module = GetModuleHandleA(module_name);
    if (!module)
        return 0;
    return reinterpret_cast<void (*)()>(GetProcAddress(module, function_name));
}

void frame_shutdown()
{
    if (frame.shutdown_done)
        return;
    frame.shutdown_done = true;
    release_single_run();
    if (frame.palette_device) {
        if (frame.saved_screen_palette) {
            SelectPalette(frame.screen_dc, frame.saved_screen_palette, TRUE);
            RealizePalette(frame.screen_dc);
            frame.saved_screen_palette = 0;
        }
        if (frame.app_palette) {
            DeleteObject(frame.app_palette);
            frame.app_palette = 0;
        }
    }
    if (frame.screen_dc) {
        DeleteDC(frame.screen_dc);
        frame.screen_dc = 0;
    }
    if (frame.message_loop_running)
        PostQuitMessage(0);
}

bool own_program_path(char* path)
{
    DWORD length = GetModuleFileNameA(frame.app_instance, path, MAX_PATH);
    bool whole = length > 0 && length < MAX_PATH;
    if (length >= MAX_PATH)
        length = MAX_PATH - 1;
    path[length] = 0;
    return whole;
}
