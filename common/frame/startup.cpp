// Start-up of both programs: display set-up, WOW64 probe, command line, the programs' hooks, the message loop.
#include "frame/startup.h"

#include <string.h>

#include "files/file_operations.h"
#include "frame/status_window.h"

typedef BOOL(WINAPI* is_wow64_process_function)(HANDLE, PBOOL);
typedef BOOL(WINAPI* is_wow64_process2_function)(HANDLE, USHORT*, USHORT*);
typedef BOOL(WINAPI* set_default_dll_directories_function)(DWORD);

// DLLs are loaded from the system folder only: the uninstaller's copy runs from the
// user's temporary folder, where anybody may have put a DLL of a well-known name.
static void restrict_dll_search()
{
    set_default_dll_directories_function set_directories =
        reinterpret_cast<set_default_dll_directories_function>(
            system_function("kernel32", "SetDefaultDllDirectories"));
    if (set_directories)
        set_directories(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

// IsWow64Process2's answer, the process's machine and the native one; false where Windows lacks
// the function (before Windows 10) or the call fails.
static bool ask_machines(USHORT* process_machine, USHORT* native_machine)
{
    *process_machine = IMAGE_FILE_MACHINE_UNKNOWN;
    *native_machine = IMAGE_FILE_MACHINE_UNKNOWN;
    is_wow64_process2_function is_wow64_process2 = reinterpret_cast<is_wow64_process2_function>(
        system_function("kernel32", "IsWow64Process2"));
    return is_wow64_process2 &&
           is_wow64_process2(GetCurrentProcess(), process_machine, native_machine);
}

// Under WOW64 the process has a machine of its own (x86) beside the native one, and
// IsWow64Process2 names it on every Windows that has the function. IsWow64Process is asked only
// where it has not: it answers FALSE for a 32-bit program on 64-bit Windows 10 on ARM, which
// would leave redirection on and put the ARM64 DLL into the 32-bit system folder.
bool probe_wow64()
{
    USHORT process_machine, native_machine;
    if (ask_machines(&process_machine, &native_machine))
        return process_machine != IMAGE_FILE_MACHINE_UNKNOWN;
    is_wow64_process_function is_wow64_process = reinterpret_cast<is_wow64_process_function>(
        system_function("kernel32", "IsWow64Process"));
    if (!is_wow64_process)
        return false;
    BOOL wow64 = FALSE;
    is_wow64_process(GetCurrentProcess(), &wow64);
    return wow64 != 0;
}

WORD probe_native_machine(bool is_wow64)
{
    USHORT process_machine, native_machine;
    if (ask_machines(&process_machine, &native_machine) &&
        native_machine != IMAGE_FILE_MACHINE_UNKNOWN)
        return native_machine;
    // Before Windows 10 a 64-bit program on 64-bit Windows hears FALSE from IsWow64Process, as a
    // 32-bit one on 32-bit Windows does: the processor that Windows runs on tells them apart.
    // A WOW64 process runs on 64-bit Windows whatever processor it is told of.
    SYSTEM_INFO info;
    memset(&info, 0, sizeof info);
    GetNativeSystemInfo(&info);
    if (info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64)
        return IMAGE_FILE_MACHINE_AMD64;
    if (info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_ARM64)
        return IMAGE_FILE_MACHINE_ARM64;
    return is_wow64 ? IMAGE_FILE_MACHINE_AMD64 : IMAGE_FILE_MACHINE_I386;
}

void probe_machine()
{
    frame.is_wow64 = probe_wow64();
    frame.native_machine = probe_native_machine(frame.is_wow64);
}

void fill_palette_entries(PALETTEENTRY* entries)
{
    struct colour { BYTE red, green, blue; };
    static const colour low[8] = {{0, 0, 0},     {128, 0, 0},   {0, 128, 0},   {128, 128, 0},
                                  {0, 0, 128},   {128, 0, 128}, {0, 128, 128}, {192, 192, 192}};
    static const colour high[8] = {{128, 128, 128}, {255, 0, 0},   {0, 255, 0},
                                   {255, 255, 0},   {0, 0, 255},   {255, 0, 255},
                                   {0, 255, 255},   {255, 255, 255}};
    static const struct { int index; colour value; } fixed[] = {
        {8, {192, 220, 192}},  {9, {212, 208, 200}},   {14, {22, 22, 22}},
        {15, {28, 28, 28}},    {16, {34, 34, 34}},     {17, {41, 41, 41}},
        {18, {85, 85, 85}},    {19, {77, 77, 77}},     {20, {66, 66, 66}},
        {21, {57, 57, 57}},    {22, {255, 124, 128}},  {23, {255, 80, 80}},
        {24, {214, 0, 147}},   {25, {204, 236, 255}},  {26, {239, 214, 198}},
        {27, {231, 231, 214}}, {28, {173, 169, 144}},  {233, {165, 0, 33}},
        {234, {95, 95, 95}},   {235, {119, 119, 119}}, {236, {134, 134, 134}},
        {237, {150, 150, 150}}, {238, {203, 203, 203}}, {239, {178, 178, 178}},
        {240, {215, 215, 215}}, {241, {221, 221, 221}}, {242, {227, 227, 227}},
        {243, {234, 234, 234}}, {244, {241, 241, 241}}, {245, {248, 248, 248}},
        {246, {255, 251, 240}}, {247, {29, 54, 82}}};

    memset(entries, 0, 256 * sizeof(PALETTEENTRY));
    for (int i = 0; i < 8; i++) {
        entries[i].peRed = low[i].red;
        entries[i].peGreen = low[i].green;
        entries[i].peBlue = low[i].blue;
        entries[248 + i].peRed = high[i].red;
        entries[248 + i].peGreen = high[i].green;
        entries[248 + i].peBlue = high[i].blue;
    }
    for (const auto& f : fixed) {
        entries[f.index].peRed = f.value.red;
        entries[f.index].peGreen = f.value.green;
        entries[f.index].peBlue = f.value.blue;
    }
    // The rest of the 6 x 6 x 6 colour cube: black and the seven full colours are placed above.
    int next = 10;
    for (int r = 0; r < 6; r++) {
        for (int g = 0; g < 6; g++) {
            for (int b = 0; b < 6; b++) {
                bool placed = (r == 0 || r == 5) && (g == 0 || g == 5) && (b == 0 || b == 5);
                if (placed)
                    continue;
                entries[next].peRed = (BYTE)(r * 51);
                entries[next].peGreen = (BYTE)(g * 51);
                entries[next].peBlue = (BYTE)(b * 51);
                next = (next == 13) ? 29 : next + 1;
            }
        }
    }
}

static void set_up_display()
{
    frame.screen_dc = CreateDCA("DISPLAY", 0, 0, 0);
    if (!frame.screen_dc)
        return;
    SetMapMode(frame.screen_dc, MM_TEXT);
    frame.screen_width = GetDeviceCaps(frame.screen_dc, HORZRES);
    frame.screen_height = GetDeviceCaps(frame.screen_dc, VERTRES);
    frame.color_depth =
        GetDeviceCaps(frame.screen_dc, PLANES) * GetDeviceCaps(frame.screen_dc, BITSPIXEL);
    frame.palette_device = frame.color_depth <= 8;
    if (!frame.palette_device)
        return;

    // LOGPALETTE holds one entry; the other 255 follow it in the same block.
    union {
        LOGPALETTE header;
        BYTE bytes[sizeof(LOGPALETTE) + 255 * sizeof(PALETTEENTRY)];
    } palette;
    palette.header.palVersion = 0x300;
    palette.header.palNumEntries = 256;
    fill_palette_entries(palette.header.palPalEntry);
    frame.app_palette = CreatePalette(&palette.header);
    if (!frame.app_palette)
        return;
    frame.saved_screen_palette = SelectPalette(frame.screen_dc, frame.app_palette, TRUE);
    RealizePalette(frame.screen_dc);
}

// Reads one word of the command line into word (at most 259 units kept); returns the text
// after the word and the blanks that follow it.
static const WCHAR* read_word(const WCHAR* text, WCHAR* word)
{
    int length = 0;
    WCHAR end = ' ';
    if (*text == '"') {
        text++;
        end = '"';
    }
    while (*text && *text != end) {
        if (length < MAX_PATH - 1)
            word[length++] = *text;
        text++;
    }
    word[length] = 0;
    if (end == '"' && *text == '"')
        text++;
    while (*text == ' ')
        text++;
    return text;
}

void parse_command_line()
{
    frame.argument_count = -1;
    memset(frame.arguments, 0, sizeof frame.arguments);
    const WCHAR* text = GetCommandLineW();
    if (!text)
        return;
    WCHAR word[MAX_PATH];
    while (*text && frame.argument_count < MAX_ARGUMENTS) {
        text = read_word(text, word);
        if (frame.argument_count >= 0) {
            char* entry = frame.arguments[frame.argument_count];
            if (!WideCharToMultiByte(CP_ACP, WC_COMPOSITECHECK, word, -1, entry, MAX_PATH - 1, 0,
                                     0))
                entry[0] = 0;
        }
        frame.argument_count++;
    }
}

void read_environment()
{
    parse_command_line();
    char path[MAX_PATH];
    own_program_path(path);
    strcpy(frame.program_name, file_name_of(path));
    for (size_t i = strlen(frame.program_name); i > 1; i--) {
        if (frame.program_name[i - 1] == '.') {
            frame.program_name[i - 1] = 0;
            break;
        }
    }
    strcpy(frame.window_title, frame.program_name);
}

WPARAM run_message_loop()
{
    MSG message;
    memset(&message, 0, sizeof message);
    while (GetMessageA(&message, 0, 0, 0)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return message.wParam;
}

int frame_main(HINSTANCE instance, int show_command)
{
    restrict_dll_search();
    frame.main_window = 0;
    SetLastError(ERROR_SUCCESS);
    frame.current_cursor = LoadCursorA(0, IDC_APPSTARTING);
    frame.busy_cursor = LoadCursorA(0, IDC_WAIT);
    set_up_display();
    probe_machine();
    frame.app_instance = instance;
    frame.show_command = show_command;
    read_environment();

    if (program_start_check()) {
        create_main_window();
        if (program_main_flow()) {
            if (!frame.status_shown)
                frame.current_cursor = LoadCursorA(0, IDC_ARROW);
            frame.message_loop_running = true;
            return (int)run_message_loop();
        }
    }
    frame_shutdown();
    return 0;
}
