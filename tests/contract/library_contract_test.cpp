// Contract of the library loader for a DLL that is not there, loaded as the programs load input.dll: from the system folder only.
#include <windows.h>

#include <gtest/gtest.h>

#include "contract_support.h"

namespace {

const char missing_dll[] = "kbcontract_no_such_library.dll";

typedef BOOL(WINAPI* set_default_dll_directories_function)(DWORD);

// The programs limit the DLL search to the system folder as they start; each case here does the
// same first.
class library_contract : public ::testing::Test {
protected:
    void SetUp() override
    {
        HMODULE kernel32 = GetModuleHandleA("kernel32");
        ASSERT_NE(nullptr, kernel32);
        set_default_dll_directories_function set_directories =
            reinterpret_cast<set_default_dll_directories_function>(reinterpret_cast<void (*)()>(
                GetProcAddress(kernel32, "SetDefaultDllDirectories")));
        ASSERT_NE(nullptr, set_directories);
        ASSERT_TRUE(set_directories(LOAD_LIBRARY_SEARCH_SYSTEM32));
    }
};

TEST_F(library_contract, load_library_ex_from_the_system_folder_of_a_missing_dll_fails_with_mod_not_found)
{
    SetLastError(preset);
    EXPECT_EQ(nullptr, LoadLibraryExA(missing_dll, NULL, LOAD_LIBRARY_SEARCH_SYSTEM32));
    EXPECT_EQ((DWORD)ERROR_MOD_NOT_FOUND, GetLastError());
}

TEST_F(library_contract, load_library_of_a_missing_dll_fails_with_mod_not_found)
{
    SetLastError(preset);
    EXPECT_EQ(nullptr, LoadLibraryA(missing_dll));
    EXPECT_EQ((DWORD)ERROR_MOD_NOT_FOUND, GetLastError());
}

}  // namespace
