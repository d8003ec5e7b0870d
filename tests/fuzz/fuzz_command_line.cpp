// Fuzz target: any bytes as a UTF-16 command line, split into arguments by parse_command_line.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include <winsim/desktop_control.h>

#include "frame/startup.h"
#include "fuzz_support.h"
#include "product_constants.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz_reset("Install_" DLL_BASE_NAME);
    std::u16string command_line;
    for (size_t i = 0; i + 1 < size; i += 2)
        command_line.push_back((char16_t)(data[i] | data[i + 1] << 8));
    winsim::set_command_line(command_line);
    parse_command_line();
    if (frame.argument_count < -1 || frame.argument_count > MAX_ARGUMENTS)
        abort();
    for (int i = 0; i < frame.argument_count; i++) {
        if (!memchr(frame.arguments[i], 0, MAX_PATH))
            abort();
    }
    return 0;
}
