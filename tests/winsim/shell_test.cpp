// Tests of the simulated shell and COM's own rules: balances, reference counts, the allocator, special folders, saved links.
#include <windows.h>
#include <winsim/control.h>
#include <winsim/desktop_control.h>
#include <winsim/files_control.h>
#include <winsim/shell_control.h>

#include <gtest/gtest.h>

#include <string>

namespace {

class winsim_shell : public ::testing::Test {
protected:
    void SetUp() override { winsim::reset(); }
    void TearDown() override {
        EXPECT_EQ(0, winsim::outstanding_com_objects());
        EXPECT_EQ(0, winsim::shell_allocator_references());
        EXPECT_EQ(0, winsim::outstanding_task_allocations());
        winsim::reset();
    }

    // A new shell link with its IPersistFile; COM is initialised for it.
    void make_link() {
        ASSERT_EQ(S_OK, CoInitialize(NULL));
        ASSERT_EQ(S_OK, CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                         reinterpret_cast<void**>(&link_)));
        ASSERT_EQ(S_OK, link_->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file_)));
    }
    void release_link() {
        if (file_) file_->Release();
        if (link_) link_->Release();
        file_ = NULL;
        link_ = NULL;
        CoUninitialize();
    }

    std::string folder_path(int csidl) {
        PIDLIST_ABSOLUTE items = NULL;
        EXPECT_EQ(S_OK, SHGetSpecialFolderLocation(NULL, csidl, &items));
        char path[MAX_PATH] = "";
        if (items) {
            EXPECT_TRUE(SHGetPathFromIDListA(items, path));
            CoTaskMemFree(items);
        }
        return path;
    }

    IShellLinkA* link_ = NULL;
    IPersistFile* file_ = NULL;
};

std::u16string wide(const std::string& text) { return std::u16string(text.begin(), text.end()); }

// --- COM ---

TEST_F(winsim_shell, co_initialize_counts_its_calls_and_co_uninitialize_balances_them) {
    EXPECT_EQ(S_OK, CoInitialize(NULL));
    EXPECT_EQ(S_FALSE, CoInitialize(NULL));
    EXPECT_EQ(2, winsim::com_initialize_depth());
    CoUninitialize();
    CoUninitialize();
    EXPECT_EQ(0, winsim::com_initialize_depth());
    EXPECT_EQ(0, winsim::excess_com_uninitialize_calls());
    CoUninitialize();
    EXPECT_EQ(1, winsim::excess_com_uninitialize_calls());
    EXPECT_EQ(S_OK, CoInitialize(NULL));
    CoUninitialize();
}

TEST_F(winsim_shell, co_initialize_fails_with_an_injected_fault_as_its_hresult) {
    winsim::fail_call("CoInitialize", NULL, static_cast<DWORD>(E_OUTOFMEMORY), -1, 1);
    winsim::fail_call("CoInitialize", NULL, ERROR_ACCESS_DENIED, -1, 1);
    EXPECT_EQ(E_OUTOFMEMORY, CoInitialize(NULL));
    EXPECT_EQ(E_ACCESSDENIED, CoInitialize(NULL));
    EXPECT_EQ(0, winsim::com_initialize_depth());
}

TEST_F(winsim_shell, objects_are_counted_until_their_last_reference_is_released) {
    make_link();
    EXPECT_EQ(1, winsim::outstanding_com_objects());
    IUnknown* unknown = NULL;
    ASSERT_EQ(S_OK, file_->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)));
    EXPECT_EQ(static_cast<IUnknown*>(link_), unknown);
    EXPECT_EQ(2u, unknown->Release());
    void* other = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(E_NOINTERFACE, link_->QueryInterface(IID_IMalloc, &other));
    EXPECT_EQ(nullptr, other);
    EXPECT_EQ(1u, file_->Release());
    file_ = NULL;
    EXPECT_EQ(1, winsim::outstanding_com_objects());
    EXPECT_EQ(0u, link_->Release());
    link_ = NULL;
    EXPECT_EQ(0, winsim::outstanding_com_objects());
    CoUninitialize();
}

TEST_F(winsim_shell, co_create_instance_and_query_interface_fail_with_injected_faults) {
    ASSERT_EQ(S_OK, CoInitialize(NULL));
    winsim::fail_call("CoCreateInstance", "{00021401-0000-0000-C000-000000000046}", ERROR_NOT_ENOUGH_MEMORY, -1, 1);
    void* object = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_MEMORY),
              CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkA, &object));
    EXPECT_EQ(nullptr, object);
    EXPECT_EQ(0, winsim::outstanding_com_objects());
    CoUninitialize();

    make_link();
    winsim::fail_call("IShellLinkA::QueryInterface", "{0000010B-0000-0000-C000-000000000046}",
                      static_cast<DWORD>(E_NOINTERFACE), -1, 1);
    IPersistFile* file = reinterpret_cast<IPersistFile*>(0x1234);
    EXPECT_EQ(E_NOINTERFACE, link_->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)));
    EXPECT_EQ(nullptr, file);
    release_link();
}

