// Tests of the frame: formatter, error texts, message boxes, command line, status window, start-up.
#include "test_support.h"

#include <string.h>

#include <functional>
#include <string>

#include <winsim/desktop_control.h>
#include <winsim/dpi_control.h>
#include <winsim/files_control.h>

#include "files/system_folders.h"
#include "frame/messages.h"
#include "frame/startup.h"
#include "frame/status_window.h"

// The program hooks of this test binary: each test says what they do.
static std::function<bool()> start_check_hook;
static std::function<bool()> main_flow_hook;
bool program_start_check() { return start_check_hook ? start_check_hook() : false; }
bool program_main_flow() { return main_flow_hook ? main_flow_hook() : false; }

namespace {

class frame_test : public kb_test {
protected:
    void SetUp() override
    {
        kb_test::SetUp();
        reset_frame();
        reset_messages();
        start_check_hook = nullptr;
        main_flow_hook = nullptr;
    }
    void TearDown() override
    {
        EXPECT_EQ(0, winsim::outstanding_local_allocations()) << "a system text was not released";
        kb_test::TearDown();
    }
    std::string formatted(const char* template_text, ...)
    {
        char out[MESSAGE_WORK_SIZE];
        memset(out, 0x55, sizeof out);
        va_list arguments;
        va_start(arguments, template_text);
        format_text(out, sizeof out, template_text, arguments);
        va_end(arguments);
        return out;
    }
    std::vector<std::string> split(const char16_t* command_line)
    {
        winsim::set_command_line(command_line);
        parse_command_line();
        std::vector<std::string> words;
        for (int i = 0; i < frame.argument_count; i++)
            words.push_back(frame.arguments[i]);
        return words;
    }
};

using strings = std::vector<std::string>;

TEST_F(frame_test, formatter_fallbacks_and_verbatim_texts)
{
    EXPECT_EQ("<INTERNER FEHLER: Formatstring fehlt>", formatted(nullptr));
    EXPECT_EQ("<INTERNER FEHLER: Formatstring leer>", formatted(""));
    EXPECT_EQ("50%s", formatted("\x7F\x7F" "50%s"));
    EXPECT_EQ("Lösche C:\\Temp\\a.dll ...", formatted("Lösche %s ...", "C:\\Temp\\a.dll"));
    EXPECT_EQ("50% mehr", formatted("50%% mehr"));
    EXPECT_EQ("%s", formatted("%s", ""));  // empty output gives the template itself
    EXPECT_EQ("Code 00000005 -1 4294967295", formatted("Code %08lX %ld %lu", (DWORD)5, (LONG)-1,
                                                       (DWORD)0xFFFFFFFF));
}

TEST_F(frame_test, formatter_copies_a_long_template_without_placeholders_whole)
{
    std::string long_text(5499, 'x');
    EXPECT_EQ(long_text, formatted(long_text.c_str()));
    std::string too_long(6000, 'y');
    EXPECT_EQ(std::string(5499, 'y'), formatted(too_long.c_str()));  // cut, never overrun
}

// Found by fuzzing: a width of ten digits overflowed the formatter's arithmetic.
TEST_F(frame_test, huge_widths_and_precisions_are_cut_like_the_output)
{
    EXPECT_EQ(std::string(1023, ' '), formatted("%2222222222222s", "a"));
    EXPECT_EQ(std::string(1023, '0'), formatted("%.99999999999d", 5));
}

TEST_F(frame_test, formatted_output_is_cut_at_the_platform_limit)
{
    std::string path(2000, 'p');
    EXPECT_EQ("A" + std::string(1022, 'p'), formatted("A%s", path.c_str()));
}

TEST_F(frame_test, error_texts_for_codes_with_and_without_system_text)
{
    describe_windows_error(ERROR_ACCESS_DENIED);
    EXPECT_STREQ("Windows-Errorcode 5:\nZugriff verweigert\r\n (übliche Ursache: Datei vorhanden, "
                 "aber anderswo geöffnet, oder Zugriff durch System oder Sicherheitssoftware "
                 "blockiert)",
                 error_record.windows_error_text);
    describe_windows_error(ERROR_FILE_NOT_FOUND);
    EXPECT_STREQ("Windows-Errorcode 2:\nDas System kann die angegebene Datei nicht finden.\r\n",
                 error_record.windows_error_text);
    describe_windows_error(ERROR_INVALID_FUNCTION);  // a system text with an umlaut, in CP1252
    EXPECT_STREQ("Windows-Errorcode 1:\nUnzul\xE4ssige Funktion.\r\n", error_record.windows_error_text);
    // A system text with an insert is shown as Windows has it.
    describe_windows_error(ERROR_BAD_EXE_FORMAT);
    EXPECT_STREQ("Windows-Errorcode 193:\n%1 ist keine zul\xE4ssige Win32-Anwendung.\r\n",
                 error_record.windows_error_text);
    describe_windows_error((DWORD)-65534);
    EXPECT_STREQ("Windows-Errorcode -65534", error_record.windows_error_text);
    describe_windows_error((DWORD)-65535);
    EXPECT_STREQ("Windows-Errorcode FFFF0001", error_record.windows_error_text);
    describe_windows_error(65535);
    EXPECT_STREQ("Windows-Errorcode 65535", error_record.windows_error_text);
    describe_windows_error(65536);
    EXPECT_STREQ("Windows-Errorcode 00010000", error_record.windows_error_text);
}

TEST_F(frame_test, recording_keeps_the_code_its_low_word_and_the_context)
{
    strcpy(error_record.error_context_text, "old");
    SetLastError(0x00070020);
    EXPECT_EQ(0x0020, record_error("Datei %s", "a.txt"));
    EXPECT_EQ(0x00070020u, error_record.last_error_code);
    EXPECT_STREQ("Windows-Errorcode 00070020", error_record.windows_error_text);
    EXPECT_STREQ("Datei a.txt", error_record.error_context_text);

    SetLastError(ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(record_error_if_failed(TRUE, "unused %s", "x"));
    EXPECT_EQ(0x00070020u, error_record.last_error_code);
    EXPECT_STREQ("Datei a.txt", error_record.error_context_text);
    EXPECT_TRUE(record_error_if_failed(FALSE, "Ordner %s", "b"));
    EXPECT_EQ((DWORD)ERROR_FILE_NOT_FOUND, error_record.last_error_code);
    EXPECT_STREQ("Ordner b", error_record.error_context_text);

    // The same record, with the call's outcome as the one result.
    SetLastError(ERROR_ACCESS_DENIED);
    EXPECT_TRUE(call_succeeded(TRUE, "unused %s", "x"));
    EXPECT_EQ((DWORD)ERROR_FILE_NOT_FOUND, error_record.last_error_code);
    EXPECT_FALSE(call_succeeded(FALSE, "Datei %d", 7));
    EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, error_record.last_error_code);
    EXPECT_STREQ("Datei 7", error_record.error_context_text);
}

TEST_F(frame_test, line_breaks_expand_control_characters_but_keep_cr_and_lf)
{
    char out[64];
    memset(out, 0x55, sizeof out);
    expand_line_breaks(out, sizeof out, "a\tb\r\nc\x01" "d\xE4");
    EXPECT_STREQ("a\r\nb\r\nc\r\nd\xE4", out);
    char small[4];
    expand_line_breaks(small, sizeof small, "ab\tc");
    EXPECT_STREQ("ab", small);  // a break does not fit in half
}

TEST_F(frame_test, message_functions_use_their_styles_caption_and_owner)
{
    strcpy(frame.program_name, "Install_Test");
    winsim::script_answers({IDOK, IDYES, IDOK, IDOK});
    EXPECT_EQ(IDOK, show_info("Info %d", 1));
    EXPECT_EQ(IDYES, ask_question("Frage\tzwei"));
    frame.main_window = reinterpret_cast<HWND>(0x1234);
    EXPECT_EQ(IDOK, show_warning("Warnung"));
    EXPECT_EQ(IDOK, show_warning_with_caption("Tastaturtreiber-Installation", "Datei %s", "x"));
    const auto& boxes = winsim::message_boxes();
    ASSERT_EQ(4u, boxes.size());
    EXPECT_EQ("Info 1", boxes[0].text);
    EXPECT_EQ(0x40u, boxes[0].style);
    EXPECT_EQ("Install_Test", boxes[0].caption);
    EXPECT_EQ(nullptr, boxes[0].owner);
    EXPECT_EQ("Frage\r\nzwei", boxes[1].text);
    EXPECT_EQ(0x24u, boxes[1].style);
    EXPECT_EQ(0x30u, boxes[2].style);
    EXPECT_EQ(reinterpret_cast<HWND>(0x1234), boxes[2].owner);
    EXPECT_EQ("Tastaturtreiber-Installation", boxes[3].caption);
    EXPECT_EQ("Datei x", boxes[3].text);
}

TEST_F(frame_test, a_box_that_cannot_be_shown_reads_as_no)
{
    winsim::fail_call("MessageBoxA", "", 1400);
    EXPECT_NE(IDYES, ask_question("Weiter?"));
}

TEST_F(frame_test, data_with_percent_signs_is_shown_as_it_stands)
{
    strcpy(layout_inventory.error_text,
           "Fehler beim Öffnen des Registry-Subkeys System\\X - %s%s0407");
    winsim::script_answers({IDOK});
    show_warning(as_ready_text(layout_inventory.error_text));
    ASSERT_EQ(1u, winsim::message_boxes().size());
    EXPECT_EQ(std::string(layout_inventory.error_text), winsim::message_boxes()[0].text);
}

TEST_F(frame_test, command_line_words)
{
    EXPECT_EQ(strings{}, split(u"\"C:\\Program Files\\Q7\\Uninstall.exe\""));
    EXPECT_EQ(0, frame.argument_count);
    EXPECT_EQ((strings{"b0010407", "/force"}), split(u"prog.exe   b0010407    /force"));
    EXPECT_EQ((strings{"a b", ""}), split(u"prog \"a b\" \"\""));
    EXPECT_EQ((strings{"ab", "cd"}), split(u"prog \"ab\"cd"));
    EXPECT_EQ((strings{"ab\"c", "d\""}), split(u"prog ab\"c d\""));
    EXPECT_EQ((strings{"a\tb"}), split(u"prog a\tb"));
    EXPECT_EQ((strings{"prog", "x"}), split(u" prog x"));
    EXPECT_EQ((strings{"Größe", "\xC4"}), split(u"prog Größe A\u0308"));
    EXPECT_EQ((strings{"?"}), split(u"prog \u20AD"));
}

TEST_F(frame_test, empty_command_line_leaves_the_count_at_minus_one)
{
    EXPECT_EQ(strings{}, split(u""));
    EXPECT_EQ(-1, frame.argument_count);
}

TEST_F(frame_test, only_thirty_words_are_read)
{
    std::u16string line = u"prog";
    for (int i = 0; i < 35; i++)
        line += u" w" + std::u16string(1, (char16_t)(u'A' + i));
    strings words = split(line.c_str());
    ASSERT_EQ(30u, words.size());
    EXPECT_EQ(30, frame.argument_count);
    EXPECT_EQ("w" + std::string(1, (char)('A' + 29)), words[29]);
}

TEST_F(frame_test, over_long_words_are_stored_empty_without_starting_a_new_word)
{
    std::u16string w258(258, u'x'), w259(259, u'y'), w400(400, u'z');
    strings words = split((u"prog " + w258 + u" " + w259 + u" " + w400 + u" end").c_str());
    EXPECT_EQ((strings{std::string(258, 'x'), "", "", "end"}), words);
}

TEST_F(frame_test, program_name_is_the_file_name_without_its_last_extension)
{
    const struct { const char* path; const char* name; } cases[] = {
        {"C:\\Programme\\Q7\\Uninstall_Foo.exe", "Uninstall_Foo"},
        {"C:\\x\\a.b.exe", "a.b"},
        {"C:\\x\\noext", "noext"},
        {"C:\\x\\.hidden", ".hidden"},
        {"C:name.exe", "name"},
        {"C:\\x/y/z.exe", "z"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        winsim::set_module_file_name(c.path);
        read_environment();
        EXPECT_STREQ(c.name, frame.program_name);
        EXPECT_STREQ(c.name, frame.window_title);
    }
}

TEST_F(frame_test, wow64_probe)
{
    for (bool with_is_wow64_process2 : {true, false}) {
        SCOPED_TRACE(with_is_wow64_process2);
        winsim::set_native_machine(with_is_wow64_process2, 0);
        winsim::set_wow64(true, false);
        EXPECT_FALSE(probe_wow64());
        winsim::set_wow64(true, true);
        EXPECT_TRUE(probe_wow64());
    }
    // Without either function the process cannot be under WOW64 (Windows before XP SP2).
    winsim::set_native_machine(false, 0);
    winsim::set_wow64(false, true);
    EXPECT_FALSE(probe_wow64());
    // When IsWow64Process2 fails, IsWow64Process still answers.
    winsim::set_native_machine(true, 0);
    winsim::set_wow64(true, true);
    winsim::fail_call("IsWow64Process2", "", ERROR_INVALID_PARAMETER);
    EXPECT_TRUE(probe_wow64());
}

// A 32-bit program on 64-bit Windows 10 on ARM: IsWow64Process answers FALSE there, while
// IsWow64Process2 names the x86 machine under the ARM64 one.
TEST_F(frame_test, on_arm64_wow64_is_found_although_is_wow64_process_denies_it)
{
    winsim::set_wow64(true, true);
    winsim::set_native_machine(true, IMAGE_FILE_MACHINE_ARM64);
    BOOL answer = TRUE;
    ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &answer));
    ASSERT_FALSE(answer);
    EXPECT_TRUE(probe_wow64());
}

