// Fuzz target: any template and data argument through format_text and the message functions.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include <winsim/desktop_control.h>

#include "frame/messages.h"
#include "fuzz_support.h"
#include "product_constants.h"

namespace {

// Every call passes this many arguments, so no placeholder reads past them.
const int PLACEHOLDER_LIMIT = 8;

void check_terminated(const char* text, size_t size)
{
    if (!memchr(text, 0, size))
        abort();
}

// Keeps at most PLACEHOLDER_LIMIT '%' in the template, each of which could take one argument.
// Widths, precisions and wide string placeholders stay as they come.
std::string bounded_template(std::string text)
{
    int percent = 0;
    for (char& c : text) {
        if (c == '%' && ++percent > PLACEHOLDER_LIMIT)
            c = '_';
    }
    return text;
}

void check_message_boxes()
{
    check_terminated(messages.message_text, sizeof messages.message_text);
    check_terminated(messages.work_text, sizeof messages.work_text);
    check_terminated(messages.ready_text, sizeof messages.ready_text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz_reset("Install_" DLL_BASE_NAME);
    fuzz_reader in{data, size};
    size_t buffer_size = 1 + in.byte() * 8;  // 1 .. 2041 bytes
    uint8_t answer = in.byte();
    // The template ends at the first zero byte; the data argument is the rest.
    std::string rest = in.bytes(size);
    size_t zero = rest.find('\0');
    std::string template_text = bounded_template(rest.substr(0, zero));
    std::string argument = zero == std::string::npos ? "" : rest.substr(zero + 1);
    // The argument ends in zeros enough for a narrow and a wide reading (%S, %ls).
    argument.append(4, '\0');
    const char* t = template_text.c_str();
    const char* a = argument.c_str();

    char* buffer = (char*)malloc(buffer_size);
    format_text_args(buffer, buffer_size, t, a, a, a, a, a, a, a, a);
    check_terminated(buffer, buffer_size);
    format_text_args(buffer, buffer_size, "%s", a);
    check_terminated(buffer, buffer_size);
    format_text_args(buffer, buffer_size, as_ready_text(a));
    check_terminated(buffer, buffer_size);
    std::string ready = as_ready_text(a);
    ready.append(4, '\0');
    format_text_args(buffer, buffer_size, t, ready.c_str(), ready.c_str(), ready.c_str(),
                     ready.c_str(), ready.c_str(), ready.c_str(), ready.c_str(), ready.c_str());
    check_terminated(buffer, buffer_size);
    free(buffer);

    int answers[] = {IDOK, IDYES, IDNO, IDCANCEL, 0};
    winsim::script_answers({answers[answer % 5], answers[answer / 5 % 5], IDOK, IDOK, IDOK});
    show_info(t, a, a, a, a, a, a, a, a);
    check_message_boxes();
    show_info(as_ready_text(a));
    check_message_boxes();
    ask_question(t, a, a, a, a, a, a, a, a);
    check_message_boxes();
    show_warning(as_ready_text(a));
    check_message_boxes();
    show_warning_with_caption(a, t, a, a, a, a, a, a, a, a);
    check_message_boxes();
    record_error(t, a, a, a, a, a, a, a, a);
    check_terminated(error_record.error_context_text, sizeof error_record.error_context_text);
    return 0;
}
