// Shared fixture of the host unit tests: a clean simulated machine and clean program state per test.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include <winsim/control.h>
#include <winsim/registry_control.h>

#include "layout_registry/layout_inventory.h"
#include "layout_registry/registry_access.h"

// Resets winsim and every program-wide state of kbcommon before each test.
class kb_test : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Applies .reg text (without the header line) to the simulated registry; fails the test
    // at the caller's line when the text is malformed.
    void seed(const char* reg_text);
    // The subtree below a full key path, in .reg form.
    std::string dump(const char* key_path);
};

#define SEED(text) do { SCOPED_TRACE("seeded here"); seed(text); } while (0)

// A German Windows as a fresh user sees it: Preload 1 = 00000407, an empty Substitutes key,
// and the standard German-family layout keys.
extern const char* const german_windows_fixture;

// The caption the file operations' warnings get in the tests (the installer's by default).
extern const char* test_warning_caption;