TEST_F(frame_test, the_native_machine_comes_from_is_wow64_process2_or_is_intel)
{
    winsim::set_wow64(true, true);
    EXPECT_EQ(IMAGE_FILE_MACHINE_AMD64, probe_native_machine(true));
    winsim::set_native_machine(true, IMAGE_FILE_MACHINE_ARM64);
    EXPECT_EQ(IMAGE_FILE_MACHINE_ARM64, probe_native_machine(true));
    // Before Windows 10 there is no IsWow64Process2: Windows on ARM came later.
    winsim::set_native_machine(false, IMAGE_FILE_MACHINE_ARM64);
    EXPECT_EQ(IMAGE_FILE_MACHINE_AMD64, probe_native_machine(true));
    winsim::set_native_machine(true, 0);
    winsim::fail_call("IsWow64Process2", "", ERROR_INVALID_PARAMETER);
    EXPECT_EQ(IMAGE_FILE_MACHINE_AMD64, probe_native_machine(true));
    winsim::clear_faults();
    // A 64-bit program before Windows 10 hears FALSE from IsWow64Process as one on 32-bit
    // Windows does: GetNativeSystemInfo's processor tells it that Windows is x64.
    winsim::set_native_machine(false, 0);
    winsim::set_wow64(true, false);
    EXPECT_EQ(IMAGE_FILE_MACHINE_AMD64, probe_native_machine(false));
    winsim::set_windows_bitness(32);
    EXPECT_EQ(IMAGE_FILE_MACHINE_I386, probe_native_machine(false));
}

