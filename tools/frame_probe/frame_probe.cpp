// A program that runs the frame with trivial hooks: its end-to-end test shows what the frame
// makes of a command line, the display and the German texts, in the box and the status line.
#include <windows.h>

#include <string.h>

#include "frame/messages.h"
#include "frame/startup.h"
#include "frame/status_window.h"
#include "product_constants.h"

bool program_start_check()
{
    frame.center_main_window = true;
    format_text_args(frame.window_title, sizeof frame.window_title,
                     "%s V%s - Rahmentest", frame.program_name, VERSION_TEXT);
    return true;
}

bool program_main_flow()
{
    char words[MESSAGE_WORK_SIZE];
    words[0] = 0;
    size_t used = 0;
    for (int i = 0; i < frame.argument_count; i++) {
        char line[MAX_PATH + 16];
        format_text_args(line, sizeof line, "%d:[%s]\n", i + 1, frame.arguments[i]);
        size_t length = strlen(line);
        if (used + length + 1 > sizeof words)
            break;
        memcpy(words + used, line, length + 1);
        used += length;
    }
    set_status("Prüfung der Größe: Übergabe öffnen, ß ...");
    show_info("Prüfung der Größe: Übergabe öffnen, ß\nWörter: %d\n%s", frame.argument_count,
              words);
    return false;
}
