// The COM and shell calls the shortcuts and folder lookups rely on, checked against Windows and winsim.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include "contract_support.h"

#ifndef _WIN32
#include <winsim/control.h>
#include <winsim/desktop_control.h>
#endif

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#ifndef SW_SHOWMINNOACTIVE
#define SW_SHOWMINNOACTIVE 7
#endif

namespace {

typedef HRESULT(WINAPI* known_folder_path_function)(REFKNOWNFOLDERID id, DWORD flags, HANDLE token, PWSTR* path);

// A path as the UTF-16 text IPersistFile takes.
std::vector<WCHAR> wide(const std::string& path) {
    std::vector<WCHAR> text(MAX_PATH);
    EXPECT_GT(MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, text.data(), MAX_PATH), 0);
    return text;
}

bool file_exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void write_file(const std::string& path, const char* contents) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, file) << GetLastError();
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file, contents, static_cast<DWORD>(std::strlen(contents)), &written, NULL));
    ASSERT_TRUE(CloseHandle(file));
}

class shell_contract : public ::testing::Test {
protected:
    void SetUp() override {
#ifndef _WIN32
        winsim::reset();
        winsim::set_wow64(true, true);  // a 32-bit program on 64-bit Windows, as under Wine
#endif
        char temp[MAX_PATH];
        ASSERT_GT(GetTempPathA(MAX_PATH, temp), 0u);
        folder_ = std::string(temp) + "kbshell_" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        remove_folder();  // left by an interrupted run
        ASSERT_TRUE(CreateDirectoryA(folder_.c_str(), NULL)) << GetLastError();
    }
    void TearDown() override {
        if (file_) file_->Release();
        if (link_) link_->Release();
        if (initialised_) CoUninitialize();
        remove_folder();
        EXPECT_FALSE(file_exists(folder_));
    }

    void remove_folder() {
        for (const std::string& name : created_) DeleteFileA((folder_ + "\\" + name).c_str());
        if (!wide_created_.empty()) DeleteFileW(wide_created_.data());
        RemoveDirectoryA(folder_.c_str());
    }
    // A path in the test's folder, removed again at the end.
    std::string path_of(const char* name) {
        created_.push_back(name);
        return folder_ + "\\" + name;
    }

    // COM for the test, and a new shell link with its IPersistFile.
    void make_link(IShellLinkA** link, IPersistFile** file) {
        if (!initialised_) {
            ASSERT_EQ(S_OK, CoInitialize(NULL));
            initialised_ = true;
        }
        ASSERT_EQ(S_OK, CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                         reinterpret_cast<void**>(link)));
        ASSERT_EQ(S_OK, (*link)->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(file)));
    }

    std::string folder_;
    std::vector<std::string> created_;
    std::vector<WCHAR> wide_created_;  // a name the 8-bit calls cannot spell
    bool initialised_ = false;
    IShellLinkA* link_ = NULL;
    IPersistFile* file_ = NULL;
};

// --- COM ---

TEST_F(shell_contract, co_initialize_gives_s_ok_first_and_s_false_when_already_initialised) {
    EXPECT_EQ(S_OK, CoInitialize(NULL));
    EXPECT_EQ(S_FALSE, CoInitialize(NULL));
    CoUninitialize();
    CoUninitialize();
    EXPECT_EQ(S_OK, CoInitialize(NULL));
    CoUninitialize();
}

TEST_F(shell_contract, co_create_instance_before_co_initialize_fails) {
    void* object = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(CO_E_NOTINITIALIZED,
              CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkA, &object));
    EXPECT_EQ(nullptr, object);
}

TEST_F(shell_contract, co_create_instance_of_the_shell_link_for_another_interface_fails) {
    ASSERT_EQ(S_OK, CoInitialize(NULL));
    initialised_ = true;
    void* object = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(E_NOINTERFACE, CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IMalloc, &object));
    EXPECT_EQ(nullptr, object);
}

// --- the shell link ---