// The window procedure and painting, on a window made by create_main_window.
class status_window_test : public frame_test {
protected:
    void make_window(int width, int height, int bits)
    {
        winsim::set_display(width, height, bits);
        winsim::set_module_file_name("C:\\Temp\\Uninstall_X.exe");
        winsim::set_command_line(u"Uninstall_X.exe");
        start_check_hook = [] {
            frame.center_main_window = true;
            strcpy(frame.window_title, "Uninstall_X V3.08 - Tastaturtreiber-Deinstallation");
            return true;
        };
        main_flow_hook = [this] {
            window = frame.main_window;
            flow_ran = true;
            return keep_open;
        };
    }
    // "x y width height" of the status window, and the face and height of the font its last
    // line was drawn in ("stock": the context's own).
    std::string placement_and_font()
    {
        const winsim::window_record* w = winsim::find_window(window);
        const LOGFONTW* font = winsim::live_font(winsim::drawn_texts().back().font);
        const char16_t* face = font ? font->lfFaceName : u"stock";
        return std::to_string(w->x) + " " + std::to_string(w->y) + " " + std::to_string(w->width) +
               " " + std::to_string(w->height) + ", " +
               std::string(face, face + std::char_traits<char16_t>::length(face)) +
               (font ? " " + std::to_string(font->lfHeight) : "");
    }
    HWND window = nullptr;
    bool flow_ran = false;
    bool keep_open = false;
};

