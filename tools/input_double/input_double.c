/* Test double of input.dll for the end-to-end tests (built 32-bit and 64-bit): records each InstallLayoutOrTip call in the file that KB_INPUT_DOUBLE_LOG names. */
#include <windows.h>

#ifdef _WIN64
#define DOUBLE_BUILD "64"
#else
#define DOUBLE_BUILD "32"
#endif

/* One record: the build, the text (a space or a character beyond printable ASCII as '?') and
   the flags in hex, e.g. "32 0407:b0020407 00000002". */
#define RECORD_SIZE 600

static int append_text(char* record, int at, const char* text)
{
    while (*text && at < RECORD_SIZE - 1)
        record[at++] = *text++;
    return at;
}

static int append_hex(char* record, int at, DWORD value)
{
    static const char digits[] = "0123456789abcdef";
    int shift;
    for (shift = 28; shift >= 0 && at < RECORD_SIZE - 1; shift -= 4)
        record[at++] = digits[(value >> shift) & 0xF];
    return at;
}

/* Appends the record to the log; a missing or unwritable log changes nothing of the answer. */
static void record_call(LPCWSTR text, DWORD flags)
{
    char path[MAX_PATH], record[RECORD_SIZE];
    DWORD length = GetEnvironmentVariableA("KB_INPUT_DOUBLE_LOG", path, sizeof path);
    int at = 0;
    HANDLE log;
    DWORD written = 0;
    if (length == 0 || length >= sizeof path)
        return;
    at = append_text(record, at, DOUBLE_BUILD " ");
    if (!text) {
        at = append_text(record, at, "(null)");
    } else {
        size_t i;
        for (i = 0; text[i] && at < RECORD_SIZE - 12; i++)
            record[at++] = text[i] > 0x20 && text[i] < 0x7F ? (char)text[i] : '?';
    }
    at = append_text(record, at, " ");
    at = append_hex(record, at, flags);
    record[at++] = '\n';
    log = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_ALWAYS,
                      FILE_ATTRIBUTE_NORMAL, NULL);
    if (log == INVALID_HANDLE_VALUE)
        return;
    WriteFile(log, record, (DWORD)at, &written, NULL);
    CloseHandle(log);
}

/* Exported undecorated (the build links with --kill-at), as Windows' input.dll exports it. */
__declspec(dllexport) BOOL WINAPI InstallLayoutOrTip(LPCWSTR text, DWORD flags)
{
    char fail[8];
    record_call(text, flags);
    if (GetEnvironmentVariableA("KB_INPUT_DOUBLE_FAIL", fail, sizeof fail) != 0)
        return FALSE;
    return TRUE;
}
