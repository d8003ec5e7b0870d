// The programs' entry point, linked into each program so that the C runtime finds it.
#include "frame/startup.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show_command)
{
    return frame_main(instance, show_command);
}