TEST_F(status_window_test, start_up_creates_a_centred_window_and_ends_after_the_flow)
{
    make_window(1920, 1080, 32);
    winsim::add_icon_resource("AAPROGRAMICON");
    EXPECT_EQ(0, frame_main(winsim::app_instance(), SW_SHOWNORMAL));
    ASSERT_TRUE(flow_ran);
    const winsim::window_record* w = winsim::find_window(window);
    ASSERT_NE(nullptr, w);
    EXPECT_EQ("Uninstall_X", w->class_name);
    EXPECT_EQ("Uninstall_X V3.08 - Tastaturtreiber-Deinstallation", w->title);
    EXPECT_EQ(0x06CF0000u, w->style);
    EXPECT_EQ(0u, w->ex_style);
    EXPECT_EQ((strings{"720 450 480 180"}),
              (strings{std::to_string(w->x) + " " + std::to_string(w->y) + " " +
                       std::to_string(w->width) + " " + std::to_string(w->height)}));
    EXPECT_EQ(SW_SHOWNORMAL, w->show_command);
    const auto& c = winsim::registered_classes().at(0);
    EXPECT_EQ(3u, c.fields.style);
    EXPECT_EQ(main_window_proc, c.fields.lpfnWndProc);
    EXPECT_NE(nullptr, c.fields.hIcon);
    EXPECT_EQ(c.fields.hIcon, c.fields.hIconSm);  // no small icon resource: the same icon
    EXPECT_EQ(nullptr, c.fields.hCursor);
    EXPECT_EQ(GetStockObject(WHITE_BRUSH), (HGDIOBJ)c.fields.hbrBackground);
    // Painted once, before the flow, with an empty progress line.
    ASSERT_EQ(1u, winsim::drawn_texts().size());
    EXPECT_EQ("", winsim::drawn_texts()[0].text);
    EXPECT_EQ(0x25u, winsim::drawn_texts()[0].format);
    EXPECT_TRUE(frame.shutdown_done);
    EXPECT_EQ(1u, winsim::default_dll_directories_calls().size());
    EXPECT_EQ((DWORD)LOAD_LIBRARY_SEARCH_SYSTEM32, winsim::default_dll_directories_calls()[0]);
}

