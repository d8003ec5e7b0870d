// Contract of the kernel32 and user32 calls the frame relies on, for the simulation and for Windows.
#include <windows.h>

#include <gtest/gtest.h>

#include "contract_support.h"

#include <stdio.h>
#include <string.h>

#include <string>

#ifndef _WIN32
#include <winsim/desktop_control.h>
#endif

namespace {

std::string format(const char* template_text, ...)
{
    char out[1100];
    memset(out, 0xAB, sizeof out);
    va_list arguments;
    va_start(arguments, template_text);
    int length = wvsprintfA(out, template_text, arguments);
    va_end(arguments);
    EXPECT_EQ((int)strlen(out), length);
    return out;
}

TEST(formatting, conversions_of_the_programs_texts)
{
    EXPECT_EQ("Lösche C:\\a b ...", format("Lösche %s ...", "C:\\a b"));
    EXPECT_EQ("-5 4294967291 fffffffb FFFFFFFB", format("%d %u %x %X", -5, -5, -5, -5));
    EXPECT_EQ("-5 00000005 0000000A", format("%ld %08lX %08lX", (LONG)-5, (DWORD)5, (DWORD)10));
    EXPECT_EQ("b0010407 0c00", format("b%03lx0407 %04lx", (DWORD)1, (DWORD)0xc00));
    EXPECT_EQ("b10000407", format("b%03lx0407", (DWORD)0x1000));
    EXPECT_EQ("100%", format("100%%"));
    EXPECT_EQ("[  ab][ab  ][abc][0x1f]", format("[%4s][%-4s][%.3s][%#x]", "ab", "ab", "abcdef", 31));
    EXPECT_EQ("", format("%s", ""));
}

// Windows reports the 1023 characters kept; Wine reports 1024. The programs ignore the count.
TEST(formatting, output_is_cut_at_1023_characters_and_the_zero)
{
    std::string long_text(1500, 'x');
    char out[1100];
    memset(out, 0xAB, sizeof out);
    wsprintfA(out, "%s", long_text.c_str());
    EXPECT_EQ(std::string(1023, 'x'), std::string(out));
    EXPECT_EQ((char)0xAB, out[1024]);
}

TEST(format_message, system_texts_come_allocated_and_end_in_a_line_break)
{
    char* text = (char*)0x1;
    DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM,
                                  nullptr, ERROR_ACCESS_DENIED,
                                  MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), (LPSTR)&text, 0,
                                  nullptr);
    ASSERT_GT(length, 2u);
    ASSERT_NE((char*)0x1, text);
    EXPECT_EQ(length, strlen(text));
    EXPECT_EQ('\r', text[length - 2]);
    EXPECT_EQ('\n', text[length - 1]);
    EXPECT_EQ(nullptr, LocalFree(text));
}

// Error 193, which CreateProcessA gives for a damaged program, has an insert for its name.
TEST(format_message, a_text_with_an_insert_comes_as_it_is_when_inserts_are_ignored)
{
    char* text = nullptr;
    DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                      FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, ERROR_BAD_EXE_FORMAT,
                                  MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), (LPSTR)&text, 0,
                                  nullptr);
    ASSERT_GT(length, 2u);
    ASSERT_NE(nullptr, text);
    EXPECT_NE(nullptr, strstr(text, "%1")) << text;
    EXPECT_EQ(nullptr, LocalFree(text));
}

TEST(format_message, a_text_with_an_insert_fails_without_arguments)
{
    char* text = nullptr;
    SetLastError(0xdeadbeef);
    DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM,
                                  nullptr, ERROR_BAD_EXE_FORMAT,
                                  MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), (LPSTR)&text, 0,
                                  nullptr);
    EXPECT_EQ(0u, length);
    EXPECT_NE(0xdeadbeefu, GetLastError());
}

TEST(format_message, an_unknown_code_gives_nothing)
{
    char* text = nullptr;
    SetLastError(0xdeadbeef);
    DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM,
                                  nullptr, 0x2FFFFFFF, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                  (LPSTR)&text, 0, nullptr);
    EXPECT_EQ(0u, length);
    EXPECT_NE(0xdeadbeefu, GetLastError());
}