// --- the shell link ---

TEST_F(winsim_shell, saved_link_is_the_readable_text_with_every_field) {
    ASSERT_TRUE(winsim::add_file("C:\\Program Files\\Q7\\Schaubild.pdf", "%PDF"));
    make_link();
    EXPECT_EQ(S_OK, link_->SetPath("C:\\Program Files\\Q7\\Schaubild.pdf"));
    EXPECT_EQ(S_OK, link_->SetArguments("/a \"b\""));
    EXPECT_EQ(S_OK, link_->SetWorkingDirectory("C:\\Program Files\\Q7"));
    EXPECT_EQ(S_OK, link_->SetDescription("Tastaturbelegung Q7 (V3.08) Schaubild"));
    EXPECT_EQ(S_OK, link_->SetShowCmd(SW_SHOW));
    EXPECT_EQ(S_OK, link_->SetIconLocation("C:\\Program Files\\Q7\\Schaubild.ico", 2));
    std::u16string path = wide(winsim::standard_folders().desktop + "\\Schaubild.LNK");
    EXPECT_EQ(S_OK, file_->Save(path.c_str(), TRUE));
    EXPECT_EQ(S_OK, file_->SaveCompleted(path.c_str()));
    release_link();

    winsim::entry_info saved = winsim::entry("C:\\Users\\Anwender\\Desktop\\Schaubild.LNK");
    ASSERT_TRUE(saved.exists);
    EXPECT_EQ("[winsim shell link]\r\n"
              "target=C:\\Program Files\\Q7\\Schaubild.pdf\r\n"
              "arguments=/a \"b\"\r\n"
              "working folder=C:\\Program Files\\Q7\r\n"
              "description=Tastaturbelegung Q7 (V3.08) Schaubild\r\n"
              "show command=5\r\n"
              "icon file=C:\\Program Files\\Q7\\Schaubild.ico\r\n"
              "icon index=2\r\n",
              saved.contents);
    winsim::shell_link_fields fields;
    ASSERT_TRUE(winsim::read_shell_link("C:\\Users\\Anwender\\Desktop\\Schaubild.LNK", &fields));
    EXPECT_EQ("C:\\Program Files\\Q7\\Schaubild.pdf", fields.target);
    EXPECT_EQ(SW_SHOW, fields.show_command);
    EXPECT_EQ(2, fields.icon_index);
    EXPECT_EQ(saved.contents, winsim::shell_link_text(fields));
}

TEST_F(winsim_shell, load_reads_a_seeded_link_and_refuses_other_files) {
    winsim::shell_link_fields fields;
    fields.target = "C:\\Windows\\notepad.exe";
    fields.arguments = "x.txt";
    fields.show_command = 3;
    fields.icon_file = "C:\\Windows\\notepad.exe";
    fields.icon_index = 1;
    ASSERT_TRUE(winsim::add_file("C:\\Users\\Public\\Desktop\\Notepad.lnk", winsim::shell_link_text(fields)));
    ASSERT_TRUE(winsim::add_file("C:\\Users\\Public\\Desktop\\other.lnk", "L\0\0\0"));
    make_link();
    EXPECT_EQ(S_OK, file_->Load(u"C:\\Users\\Public\\Desktop\\Notepad.lnk", STGM_READ));
    char text[MAX_PATH];
    EXPECT_EQ(S_OK, link_->GetArguments(text, MAX_PATH));
    EXPECT_STREQ("x.txt", text);
    int show = 0;
    EXPECT_EQ(S_OK, link_->GetShowCmd(&show));
    EXPECT_EQ(3, show);
    EXPECT_EQ(S_FALSE, file_->IsDirty());
    EXPECT_EQ(E_FAIL, file_->Load(u"C:\\Users\\Public\\Desktop\\other.lnk", STGM_READ));
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), file_->Load(u"C:\\Users\\Public\\Desktop\\none.lnk", STGM_READ));
    release_link();
}

