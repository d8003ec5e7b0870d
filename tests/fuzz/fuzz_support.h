// Shared pieces of the fuzz targets: a per-input reset of winsim and of every program state.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>

// Resets winsim and the program state of kbcommon and both programs; program_name as given.
void fuzz_reset(const char* program_name);

// Reads the fuzz input piece by piece; past its end every read gives zeros.
struct fuzz_reader {
    const uint8_t* data;
    size_t size;
    size_t at = 0;
    bool done() const { return at >= size; }
    uint8_t byte() { return at < size ? data[at++] : 0; }
    // A length: one byte, or for the top byte values a longer length (up to about 1000).
    size_t length()
    {
        size_t first = byte();
        if (first < 0xF0)
            return first;
        return (first - 0xF0 + 1) * 64 + byte();
    }
    std::string bytes(size_t count)
    {
        std::string text;
        while (count-- && at < size)
            text.push_back((char)data[at++]);
        return text;
    }
};