typedef BOOL(WINAPI* is_wow64_process2_function)(HANDLE, USHORT*, USHORT*);

// The native machine: x64 in a 64-bit prefix (the 32-bit program runs under WOW64 with the x86
// machine as its own), x86 in a 32-bit one (no WOW64, no machine of its own). On Windows for
// ARM processors it would be ARM64, which these tests do not reach.
TEST(wow64, is_wow64_process2_names_the_native_machine_and_the_guest)
{
#ifndef _WIN32
    winsim::set_wow64(true, true);
#endif
    is_wow64_process2_function is_wow64_process2 =
        reinterpret_cast<is_wow64_process2_function>(reinterpret_cast<void (*)()>(
            GetProcAddress(GetModuleHandleA("kernel32"), "IsWow64Process2")));
    if (!is_wow64_process2)
        GTEST_SKIP() << "kernel32 has no IsWow64Process2 (Windows before 10)";
    BOOL wow64 = FALSE;
    ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64));
    USHORT process_machine = 0xBEEF, native_machine = 0xBEEF;
    ASSERT_TRUE(is_wow64_process2(GetCurrentProcess(), &process_machine, &native_machine));
    printf("IsWow64Process %d, IsWow64Process2 process %04x native %04x\n", (int)wow64,
           (unsigned)process_machine, (unsigned)native_machine);
    EXPECT_EQ(wow64 ? IMAGE_FILE_MACHINE_I386 : IMAGE_FILE_MACHINE_UNKNOWN, process_machine);
    bool windows_64 = wow64 || program_is_64_bit();
    EXPECT_EQ(windows_64 ? IMAGE_FILE_MACHINE_AMD64 : IMAGE_FILE_MACHINE_I386, native_machine);
    USHORT only_process = 0xBEEF;
    EXPECT_TRUE(is_wow64_process2(GetCurrentProcess(), &only_process, nullptr));
    EXPECT_EQ(process_machine, only_process);
}

// The processor Windows runs on, the same for a 32-bit program under WOW64 and a 64-bit one;
// x86 on 32-bit Windows.
TEST(wow64, get_native_system_info_names_the_processor_of_windows)
{
#ifndef _WIN32
    winsim::set_wow64(true, true);
#endif
    BOOL wow64 = FALSE;
    ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64));
    SYSTEM_INFO info;
    memset(&info, sentinel, sizeof info);
    GetNativeSystemInfo(&info);
    bool windows_64 = wow64 || program_is_64_bit();
    EXPECT_EQ(windows_64 ? PROCESSOR_ARCHITECTURE_AMD64 : PROCESSOR_ARCHITECTURE_INTEL,
              info.wProcessorArchitecture);
    EXPECT_EQ(4096u, info.dwPageSize);
}

TEST(wide_to_ansi, code_page_1252_with_its_default_character)
{
    char out[16];
    memset(out, 0xAB, sizeof out);
    const WCHAR text[] = {0x00C4, 0x00DF, 0x20AC, 0x0160, 0x20AD, 'a', 0};
    int written = WideCharToMultiByte(1252, 0, text, -1, out, sizeof out, nullptr, nullptr);
    EXPECT_EQ(7, written);
    EXPECT_STREQ("\xC4\xDF\x80\x8A?a", out);
    EXPECT_EQ((char)0xAB, out[7]);
}

TEST(wide_to_ansi, composite_check_joins_a_letter_and_its_mark)
{
    char out[16];
    const WCHAR text[] = {'A', 0x0308, 'o', 0x0301, 0};
    int written = WideCharToMultiByte(1252, WC_COMPOSITECHECK, text, -1, out, sizeof out, nullptr,
                                      nullptr);
    EXPECT_EQ(3, written);
    EXPECT_STREQ("\xC4\xF3", out);
}