TEST_F(winsim_shell, save_fails_with_the_error_of_the_file_create) {
    make_link();
    EXPECT_EQ(S_FALSE, link_->SetPath("C:\\Program Files\\Q7\\missing.pdf"));
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND), file_->Save(u"C:\\Users\\Anwender\\Desktop\\Sub\\a.lnk", TRUE));
    winsim::fail_call("CreateFileW", "C:\\Users\\Anwender\\Desktop\\a.lnk", ERROR_ACCESS_DENIED, -1, 1);
    EXPECT_EQ(E_ACCESSDENIED, file_->Save(u"C:\\Users\\Anwender\\Desktop\\a.lnk", TRUE));
    EXPECT_FALSE(winsim::entry_exists("C:\\Users\\Anwender\\Desktop\\a.lnk"));
    EXPECT_EQ(S_OK, file_->IsDirty());
    EXPECT_EQ(S_OK, file_->Save(u"C:\\Users\\Anwender\\Desktop\\a.lnk", TRUE));
    EXPECT_EQ(S_FALSE, file_->IsDirty());
    EXPECT_EQ(0, winsim::open_file_handles());
    release_link();
}

TEST_F(winsim_shell, setters_fail_with_injected_faults_and_keep_their_field) {
    make_link();
    EXPECT_EQ(S_OK, link_->SetDescription("alt"));
    const char* calls[] = {"IShellLinkA::SetPath", "IShellLinkA::SetArguments", "IShellLinkA::SetWorkingDirectory",
                           "IShellLinkA::SetDescription", "IShellLinkA::SetShowCmd", "IShellLinkA::SetIconLocation",
                           "IPersistFile::Save", "IPersistFile::SaveCompleted", "IPersistFile::Load"};
    for (const char* call : calls) winsim::fail_call(call, NULL, static_cast<DWORD>(E_FAIL), -1, 1);
    EXPECT_EQ(E_FAIL, link_->SetPath("C:\\Windows\\notepad.exe"));
    EXPECT_EQ(E_FAIL, link_->SetArguments("a"));
    EXPECT_EQ(E_FAIL, link_->SetWorkingDirectory("C:\\Windows"));
    EXPECT_EQ(E_FAIL, link_->SetDescription("neu"));
    EXPECT_EQ(E_FAIL, link_->SetShowCmd(SW_SHOW));
    EXPECT_EQ(E_FAIL, link_->SetIconLocation("C:\\Windows\\notepad.exe", 0));
    EXPECT_EQ(E_FAIL, file_->Save(u"C:\\Users\\Anwender\\Desktop\\a.lnk", TRUE));
    EXPECT_EQ(E_FAIL, file_->SaveCompleted(u"C:\\Users\\Anwender\\Desktop\\a.lnk"));
    EXPECT_EQ(E_FAIL, file_->Load(u"C:\\Users\\Anwender\\Desktop\\a.lnk", STGM_READ));
    EXPECT_FALSE(winsim::entry_exists("C:\\Users\\Anwender\\Desktop\\a.lnk"));
    char text[MAX_PATH];
    EXPECT_EQ(S_OK, link_->GetDescription(text, MAX_PATH));
    EXPECT_STREQ("alt", text);
    int show = 0;
    link_->GetShowCmd(&show);
    EXPECT_EQ(SW_SHOWNORMAL, show);
    release_link();
}

TEST_F(winsim_shell, get_cur_file_gives_the_remembered_path_in_task_memory) {
    make_link();
    ASSERT_EQ(S_OK, file_->Save(u"C:\\Users\\Anwender\\Desktop\\a.lnk", FALSE));
    ASSERT_EQ(S_OK, file_->Save(u"C:\\Users\\Anwender\\Desktop\\b.lnk", TRUE));
    LPOLESTR name = NULL;
    ASSERT_EQ(S_OK, file_->GetCurFile(&name));
    EXPECT_EQ(std::u16string(u"C:\\Users\\Anwender\\Desktop\\b.lnk"), std::u16string(name));
    EXPECT_EQ(1, winsim::outstanding_task_allocations());
    CoTaskMemFree(name);
    CLSID class_id;
    EXPECT_EQ(S_OK, file_->GetClassID(&class_id));
    EXPECT_TRUE(IsEqualCLSID(CLSID_ShellLink, class_id));
    release_link();
}

// --- the allocator and the special folders ---