// The start-up on 64-bit Windows 10 on ARM: the program knows it runs under WOW64, so
// redirection is switched off for the system folders and a file meant for the 64-bit system
// folder gets there.
TEST_F(status_window_test, on_arm64_the_start_up_lets_redirection_be_switched_off)
{
    make_window(1024, 768, 32);
    winsim::set_wow64(true, true);
    winsim::set_native_machine(true, IMAGE_FILE_MACHINE_ARM64);
    bool redirection_off = false;
    start_check_hook = [&redirection_off] {
        redirection_off = determine_install_folders() && redirection_off_for_system_folders() &&
                          install_folders.redirection_off;
        std::string path = std::string(install_folders.system_folder) + "probe.dll";
        HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
        EXPECT_NE(INVALID_HANDLE_VALUE, file);
        CloseHandle(file);
        redirection_back_on();
        return false;
    };
    EXPECT_EQ(0, frame_main(winsim::app_instance(), SW_SHOW));
    EXPECT_TRUE(frame.is_wow64);
    EXPECT_EQ(IMAGE_FILE_MACHINE_ARM64, frame.native_machine);
    EXPECT_TRUE(redirection_off);
    EXPECT_TRUE(winsim::entry_exists("C:\\Windows\\System32\\probe.dll"));
    EXPECT_FALSE(winsim::entry_exists("C:\\Windows\\SysWOW64\\probe.dll"));
}

// The status line is drawn among the logged calls: one drawn while redirection is off shows.
TEST_F(status_window_test, a_status_line_drawn_with_redirection_off_is_seen)
{
    make_window(1920, 1080, 32);
    main_flow_hook = [this] {
        winsim::clear_call_log();
        EXPECT_TRUE(redirection_off_for_system_folders());
        set_status("Lösche %s ...", "C:\\Windows\\system32\\probe.dll");
        EXPECT_TRUE(redirection_back_on());
        flow_ran = true;
        return false;
    };
    run_as_program(64, 32);
    EXPECT_EQ(0, frame_main(winsim::app_instance(), SW_SHOWNORMAL));
    ASSERT_TRUE(flow_ran);
    EXPECT_EQ("DrawTextA(Lösche C:\\Windows\\system32\\probe.dll ...)\n", calls_while_redirection_off());
}