TEST_F(shell_contract, a_new_shell_link_is_empty_and_clean) {
    make_link(&link_, &file_);
    IUnknown* from_link = NULL;
    IUnknown* from_file = NULL;
    ASSERT_EQ(S_OK, link_->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&from_link)));
    ASSERT_EQ(S_OK, file_->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&from_file)));
    EXPECT_EQ(from_link, from_file);
    from_link->Release();
    from_file->Release();

    CLSID class_id;
    std::memset(&class_id, sentinel, sizeof class_id);
    EXPECT_EQ(S_OK, file_->GetClassID(&class_id));
    EXPECT_TRUE(IsEqualCLSID(CLSID_ShellLink, class_id));
    EXPECT_EQ(S_FALSE, file_->IsDirty());
    char path[MAX_PATH + 1];
    std::memset(path, sentinel, sizeof path);
    EXPECT_EQ(S_FALSE, link_->GetPath(path, MAX_PATH, NULL, 0));
    EXPECT_EQ('\0', path[0]);
    int show = 0;
    EXPECT_EQ(S_OK, link_->GetShowCmd(&show));
    EXPECT_EQ(SW_SHOWNORMAL, show);
}

TEST_F(shell_contract, set_path_of_an_existing_file_is_s_ok_and_of_a_missing_one_s_false) {
    std::string target = path_of("target.txt");
    write_file(target, "x");
    make_link(&link_, &file_);
    EXPECT_EQ(S_OK, link_->SetPath(target.c_str()));
    EXPECT_EQ(S_OK, file_->IsDirty());
    char path[MAX_PATH];
    EXPECT_EQ(S_OK, link_->GetPath(path, MAX_PATH, NULL, 0));
    EXPECT_EQ(target, path);

    std::string missing = folder_ + "\\missing.pdf";
    EXPECT_EQ(S_FALSE, link_->SetPath(missing.c_str()));
    EXPECT_EQ(S_OK, link_->GetPath(path, MAX_PATH, NULL, 0));
    EXPECT_EQ(missing, path);
}

TEST_F(shell_contract, save_then_load_gives_the_fields_back) {
    std::string target = path_of("Schaubild.pdf");
    std::string link_file = path_of("Schaubild.LNK");
    write_file(target, "%PDF-1.4");
    make_link(&link_, &file_);
    EXPECT_EQ(S_OK, link_->SetPath(target.c_str()));
    EXPECT_EQ(S_OK, link_->SetArguments("/seite 2"));
    EXPECT_EQ(S_OK, link_->SetWorkingDirectory(folder_.c_str()));
    EXPECT_EQ(S_OK, link_->SetDescription("Tastaturbelegung Q7 (V3.08) Schaubild"));
    EXPECT_EQ(S_OK, link_->SetShowCmd(SW_SHOWMINNOACTIVE));
    EXPECT_EQ(S_OK, link_->SetIconLocation((folder_ + "\\Schaubild.ico").c_str(), 3));
    std::vector<WCHAR> name = wide(link_file);
    ASSERT_EQ(S_OK, file_->Save(name.data(), TRUE));
    EXPECT_EQ(S_OK, file_->SaveCompleted(name.data()));
    EXPECT_EQ(S_FALSE, file_->IsDirty());
    EXPECT_TRUE(file_exists(link_file));

    IShellLinkA* loaded = NULL;
    IPersistFile* loaded_file = NULL;
    make_link(&loaded, &loaded_file);
    ASSERT_EQ(S_OK, loaded_file->Load(name.data(), STGM_READ));
    EXPECT_EQ(S_FALSE, loaded_file->IsDirty());
    char text[MAX_PATH + 1];
    std::memset(text, sentinel, sizeof text);
    EXPECT_EQ(S_OK, loaded->GetPath(text, MAX_PATH, NULL, 0));
    EXPECT_EQ(target, text);
    EXPECT_EQ(S_OK, loaded->GetArguments(text, MAX_PATH));
    EXPECT_STREQ("/seite 2", text);
    EXPECT_EQ(S_OK, loaded->GetWorkingDirectory(text, MAX_PATH));
    EXPECT_EQ(folder_, text);
    EXPECT_EQ(S_OK, loaded->GetDescription(text, MAX_PATH));
    EXPECT_STREQ("Tastaturbelegung Q7 (V3.08) Schaubild", text);
    int icon_index = -1;
    EXPECT_EQ(S_OK, loaded->GetIconLocation(text, MAX_PATH, &icon_index));
    EXPECT_EQ(folder_ + "\\Schaubild.ico", text);
    EXPECT_EQ(3, icon_index);
    int show = 0;
    EXPECT_EQ(S_OK, loaded->GetShowCmd(&show));
    loaded_file->Release();
    loaded->Release();
    if (running_on_wine()) GTEST_SKIP() << "Wine 8 writes the show command into the link but Load does not read it back";
    EXPECT_EQ(SW_SHOWMINNOACTIVE, show);
}