TEST_F(winsim_shell, the_allocator_counts_its_references_and_the_item_lists_it_hands_out) {
    IMalloc* allocator = NULL;
    ASSERT_EQ(S_OK, SHGetMalloc(&allocator));
    IMalloc* again = NULL;
    ASSERT_EQ(S_OK, SHGetMalloc(&again));
    EXPECT_EQ(allocator, again);
    EXPECT_EQ(2, winsim::shell_allocator_references());
    again->Release();

    PIDLIST_ABSOLUTE items = NULL;
    ASSERT_EQ(S_OK, SHGetSpecialFolderLocation(NULL, CSIDL_DESKTOPDIRECTORY, &items));
    EXPECT_EQ(1, winsim::outstanding_task_allocations());
    EXPECT_EQ(1, allocator->DidAlloc(items));
    allocator->Free(items);
    EXPECT_EQ(0, winsim::outstanding_task_allocations());
    EXPECT_EQ(0, allocator->DidAlloc(items));
    void* block = allocator->Alloc(10);
    block = allocator->Realloc(block, 20);
    EXPECT_EQ(20u, allocator->GetSize(block));
    allocator->Free(block);
    EXPECT_EQ(0u, allocator->Release());
}

TEST_F(winsim_shell, special_folders_are_the_machines_folders_for_the_process) {
    EXPECT_EQ("C:\\Users\\Anwender\\Desktop", folder_path(CSIDL_DESKTOPDIRECTORY));
    EXPECT_EQ("C:\\Users\\Anwender\\Desktop", folder_path(CSIDL_DESKTOP));
    EXPECT_EQ("C:\\Users\\Public\\Desktop", folder_path(CSIDL_COMMON_DESKTOPDIRECTORY));
    EXPECT_EQ("C:\\Users\\Anwender\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs",
              folder_path(CSIDL_PROGRAMS));
    EXPECT_EQ("C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs", folder_path(CSIDL_COMMON_PROGRAMS));
    EXPECT_EQ("C:\\Users\\Anwender\\AppData\\Roaming", folder_path(CSIDL_APPDATA));
    EXPECT_EQ("C:\\Windows", folder_path(CSIDL_WINDOWS));
    EXPECT_EQ(winsim::standard_folders().system32, folder_path(CSIDL_SYSTEM));
    EXPECT_EQ("C:\\Program Files", folder_path(CSIDL_PROGRAM_FILES));
    EXPECT_EQ("C:\\Program Files (x86)", folder_path(CSIDL_PROGRAM_FILESX86));

    winsim::set_wow64(true, true);
    EXPECT_EQ("C:\\Program Files (x86)", folder_path(CSIDL_PROGRAM_FILES));
    EXPECT_EQ(winsim::standard_folders().syswow64, folder_path(CSIDL_SYSTEMX86));

    winsim::set_windows_bitness(32);
    winsim::set_user_name("Maria");
    EXPECT_EQ("C:\\Program Files", folder_path(CSIDL_PROGRAM_FILES));
    EXPECT_EQ("C:\\Program Files", folder_path(CSIDL_PROGRAM_FILESX86));
    EXPECT_EQ(winsim::standard_folders().system32, folder_path(CSIDL_SYSTEMX86));
    EXPECT_EQ("C:\\Users\\Maria\\Desktop", folder_path(CSIDL_DESKTOPDIRECTORY));
}

TEST_F(winsim_shell, a_failing_special_folder_gives_its_result_and_no_list) {
    winsim::fail_special_folder(CSIDL_COMMON_DESKTOPDIRECTORY);
    winsim::fail_special_folder(CSIDL_PROGRAMS, HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    PIDLIST_ABSOLUTE items = reinterpret_cast<PIDLIST_ABSOLUTE>(0x1234);
    EXPECT_EQ(E_FAIL, SHGetSpecialFolderLocation(NULL, CSIDL_COMMON_DESKTOPDIRECTORY, &items));
    EXPECT_EQ(nullptr, items);
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), SHGetSpecialFolderLocation(NULL, CSIDL_PROGRAMS, &items));
    EXPECT_EQ("", winsim::special_folder(CSIDL_PROGRAMS));
    EXPECT_EQ("C:\\Users\\Anwender\\Desktop", winsim::special_folder(CSIDL_DESKTOPDIRECTORY));

    winsim::set_special_folder(CSIDL_DESKTOPDIRECTORY, "D:\\Schreibtisch");
    EXPECT_EQ("D:\\Schreibtisch", folder_path(CSIDL_DESKTOPDIRECTORY));
}

