// The simulation's tests put keys in place from .reg text written without its header line.
#pragma once

#include <winsim/registry_control.h>

#include <gtest/gtest.h>

#include <string>

inline void seed_registry(const char* text) {
    std::string error;
    ASSERT_TRUE(winsim::reg_import((std::string("Windows Registry Editor Version 5.00\n\n") + text).c_str(), &error))
        << error;
}
