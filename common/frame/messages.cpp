// Message boxes, the text formatter with its fixed fallbacks, and the Windows error record.
#include "frame/messages.h"

#include <string.h>

#include "frame/frame.h"

error_record_state error_record;
message_state messages;

#define FORMAT_MISSING_TEXT "<INTERNER FEHLER: Formatstring fehlt>"
#define FORMAT_EMPTY_TEXT "<INTERNER FEHLER: Formatstring leer>"
#define ACCESS_DENIED_HINT \
    " (übliche Ursache: Datei vorhanden, aber anderswo geöffnet, oder Zugriff durch System " \
    "oder Sicherheitssoftware blockiert)"

// wvsprintfA writes at most this many bytes, the terminating zero included.
#define WVSPRINTF_LIMIT 1024

void reset_messages()
{
    memset(&error_record, 0, sizeof error_record);
    memset(&messages, 0, sizeof messages);
}

static void copy_text(char* destination, size_t size, const char* source)
{
    if (size == 0)
        return;
    size_t length = strlen(source);
    if (length >= size)
        length = size - 1;
    memcpy(destination, source, length);
    destination[length] = 0;
}

static void append_text(char* destination, size_t size, const char* source)
{
    size_t used = strlen(destination);
    if (used < size)
        copy_text(destination + used, size - used, source);
}

void format_text(char* destination, size_t size, const char* template_text, va_list arguments)
{
    if (!template_text) {
        copy_text(destination, size, FORMAT_MISSING_TEXT);
        return;
    }
    if (!template_text[0]) {
        copy_text(destination, size, FORMAT_EMPTY_TEXT);
        return;
    }
    if ((unsigned char)template_text[0] == 0x7F && (unsigned char)template_text[1] == 0x7F) {
        copy_text(destination, size, template_text + 2);
        return;
    }
    if (!strchr(template_text, '%')) {
        copy_text(destination, size, template_text);
        return;
    }
    char output[WVSPRINTF_LIMIT + 1];
    format_plain(output, sizeof output, template_text, arguments);
    copy_text(destination, size, output[0] ? output : template_text);
}

void format_plain(char* destination, size_t size, const char* template_text, va_list arguments)
{
    char output[WVSPRINTF_LIMIT + 1];
    output[0] = 0;
    wvsprintfA(output, template_text, arguments);
    output[WVSPRINTF_LIMIT] = 0;
    copy_text(destination, size, output);
}

void format_text_args(char* destination, size_t size, const char* template_text, ...)
{
    va_list arguments;
    va_start(arguments, template_text);
    format_text(destination, size, template_text, arguments);
    va_end(arguments);
}

void describe_windows_error(DWORD code)
{
    error_record.error_context_text[0] = 0;
    char* system_text = 0;
    // Texts with inserts (%1 for a program's name, and so on) are taken as Windows has them:
    // without the flag, they could not be formatted and the box would show the bare code.
    DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                      FORMAT_MESSAGE_IGNORE_INSERTS,
                                  0, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                  (LPSTR)&system_text, 0, 0);
    char* text = error_record.windows_error_text;
    LONG signed_code = (LONG)code;
    if (signed_code >= -65534 && signed_code <= 65535)
        format_text_args(text, WINDOWS_ERROR_TEXT_SIZE, "Windows-Errorcode %d", (int)signed_code);
    else
        format_text_args(text, WINDOWS_ERROR_TEXT_SIZE, "Windows-Errorcode %08lX", code);
    if (length && system_text) {
        append_text(text, WINDOWS_ERROR_TEXT_SIZE, ":\n");
        append_text(text, WINDOWS_ERROR_TEXT_SIZE, system_text);
    }
    if (system_text)
        LocalFree(system_text);
    if (code == ERROR_ACCESS_DENIED)
        append_text(text, WINDOWS_ERROR_TEXT_SIZE, ACCESS_DENIED_HINT);
}

WORD record_last_error()
{
    error_record.last_error_code = GetLastError();
    error_record.last_error_word = (WORD)(error_record.last_error_code & 0xFFFF);
    describe_windows_error(error_record.last_error_code);
    return error_record.last_error_word;
}

WORD record_error(const char* template_text, ...)
{
    record_last_error();
    va_list arguments;
    va_start(arguments, template_text);
    format_text(error_record.error_context_text, sizeof error_record.error_context_text,
                template_text, arguments);
    va_end(arguments);
    return error_record.last_error_word;
}

static void record_failure(const char* template_text, va_list arguments)
{
    record_last_error();
    format_text(error_record.error_context_text, sizeof error_record.error_context_text,
                template_text, arguments);
}

bool record_error_if_failed(BOOL succeeded, const char* template_text, ...)
{
    if (succeeded)
        return false;
    va_list arguments;
    va_start(arguments, template_text);
    record_failure(template_text, arguments);
    va_end(arguments);
    return true;
}

bool call_succeeded(BOOL succeeded, const char* template_text, ...)
{
    if (succeeded)
        return true;
    va_list arguments;
    va_start(arguments, template_text);
    record_failure(template_text, arguments);
    va_end(arguments);
    return false;
}

void expand_line_breaks(char* destination, size_t size, const char* source)
{
    if (size == 0)
        return;
    size_t out = 0;
    for (const unsigned char* p = (const unsigned char*)source; *p; p++) {
        bool control = *p < 32 && *p != '\n' && *p != '\r';
        size_t needed = control ? 2 : 1;
        if (out + needed >= size)
            break;
        if (control) {
            destination[out++] = '\r';
            destination[out++] = '\n';
        } else {
            destination[out++] = (char)*p;
        }
    }
    destination[out] = 0;
}

const char* as_ready_text(const char* text)
{
    copy_text(messages.ready_text, sizeof messages.ready_text, READY_TEXT_MARKER);
    append_text(messages.ready_text, sizeof messages.ready_text, text ? text : "");
    return messages.ready_text;
}

int show_message_box(const char* text, const char* caption, UINT style)
{
    return MessageBoxA(frame.main_window, text, caption, style);
}

static int show_formatted(const char* caption, UINT style, const char* template_text,
                          va_list arguments)
{
    format_text(messages.work_text, sizeof messages.work_text, template_text, arguments);
    expand_line_breaks(messages.message_text, sizeof messages.message_text, messages.work_text);
    return show_message_box(messages.message_text, caption, style);
}

int show_info(const char* template_text, ...)
{
    va_list arguments;
    va_start(arguments, template_text);
    int result = show_formatted(frame.program_name, MB_ICONINFORMATION | MB_OK, template_text,
                                arguments);
    va_end(arguments);
    return result;
}

int ask_question(const char* template_text, ...)
{
    va_list arguments;
    va_start(arguments, template_text);
    int result = show_formatted(frame.program_name, MB_ICONQUESTION | MB_YESNO, template_text,
                                arguments);
    va_end(arguments);
    return result;
}

int show_warning(const char* template_text, ...)
{
    va_list arguments;
    va_start(arguments, template_text);
    int result = show_formatted(frame.program_name, MB_ICONEXCLAMATION | MB_OK, template_text,
                                arguments);
    va_end(arguments);
    return result;
}

int show_warning_with_caption(const char* caption, const char* template_text, ...)
{
    va_list arguments;
    va_start(arguments, template_text);
    int result = show_formatted(caption, MB_ICONEXCLAMATION | MB_OK, template_text, arguments);
    va_end(arguments);
    return result;
}
