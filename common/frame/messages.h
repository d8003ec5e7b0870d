// Message boxes, the text formatter and the record of the last Windows error.
#pragma once

#include <windows.h>

#define WINDOWS_ERROR_TEXT_SIZE 2048
#define MESSAGE_TEXT_SIZE 32000
#define MESSAGE_WORK_SIZE 5500

// Two bytes 0x7F in front of a template make format_text copy the rest unchanged.
#define READY_TEXT_MARKER "\x7F\x7F"

struct error_record_state {
    DWORD last_error_code;
    WORD last_error_word;
    char windows_error_text[WINDOWS_ERROR_TEXT_SIZE];
    char error_context_text[WINDOWS_ERROR_TEXT_SIZE];
};
extern error_record_state error_record;

struct message_state {
    char message_text[MESSAGE_TEXT_SIZE];
    char work_text[MESSAGE_WORK_SIZE];
    // A text that holds data, marked so that no '%' in it is read as a placeholder.
    char ready_text[MESSAGE_WORK_SIZE];
};
extern message_state messages;

void reset_messages();

// Formats into destination (size bytes, always zero-terminated; longer results are cut).
void format_text(char* destination, size_t size, const char* template_text, va_list arguments);
// wvsprintfA alone (its output ends after 1023 characters), cut to the destination's size:
// for texts whose template is the program's own and never missing or empty.
void format_plain(char* destination, size_t size, const char* template_text, va_list arguments);
void format_text_args(char* destination, size_t size, const char* template_text, ...);

void describe_windows_error(DWORD code);
WORD record_last_error();
WORD record_error(const char* template_text, ...);
bool record_error_if_failed(BOOL succeeded, const char* template_text, ...);
// A Windows call's BOOL as the program's one result: true when the call succeeded; otherwise
// false, with the error and the context recorded as record_error_if_failed records them.
bool call_succeeded(BOOL succeeded, const char* template_text, ...);

void expand_line_breaks(char* destination, size_t size, const char* source);

// Marks data (an error text, a path) as a ready text to be shown exactly as it stands.
const char* as_ready_text(const char* text);

int show_message_box(const char* text, const char* caption, UINT style);
int show_info(const char* template_text, ...);
int ask_question(const char* template_text, ...);
int show_warning(const char* template_text, ...);
int show_warning_with_caption(const char* caption, const char* template_text, ...);