TEST_F(shell_contract, save_into_a_missing_folder_fails_with_path_not_found) {
    std::string target = path_of("target.txt");
    write_file(target, "x");
    make_link(&link_, &file_);
    ASSERT_EQ(S_OK, link_->SetPath(target.c_str()));
    std::string link_file = folder_ + "\\missing\\a.LNK";
    std::vector<WCHAR> name = wide(link_file);
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND), file_->Save(name.data(), TRUE));
    EXPECT_FALSE(file_exists(link_file));
    EXPECT_EQ(S_OK, file_->IsDirty());
}

TEST_F(shell_contract, load_of_a_missing_file_or_a_file_that_is_no_link_fails) {
    std::string not_a_link = path_of("text.lnk");
    write_file(not_a_link, "hello\r\n");
    make_link(&link_, &file_);
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), file_->Load(wide(folder_ + "\\none.lnk").data(), STGM_READ));
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND),
              file_->Load(wide(folder_ + "\\missing\\none.lnk").data(), STGM_READ));
    EXPECT_EQ(E_FAIL, file_->Load(wide(not_a_link).data(), STGM_READ));
}

// The shell writes a link by its wide name, which may hold any character.
TEST_F(shell_contract, a_link_saved_by_a_name_outside_code_page_1252_is_deleted_by_it) {
    std::string target = path_of("target.txt");
    write_file(target, "x");
    make_link(&link_, &file_);
    ASSERT_EQ(S_OK, link_->SetPath(target.c_str()));
    std::vector<WCHAR> name = wide(folder_);
    name.resize(folder_.size());
    const WCHAR link_name[] = {'\\', 0x0141, 'a', '.', 'l', 'n', 'k', 0};  // "\Ła.lnk"
    name.insert(name.end(), link_name, link_name + sizeof link_name / sizeof link_name[0]);
    wide_created_ = name;
    ASSERT_EQ(S_OK, file_->Save(name.data(), TRUE));
    EXPECT_EQ(S_OK, file_->Load(name.data(), STGM_READ));

    SetLastError(preset);
    EXPECT_TRUE(DeleteFileW(name.data()));
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), file_->Load(name.data(), STGM_READ));
}

// Since Windows 10 the shell link lives in windows.storage.dll, which is not one of the
// KnownDLLs: with redirection off a 32-bit process finds the 64-bit file in the system folder.
TEST_F(shell_contract, the_shell_link_of_windows_10_cannot_be_made_with_redirection_off) {
    if (running_on_wine()) GTEST_SKIP() << "Wine's 32-bit loader maps its own DLLs whatever the redirection";
    BOOL wow64 = FALSE;
    ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64));
    if (!wow64) GTEST_SKIP() << "not a 32-bit process on 64-bit Windows";
    ASSERT_EQ(S_OK, CoInitialize(NULL));
    initialised_ = true;
    PVOID old_value = NULL;
    ASSERT_TRUE(Wow64DisableWow64FsRedirection(&old_value));
    void* object = reinterpret_cast<void*>(0x1234);
    HRESULT result = CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkA, &object);
    ASSERT_TRUE(Wow64RevertWow64FsRedirection(old_value));
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_BAD_EXE_FORMAT), result);
    EXPECT_EQ(nullptr, object);
}

// --- special folders ---

std::string special_folder(IMalloc* allocator, int csidl) {
    LPITEMIDLIST items = reinterpret_cast<LPITEMIDLIST>(0x1234);
    HRESULT result = SHGetSpecialFolderLocation(NULL, csidl, &items);
    EXPECT_EQ(S_OK, result) << csidl;
    if (FAILED(result)) return std::string();
    EXPECT_NE(nullptr, items);
    EXPECT_EQ(1, allocator->DidAlloc(items));
    char path[MAX_PATH + 1];
    std::memset(path, sentinel, sizeof path);
    EXPECT_TRUE(SHGetPathFromIDListA(items, path));
    allocator->Free(items);
    return path;
}

