// Tests of names outside code page 1252: the file system's form of them, and how the 8-bit calls spell them.
#include <windows.h>
#include <shlobj.h>
#include <winsim/control.h>
#include <winsim/desktop_control.h>
#include <winsim/files_control.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const char profile[] = "C:\\Users\\\x01" "0141ukasz";
const DWORD preset = 0xDEADBEEF;

class winsim_wide_names : public ::testing::Test {
protected:
    void SetUp() override {
        winsim::reset();
        winsim::set_user_name(u8"Łukasz");
    }
    void TearDown() override { winsim::reset(); }
};

// The wide calls find the name in any case; the 8-bit calls cannot give its form.
TEST_F(winsim_wide_names, the_profile_holds_the_name_in_the_file_systems_form) {
    EXPECT_EQ(std::string(profile) + "\\Desktop", winsim::standard_folders().desktop);
    ASSERT_TRUE(winsim::add_file((std::string(profile) + "\\Desktop\\a.lnk").c_str(), "x"));
    EXPECT_TRUE(DeleteFileW(u"c:\\users\\\x0142UKASZ\\desktop\\A.LNK"));
    EXPECT_TRUE(winsim::list_folder(winsim::standard_folders().desktop.c_str()).empty());
    SetLastError(preset);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(profile));
    EXPECT_EQ((DWORD)ERROR_INVALID_NAME, GetLastError());
}

// Each 8-bit call that hands out a path or name spells the "Ł" as the system's conversion does:
// a best-fit path names a missing folder, a "?" path is invalid. The wide call gives the name.
TEST_F(winsim_wide_names, the_8_bit_calls_spell_the_name_as_the_system_converts) {
    for (bool best_fit : {true, false}) {
        const std::string spelled = best_fit ? "Lukasz" : "?ukasz", spelled_profile = "C:\\Users\\" + spelled;
        SCOPED_TRACE(spelled);
        winsim::set_ansi_best_fit(best_fit);
        PIDLIST_ABSOLUTE items = NULL;
        ASSERT_EQ(S_OK, SHGetSpecialFolderLocation(NULL, CSIDL_DESKTOPDIRECTORY, &items));
        char buffer[MAX_PATH];
        EXPECT_TRUE(SHGetPathFromIDListA(items, buffer));
        CoTaskMemFree(items);
        EXPECT_EQ(spelled_profile + "\\Desktop", buffer);
        ASSERT_GT(GetTempPathA(sizeof buffer, buffer), 0u);
        EXPECT_EQ(spelled_profile + "\\AppData\\Local\\Temp\\", buffer);
        winsim::set_module_file_name((std::string(profile) + "\\kb.exe").c_str());
        ASSERT_GT(GetModuleFileNameA(NULL, buffer, sizeof buffer), 0u);
        EXPECT_EQ(spelled_profile + "\\kb.exe", buffer);
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA("C:\\Users\\*ukasz", &found);
        ASSERT_NE(INVALID_HANDLE_VALUE, search);
        EXPECT_EQ(spelled, found.cFileName);
        FindClose(search);
        BOOL used_default = 7;
        ASSERT_EQ(1, WideCharToMultiByte(CP_ACP, 0, u"\x0141", 1, buffer, 1, NULL, &used_default));
        EXPECT_EQ(spelled[0], buffer[0]);
        EXPECT_EQ(best_fit ? FALSE : TRUE, used_default);

        WCHAR wide[MAX_PATH];
        ASSERT_EQ(S_OK, SHGetFolderPathW(NULL, CSIDL_DESKTOPDIRECTORY, NULL, SHGFP_TYPE_CURRENT, wide));
        EXPECT_EQ(std::u16string(u"C:\\Users\\\x0141ukasz\\Desktop"), std::u16string(wide));
        SetLastError(preset);
        EXPECT_EQ(INVALID_HANDLE_VALUE, CreateFileA((spelled_profile + "\\Desktop\\a.txt").c_str(), GENERIC_WRITE,
                                                    0, NULL, CREATE_NEW, 0, NULL));
        EXPECT_EQ(best_fit ? (DWORD)ERROR_PATH_NOT_FOUND : (DWORD)ERROR_INVALID_NAME, GetLastError());
    }
}

// An 8-bit program that makes the best-fit profile makes a second, bogus profile folder.
TEST_F(winsim_wide_names, creating_the_best_fit_profile_makes_another_folder) {
    ASSERT_TRUE(CreateDirectoryA("C:\\Users\\Lukasz", NULL));
    EXPECT_EQ((std::vector<std::string>{"Lukasz", "Public", "\x01" "0141ukasz"}), winsim::list_folder("C:\\Users"));
    EXPECT_TRUE(winsim::list_folder("C:\\Users\\Lukasz").empty());
}

}  // namespace