TEST_F(status_window_test, a_refusing_start_check_ends_before_any_window)
{
    make_window(1024, 768, 32);
    start_check_hook = [] { return false; };
    EXPECT_EQ(0, frame_main(winsim::app_instance(), SW_SHOWNORMAL));
    EXPECT_TRUE(winsim::windows().empty());
    EXPECT_FALSE(flow_ran);
    EXPECT_TRUE(frame.shutdown_done);
}

TEST_F(status_window_test, without_icon_resource_the_system_icon_is_used_and_size_is_default)
{
    make_window(1024, 768, 32);
    start_check_hook = [] { return true; };
    frame_main(winsim::app_instance(), SW_SHOW);
    const auto& c = winsim::registered_classes().at(0);
    EXPECT_EQ(LoadIconA(nullptr, IDI_APPLICATION), c.fields.hIcon);
    EXPECT_EQ(26, winsim::windows().at(0).x);  // CW_USEDEFAULT: the system's choice
}

TEST_F(status_window_test, status_text_before_the_window_shows_at_the_first_painting)
{
    make_window(1024, 768, 32);
    start_check_hook = [] {
        set_status("Aufruf von %s %s ...", "C:\\T\\u.exe", "b0010407");
        frame.center_main_window = true;
        return true;
    };
    frame_main(winsim::app_instance(), SW_SHOW);
    EXPECT_EQ(winsim::system_cursor(32514), winsim::current_cursor());
    ASSERT_EQ(1u, winsim::drawn_texts().size());
    EXPECT_EQ("Aufruf von C:\\T\\u.exe b0010407 ...", winsim::drawn_texts()[0].text);
    EXPECT_EQ(frame.busy_cursor, frame.current_cursor);
}

TEST_F(status_window_test, each_status_text_is_painted_before_set_status_returns)
{
    make_window(1024, 768, 32);
    main_flow_hook = [] {
        set_status("Lösche %s ...", "a");
        EXPECT_EQ("Lösche a ...", winsim::drawn_texts().back().text);
        set_status("Lösche Verzeichnis %s ...", "b");
        EXPECT_EQ("Lösche Verzeichnis b ...", winsim::drawn_texts().back().text);
        return false;
    };
    frame_main(winsim::app_instance(), SW_SHOW);
    EXPECT_EQ(3u, winsim::drawn_texts().size());
    RECT client;
    GetClientRect(frame.main_window, &client);
    EXPECT_EQ(client.right, winsim::drawn_texts().back().rect.right);
    EXPECT_EQ(client.bottom, winsim::drawn_texts().back().rect.bottom);
}

TEST_F(status_window_test, resizing_repaints_the_whole_window)
{
    make_window(1024, 768, 32);
    frame_main(winsim::app_instance(), SW_SHOW);
    size_t painted = winsim::drawn_texts().size();
    winsim::resize_window(window, 400, 128);
    ASSERT_EQ(painted + 1, winsim::drawn_texts().size());
    EXPECT_EQ(400 - 16, winsim::drawn_texts().back().rect.right);
    winsim::resize_window(window, 400, 300);
    EXPECT_EQ(painted + 2, winsim::drawn_texts().size());
}

// The caption and the line fit at the screen's DPI: the window grows beyond a quarter and a
// sixth of the screen where they need it. The line is drawn in the message font at the
// window's DPI, asked of Windows at that DPI or, before Windows 10, scaled from the screen's.
// On a monitor of twice the DPI the window takes the rectangle Windows suggests and a new font;
// the font goes when the window does.
TEST_F(status_window_test, size_and_font_follow_the_dpi)
{
    const struct {
        int width, height, dpi;
        bool dpi_functions;
        const char* at_start;
        const char* at_twice_the_dpi;
    } cases[] = {
        {1024, 768, 96, true, "272 320 480 128, Segoe UI -12", "272 320 960 256, Segoe UI -24"},
        {1920, 1080, 144, true, "600 450 720 180, Segoe UI -18", "600 450 1440 360, Segoe UI -36"},
        {1920, 1080, 144, false, "600 450 720 180, Segoe UI -18", "600 450 1440 360, Segoe UI -36"},
        {800, 600, 192, false, "0 208 800 184, Segoe UI -24", "0 208 1600 368, Segoe UI -48"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.at_start + std::string(c.dpi_functions ? "" : " without the DPI functions"));
        winsim::reset();
        reset_frame();
        make_window(c.width, c.height, 32);
        winsim::set_display_dpi(c.dpi);
        winsim::set_dpi_functions_present(c.dpi_functions);
        main_flow_hook = [this, &c] {
            window = frame.main_window;
            set_status("Lösche %s ...", "C:\\T\\a.dll");
            EXPECT_EQ(c.at_start, placement_and_font());
            winsim::change_window_dpi(window, 2 * c.dpi);
            EXPECT_EQ(c.at_twice_the_dpi, placement_and_font());
            return false;
        };
        frame_main(winsim::app_instance(), SW_SHOW);
        EXPECT_EQ(nullptr, winsim::selected_font(winsim::drawn_texts().back().dc));
        EXPECT_EQ(1, winsim::live_font_count());
        SendMessageA(window, WM_DESTROY, 0, 0);
        EXPECT_EQ(0, winsim::live_font_count());
    }
}