std::string upper(std::string text) {
    for (char& c : text) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    return text;
}

TEST_F(shell_contract, the_desktop_directory_is_an_existing_folder) {
    IMalloc* allocator = NULL;
    ASSERT_EQ(S_OK, SHGetMalloc(&allocator));
    ASSERT_NE(nullptr, allocator);
    std::string desktop = special_folder(allocator, CSIDL_DESKTOPDIRECTORY);
    allocator->Release();
    ASSERT_GT(desktop.size(), 3u);
    EXPECT_EQ(":\\", desktop.substr(1, 2));
    EXPECT_NE('\\', desktop[desktop.size() - 1]);
    DWORD attributes = GetFileAttributesA(desktop.c_str());
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, attributes);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The wide folder call and the known folder, which the programs find at run time, agree.
TEST_F(shell_contract, the_desktop_of_the_wide_folder_call_is_the_known_folder) {
    WCHAR path[MAX_PATH + 1];
    std::memset(path, sentinel, sizeof path);
    ASSERT_EQ(S_OK, SHGetFolderPathW(NULL, CSIDL_DESKTOPDIRECTORY, NULL, SHGFP_TYPE_CURRENT, path));
    const size_t length = std::find(path, path + MAX_PATH, 0) - path;
    ASSERT_TRUE(length > 3 && length < MAX_PATH) << length;
    EXPECT_NE('\\', path[length - 1]);
    EXPECT_EQ((WCHAR)(sentinel * 0x101), path[length + 1]);
    EXPECT_EQ((WCHAR)(sentinel * 0x101), path[MAX_PATH]);

    known_folder_path_function known_folder_path = reinterpret_cast<known_folder_path_function>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA("shell32.dll"), "SHGetKnownFolderPath")));
    ASSERT_NE(nullptr, known_folder_path);
    PWSTR known = NULL;
    ASSERT_EQ(S_OK, known_folder_path(FOLDERID_Desktop, 0, NULL, &known));
    EXPECT_EQ(std::basic_string<WCHAR>(path), std::basic_string<WCHAR>(known));
    CoTaskMemFree(known);

    char narrow[MAX_PATH];
    ASSERT_GT(WideCharToMultiByte(CP_ACP, 0, path, -1, narrow, MAX_PATH, NULL, NULL), 0);
    DWORD attributes = GetFileAttributesA(narrow);
    EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) << narrow;
}

TEST_F(shell_contract, the_programs_folders_are_in_the_start_menus_of_the_application_data) {
    IMalloc* allocator = NULL;
    ASSERT_EQ(S_OK, SHGetMalloc(&allocator));
    const std::string start_menu_programs = "\\Microsoft\\Windows\\Start Menu\\Programs";
    EXPECT_EQ(upper(special_folder(allocator, CSIDL_APPDATA) + start_menu_programs),
              upper(special_folder(allocator, CSIDL_PROGRAMS)));
    EXPECT_EQ(upper(special_folder(allocator, CSIDL_COMMON_APPDATA) + start_menu_programs),
              upper(special_folder(allocator, CSIDL_COMMON_PROGRAMS)));
    std::string common_desktop = special_folder(allocator, CSIDL_COMMON_DESKTOPDIRECTORY);
    DWORD attributes = GetFileAttributesA(common_desktop.c_str());
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, attributes) << common_desktop;
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY) << common_desktop;
    allocator->Release();
}

TEST_F(shell_contract, program_files_of_a_wow64_process_is_the_32_bit_folder) {
    BOOL wow64 = FALSE;
    ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64));
    if (!wow64) GTEST_SKIP() << "not a 32-bit process on 64-bit Windows";
    IMalloc* allocator = NULL;
    ASSERT_EQ(S_OK, SHGetMalloc(&allocator));
    std::string program_files = special_folder(allocator, CSIDL_PROGRAM_FILES);
    EXPECT_EQ(upper(special_folder(allocator, CSIDL_PROGRAM_FILESX86)), upper(program_files));
    EXPECT_NE(std::string::npos, upper(program_files).find("(X86)")) << program_files;
    allocator->Release();
}

}  // namespace
