// Contract of a DLL's file while the DLL is loaded, which Windows keeps mapped as an image, for the simulation and for Windows.
#include "file_contract_support.h"

#include <string.h>

#include <string>
#include <vector>

namespace {

// A copy of the stand-in layout DLL that the build puts beside the test program; the simulation
// loads any file that begins with "MZ".
bool copy_test_dll(const std::string& path) {
#ifdef _WIN32
    char program[MAX_PATH];
    DWORD length = GetModuleFileNameA(NULL, program, sizeof program);
    if (length == 0 || length >= sizeof program) return false;
    std::string source(program, length);
    source = source.substr(0, source.rfind('\\') + 1) + "kbcontract_layout.dll";
    return CopyFileA(source.c_str(), path.c_str(), TRUE) != FALSE;
#else
    return write_file(path, std::string("MZ") + std::string(510, '\0'));
#endif
}

HMODULE load(const std::string& path) {
    return LoadLibraryExA(path.c_str(), NULL, LOAD_LIBRARY_SEARCH_SYSTEM32);
}

// Each test has a copy of the DLL in its folder, loaded; the test frees it before its end.
class loaded_dll_contract : public file_contract {
protected:
    void SetUp() override {
        file_contract::SetUp();
        if (HasFatalFailure()) return;
        dll_ = path("layout.dll");
        ASSERT_TRUE(copy_test_dll(dll_));
        contents_ = read_file(dll_);
        module_ = load(dll_);
        ASSERT_NE((HMODULE)NULL, module_) << GetLastError();
    }

    void TearDown() override {
        if (module_) FreeLibrary(module_);
        file_contract::TearDown();
    }

    bool free_dll() {
        BOOL freed = FreeLibrary(module_);
        module_ = NULL;
        return freed != FALSE;
    }

    std::string dll_, contents_;
    HMODULE module_ = NULL;
};

TEST_F(loaded_dll_contract, the_file_cannot_be_deleted_until_the_last_load_is_freed) {
    HMODULE again = load(dll_);
    EXPECT_EQ(module_, again);
    EXPECT_TRUE(FreeLibrary(again));
    expect_failures({{dll_, ERROR_ACCESS_DENIED}}, [](const char* p) { return DeleteFileA(p) != FALSE; });
    ASSERT_TRUE(free_dll());
    EXPECT_TRUE(DeleteFileA(dll_.c_str()));
}

// Whatever would write, replace or delete the file fails; reading it works.
TEST_F(loaded_dll_contract, the_file_can_be_read_but_not_changed) {
    ASSERT_TRUE(write_file(path("newer.dll"), "MZ newer"));
    typedef bool (*change_function)(const std::string& dll, const std::string& newer);
    struct { const char* call; change_function change; DWORD error; } cases[] = {
        {"DeleteFileA", [](const std::string& dll, const std::string&) { return DeleteFileA(dll.c_str()) != FALSE; },
         ERROR_ACCESS_DENIED},
        {"DeleteFileW",
         [](const std::string& dll, const std::string&) { return DeleteFileW(wide_path(dll).data()) != FALSE; },
         ERROR_ACCESS_DENIED},
        {"CreateFileA",
         [](const std::string& dll, const std::string&) {
             HANDLE file = CreateFileA(dll.c_str(), GENERIC_WRITE, 7, NULL, OPEN_EXISTING, 0, NULL);
             return file != INVALID_HANDLE_VALUE && CloseHandle(file);
         },
         ERROR_SHARING_VIOLATION},
        {"CreateFileW",
         [](const std::string& dll, const std::string&) {
             HANDLE file = CreateFileW(wide_path(dll).data(), GENERIC_WRITE, 7, NULL, CREATE_ALWAYS, 0, NULL);
             return file != INVALID_HANDLE_VALUE && CloseHandle(file);
         },
         ERROR_SHARING_VIOLATION},
        {"CopyFileA",
         [](const std::string& dll, const std::string& newer) {
             return CopyFileA(newer.c_str(), dll.c_str(), FALSE) != FALSE;
         },
         ERROR_SHARING_VIOLATION},
        {"MoveFileExA",
         [](const std::string& dll, const std::string& newer) {
             return MoveFileExA(newer.c_str(), dll.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
         },
         ERROR_ACCESS_DENIED},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.call);
        SetLastError(preset);
        EXPECT_FALSE(c.change(dll_, path("newer.dll")));
        EXPECT_EQ(c.error, GetLastError());
    }
    EXPECT_EQ(contents_, read_file(dll_));
    EXPECT_EQ("MZ newer", read_file(path("newer.dll")));
}

TEST_F(loaded_dll_contract, the_file_can_be_renamed_and_stays_undeletable) {
    ASSERT_TRUE(MoveFileExA(dll_.c_str(), path("old.dll").c_str(), 0)) << GetLastError();
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(dll_.c_str()));
    expect_failures({{path("old.dll"), ERROR_ACCESS_DENIED}}, [](const char* p) { return DeleteFileA(p) != FALSE; });
    ASSERT_TRUE(free_dll());
    EXPECT_TRUE(DeleteFileA(path("old.dll").c_str()));
}

// The loader reads the file and shares only reading and deleting: a file open for writing fails.
TEST_F(loaded_dll_contract, a_dll_open_for_writing_or_missing_is_not_loaded) {
    ASSERT_TRUE(copy_test_dll(path("written.dll")));
    HANDLE writer = CreateFileA(path("written.dll").c_str(), GENERIC_WRITE, 7, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, writer);
    expect_failures({{path("written.dll"), ERROR_SHARING_VIOLATION}, {path("missing.dll"), ERROR_MOD_NOT_FOUND}},
                    [](const char* p) { return load(p) != NULL; });
    EXPECT_TRUE(CloseHandle(writer));
}

// The way to remove or replace a loaded DLL: the next start of Windows does it.
TEST_F(loaded_dll_contract, delay_until_reboot_takes_the_file_as_it_is) {
    ASSERT_TRUE(write_file(path("newer.dll"), "MZ newer"));
    saved_pending_operations pending;
    ASSERT_TRUE(pending.save());

    SetLastError(preset);
    BOOL deleted = MoveFileExA(dll_.c_str(), NULL, MOVEFILE_DELAY_UNTIL_REBOOT);
    if (!deleted && GetLastError() == ERROR_ACCESS_DENIED && !running_on_wine()) {
        pending.restore();
        GTEST_SKIP() << "MOVEFILE_DELAY_UNTIL_REBOOT needs an administrator";
    }
    EXPECT_TRUE(deleted) << GetLastError();
    EXPECT_TRUE(MoveFileExA(path("newer.dll").c_str(), dll_.c_str(),
                            MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING)) << GetLastError();
    const std::string added = "\\??\\" + dll_ + std::string(2, '\0') + "\\??\\" + path("newer.dll") +
                              std::string(1, '\0') + "!\\??\\" + dll_ + std::string(2, '\0');
    const std::string now = pending.now();
    EXPECT_TRUE(now.size() >= added.size() && now.compare(now.size() - added.size(), added.size(), added) == 0);
    EXPECT_EQ(contents_, read_file(dll_));
    pending.restore();
}

}  // namespace
