// The frame's program-wide state, its reset and its shutdown, and the running program's path.
#include "frame/frame.h"

#include <string.h>

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

void frame_shutdown()
{
    if (frame.shutdown_done)
        return;
    frame.shutdown_done = true;
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