// WC_NO_BEST_FIT_CHARS puts the default character "?" for every character the code page lacks,
// and says so; without it such a character takes its best fit ("Ł" gives "L"), and a "?" of the
// text itself is no default character.
TEST(wide_to_ansi, used_default_char_tells_where_the_default_character_went_in)
{
    const struct { WCHAR ch; DWORD flags; const char* expected; BOOL used_default; } cases[] = {
        {0x0141, WC_NO_BEST_FIT_CHARS, "?", TRUE},
        {0x00E4, WC_NO_BEST_FIT_CHARS, "\xE4", FALSE},
        {'?', WC_NO_BEST_FIT_CHARS, "?", FALSE},
        {0x0141, 0, "L", FALSE},
        {0x20AD, 0, "?", TRUE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ch);
        const WCHAR text[] = {'a', c.ch, 0};
        char out[8];
        memset(out, 0xAB, sizeof out);
        BOOL used_default = 7;
        EXPECT_EQ(3, WideCharToMultiByte(1252, c.flags, text, -1, out, 4, nullptr, &used_default));
        EXPECT_EQ(std::string("a") + c.expected, out);
        EXPECT_EQ((char)0xAB, out[3]);
        EXPECT_EQ(c.used_default, used_default);
    }
}

TEST(wide_to_ansi, output_that_does_not_fit_gives_zero)
{
    char out[8];
    memset(out, 0xAB, sizeof out);
    const WCHAR text[] = {'a', 'b', 'c', 'd', 0};
    SetLastError(0);
    EXPECT_EQ(0, WideCharToMultiByte(1252, 0, text, -1, out, 4, nullptr, nullptr));
    EXPECT_EQ((DWORD)ERROR_INSUFFICIENT_BUFFER, GetLastError());
    EXPECT_EQ(5, WideCharToMultiByte(1252, 0, text, -1, out, 5, nullptr, nullptr));
    EXPECT_STREQ("abcd", out);
    EXPECT_EQ(5, WideCharToMultiByte(1252, 0, text, -1, nullptr, 0, nullptr, nullptr));
}

TEST(module, file_name_is_a_full_path_and_a_short_buffer_is_cut)
{
    char path[MAX_PATH];
    memset(path, 0xAB, sizeof path);
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    ASSERT_GT(length, 3u);
    ASSERT_LT(length, (DWORD)MAX_PATH);
    EXPECT_EQ(length, strlen(path));
    EXPECT_EQ(':', path[1]);
    EXPECT_NE(nullptr, strchr(path, '\\'));

    // A short buffer is filled and the size returned. Windows since Vista ends the text
    // with a zero in the last byte; Wine, like Windows XP, leaves it without one. The
    // programs terminate the path themselves.
    char small[5];
    memset(small, 0xAB, sizeof small);
    SetLastError(0);
    EXPECT_EQ(4u, GetModuleFileNameA(nullptr, small, 4));
    EXPECT_EQ((DWORD)ERROR_INSUFFICIENT_BUFFER, GetLastError());
    EXPECT_EQ(0, memcmp(small, path, 3));
    EXPECT_EQ((char)0xAB, small[4]);
}

TEST(module, kernel32_exports_the_functions_looked_up_at_run_time)
{
    HMODULE kernel32 = GetModuleHandleA("kernel32");
    ASSERT_NE(nullptr, kernel32);
    FARPROC is_wow64 = GetProcAddress(kernel32, "IsWow64Process");
    ASSERT_NE(nullptr, is_wow64);
    typedef BOOL(WINAPI * is_wow64_fn)(HANDLE, PBOOL);
    BOOL wow64 = 2;
    EXPECT_TRUE(reinterpret_cast<is_wow64_fn>(reinterpret_cast<void (*)()>(is_wow64))(
        GetCurrentProcess(), &wow64));
    EXPECT_TRUE(wow64 == TRUE || wow64 == FALSE);
    EXPECT_NE(nullptr, GetProcAddress(kernel32, "SetDefaultDllDirectories"));
    EXPECT_EQ(nullptr, GetProcAddress(kernel32, "NoSuchFunctionAnywhere"));
}

}  // namespace