TEST_F(winsim_shell, folder_calls_fail_with_injected_faults) {
    winsim::fail_call("SHGetMalloc", NULL, static_cast<DWORD>(E_OUTOFMEMORY), -1, 1);
    winsim::fail_call("SHGetSpecialFolderLocation", "0x0026", static_cast<DWORD>(E_FAIL), -1, 1);
    winsim::fail_call("SHGetPathFromIDListA", NULL, ERROR_ACCESS_DENIED, -1, 1);
    IMalloc* allocator = reinterpret_cast<IMalloc*>(0x1234);
    EXPECT_EQ(E_OUTOFMEMORY, SHGetMalloc(&allocator));
    EXPECT_EQ(nullptr, allocator);
    PIDLIST_ABSOLUTE items = NULL;
    EXPECT_EQ(E_FAIL, SHGetSpecialFolderLocation(NULL, CSIDL_PROGRAM_FILES, &items));
    ASSERT_EQ(S_OK, SHGetSpecialFolderLocation(NULL, CSIDL_PROGRAM_FILES, &items));
    char path[MAX_PATH] = "x";
    EXPECT_FALSE(SHGetPathFromIDListA(items, path));
    EXPECT_STREQ("", path);
    EXPECT_TRUE(SHGetPathFromIDListA(items, path));
    EXPECT_STREQ("C:\\Program Files", path);
    CoTaskMemFree(items);
}

// The desktop as the wide call and the known folder find it: missing, failing or faulted.
TEST_F(winsim_shell, the_wide_folder_calls_look_whether_the_desktop_is_there) {
    const HRESULT missing = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    const struct {
        void (*prepare)();
        HRESULT folder_path_result, known_folder_result;
    } cases[] = {
        {[] { RemoveDirectoryA("C:\\Users\\Anwender\\Desktop"); }, E_FAIL, missing},
        {[] { winsim::set_special_folder(CSIDL_DESKTOPDIRECTORY, "C:\\Schreibtisch"); }, E_FAIL, missing},
        {[] { winsim::fail_special_folder(CSIDL_DESKTOPDIRECTORY, E_ACCESSDENIED); }, E_ACCESSDENIED, E_ACCESSDENIED},
        {[] {
             winsim::fail_call("SHGetFolderPathW", "0x0010", ERROR_OUTOFMEMORY);
             winsim::fail_call("SHGetKnownFolderPath", "{B4BFCC3A-DB2C-424C-B029-7FE99A87C641}", ERROR_OUTOFMEMORY);
         },
         E_OUTOFMEMORY, E_OUTOFMEMORY},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        winsim::reset();
        c.prepare();
        WCHAR path[MAX_PATH] = u"x";
        EXPECT_EQ(c.folder_path_result, SHGetFolderPathW(NULL, CSIDL_DESKTOPDIRECTORY, NULL, SHGFP_TYPE_CURRENT, path));
        EXPECT_EQ(0, path[0]);
        PWSTR known = reinterpret_cast<PWSTR>(0x1234);
        EXPECT_EQ(c.known_folder_result, SHGetKnownFolderPath(FOLDERID_Desktop, 0, NULL, &known));
        EXPECT_EQ(nullptr, known);
    }
}

TEST_F(winsim_shell, shell32_exports_the_known_folder_call_while_windows_has_it) {
    HMODULE shell32 = GetModuleHandleA("shell32");
    ASSERT_NE(nullptr, shell32);
    for (const char* name : {"shell32.dll", "SHELL32.DLL", "Shell32"})
        EXPECT_EQ(shell32, GetModuleHandleA(name)) << name;
    EXPECT_EQ(reinterpret_cast<void (*)()>(SHGetKnownFolderPath),
              reinterpret_cast<void (*)()>(GetProcAddress(shell32, "SHGetKnownFolderPath")));
    winsim::set_known_folder_function_present(false);
    for (const char* name : {"SHGetKnownFolderPath", "SHGetFolderPathW"}) {
        SetLastError(0);
        EXPECT_EQ(nullptr, GetProcAddress(shell32, name)) << name;
        EXPECT_EQ((DWORD)ERROR_PROC_NOT_FOUND, GetLastError());
    }
}

// A WOW64 process with redirection off cannot load the shell link's server of Windows 10,
// windows.storage.dll; shell32, its server before, is one of the KnownDLLs.
TEST_F(winsim_shell, the_shell_link_with_redirection_off_needs_a_windows_before_10) {
    const struct {
        DWORD major, minor;
        bool redirection_off;
        HRESULT result;
    } cases[] = {
        {10, 0, true, HRESULT_FROM_WIN32(ERROR_BAD_EXE_FORMAT)},
        {6, 1, true, S_OK},
        {10, 0, false, S_OK},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        winsim::set_wow64(true, true);
        winsim::set_windows_version(c.major, c.minor);
        PVOID old_value = NULL;
        ASSERT_TRUE(!c.redirection_off || Wow64DisableWow64FsRedirection(&old_value));
        ASSERT_EQ(S_OK, CoInitialize(NULL));
        EXPECT_EQ(c.result, CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                             reinterpret_cast<void**>(&link_)));
        release_link();
        ASSERT_TRUE(!c.redirection_off || Wow64RevertWow64FsRedirection(old_value));
    }
}

}  // namespace