// The monitor's DPI is no longer the screen's LOGPIXELSY (scaling changed since the sign-in): the
// window is sized for the DPI its caption and line are drawn at, as on a screen of that DPI.
TEST_F(status_window_test, the_window_is_sized_for_the_dpi_of_its_monitor)
{
    make_window(1920, 1080, 32);
    winsim::set_display_dpi(96);
    winsim::set_monitor_dpi(144);
    main_flow_hook = [this] {
        window = frame.main_window;
        set_status("Lösche %s ...", "C:\\T\\a.dll");
        EXPECT_EQ("600 450 720 180, Segoe UI -18", placement_and_font());
        return false;
    };
    frame_main(winsim::app_instance(), SW_SHOW);
}

// Any one call of the start-up failing, the DPI's among them, leaves the flow to run, and no font
// but the status line's behind.
TEST_F(status_window_test, a_failing_call_of_the_start_up_never_stops_the_flow)
{
    unsigned long calls = 0;
    for (unsigned long n = 1; n == 1 || n <= calls; n++) {
        SCOPED_TRACE(n);
        winsim::reset();
        reset_frame();
        make_window(1024, 768, 32);
        winsim::set_display_dpi(144);
        main_flow_hook = [this] {
            window = frame.main_window;
            flow_ran = true;
            set_status("Lösche %s ...", "a");
            return false;
        };
        flow_ran = false;
        winsim::fail_nth_call(n, ERROR_NOT_ENOUGH_MEMORY);
        frame_main(winsim::app_instance(), SW_SHOW);
        if (n == 1)
            calls = (unsigned long)winsim::call_log().size();
        const auto& log = winsim::call_log();
        std::string failed = n <= log.size() ? log[n - 1].call : "none";
        EXPECT_TRUE(flow_ran) << failed;
        EXPECT_LE(winsim::live_font_count(), 1) << failed;  // the fonts of the measuring went
    }
    EXPECT_GT(calls, 10u);
}

TEST_F(status_window_test, messages_of_the_window_procedure)
{
    make_window(1024, 768, 32);
    frame_main(winsim::app_instance(), SW_SHOW);
    frame.shutdown_done = false;
    frame.current_cursor = winsim::system_cursor(32650);
    EXPECT_EQ(0, main_window_proc(window, WM_MOUSEMOVE, 0, 0));
    EXPECT_EQ(winsim::system_cursor(32650), winsim::current_cursor());
    EXPECT_EQ(0, main_window_proc(window, WM_COMMAND, 5, 0));
    EXPECT_FALSE(frame.shutdown_done);
    EXPECT_EQ(1, main_window_proc(window, WM_COMMAND, IDCANCEL, 0));
    EXPECT_TRUE(frame.shutdown_done);
    EXPECT_EQ(1, main_window_proc(window, WM_COMMAND, 0x10000 | IDCANCEL, 0));
    winsim::clear_gdi_log();
    EXPECT_EQ(0, main_window_proc(window, WM_QUERYNEWPALETTE, 0, 0));
    main_window_proc(window, WM_PALETTECHANGED, (WPARAM)0x999, 0);
    EXPECT_EQ((strings{"DefWindowProcA(0x0311)"}), winsim::gdi_log());
}

TEST_F(status_window_test, destroy_runs_the_shutdown_once_and_ends_the_loop)
{
    make_window(1024, 768, 32);
    keep_open = true;
    main_flow_hook = [this] {
        window = frame.main_window;
        // The loop ends when the window is destroyed: the shutdown posts WM_QUIT.
        winsim::post_message(window, WM_MOUSEMOVE, 0, 0);
        winsim::post_message(window, WM_CLOSE, 0, 0);
        return true;
    };
    EXPECT_EQ(0, frame_main(winsim::app_instance(), SW_SHOW));
    EXPECT_EQ(LoadCursorA(nullptr, IDC_ARROW), frame.current_cursor);
    EXPECT_TRUE(frame.shutdown_done);
    winsim::clear_gdi_log();
    frame_shutdown();
    EXPECT_TRUE(winsim::gdi_log().empty());
}

TEST_F(status_window_test, palette_on_an_eight_bit_display)
{
    make_window(1024, 768, 8);
    main_flow_hook = [this] {
        window = frame.main_window;
        EXPECT_TRUE(frame.palette_device);
        winsim::clear_gdi_log();
        EXPECT_EQ(1, main_window_proc(window, WM_QUERYNEWPALETTE, 0, 0));
        main_window_proc(window, WM_PALETTECHANGED, (WPARAM)window, 0);
        main_window_proc(window, WM_PALETTECHANGED, (WPARAM)0x999, 0);
        return false;
    };
    frame_main(winsim::app_instance(), SW_SHOW);
    const auto& log = winsim::gdi_log();
    strings seen(log.begin(), log.begin() + 15);
    EXPECT_EQ((strings{"GetDC(window)", "SelectPalette(window,app,0)", "RealizePalette(window)",
                       "InvalidateRect(window,all,1)", "ReleaseDC(window)",
                       "DefWindowProcA(0x0311)",
                       "GetDC(window)", "SelectPalette(window,app,0)", "RealizePalette(window)",
                       "UpdateColors(window)", "InvalidateRect(window,all,1)", "ReleaseDC(window)",
                       "DefWindowProcA(0x0311)",
                       "SelectPalette(screen,default,1)", "RealizePalette(screen)"}),
              seen);
    EXPECT_EQ("DeleteObject(app)", log.at(15));
    EXPECT_EQ("DeleteDC(screen)", log.at(16));
    EXPECT_EQ(nullptr, frame.app_palette);
}

TEST_F(status_window_test, no_palette_on_deeper_displays)
{
    for (int bits : {16, 24, 32}) {
        SCOPED_TRACE(bits);
        winsim::reset();
        reset_frame();
        make_window(1024, 768, bits);
        frame_main(winsim::app_instance(), SW_SHOW);
        EXPECT_FALSE(frame.palette_device);
        EXPECT_TRUE(winsim::created_palette_entries().empty());
    }
}

TEST(palette, holds_the_fixed_colours_and_every_cube_colour_once)
{
    PALETTEENTRY entries[256];
    fill_palette_entries(entries);
    auto rgb = [&](int i) {
        return (entries[i].peRed << 16) | (entries[i].peGreen << 8) | entries[i].peBlue;
    };
    EXPECT_EQ(0x000000, rgb(0));
    EXPECT_EQ(0xC0C0C0, rgb(7));
    EXPECT_EQ(0xC0DCC0, rgb(8));
    EXPECT_EQ(0x1D3652, rgb(247));
    EXPECT_EQ(0x808080, rgb(248));
    EXPECT_EQ(0xFFFFFF, rgb(255));
    int cube_seen = 0;
    for (int r = 0; r < 6; r++)
        for (int g = 0; g < 6; g++)
            for (int b = 0; b < 6; b++) {
                int want = (r * 51 << 16) | (g * 51 << 8) | b * 51, found = 0;
                for (int i = 0; i < 256; i++) {
                    if (rgb(i) != want)
                        continue;
                    found++;
                    bool allowed = i == 0 || (i >= 249) || (i >= 10 && i <= 13) ||
                                   (i >= 29 && i <= 232);
                    EXPECT_TRUE(allowed) << "cube colour at entry " << i;
                }
                EXPECT_EQ(1, found) << std::hex << want;
                cube_seen += found;
            }
    EXPECT_EQ(216, cube_seen);
    for (int i = 0; i < 256; i++)
        EXPECT_EQ(0, entries[i].peFlags);
}

}  // namespace
