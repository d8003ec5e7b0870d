// Tests of the file and folder operations: separators, finds, folder creation, copy and delete.
#include "test_support.h"

#include <string.h>
#include <strings.h>

#include <string>

#include <winsim/desktop_control.h>
#include <winsim/files_control.h>
#include <winsim/security_control.h>

#include "files/file_operations.h"
#include "frame/messages.h"
#include "frame/frame.h"

namespace {

std::string with_trailing_backslash(const char* path)
{
    char buffer[MAX_PATH];
    strcpy(buffer, path);
    return ensure_trailing_backslash(buffer);
}

std::string without_trailing_backslash(const char* path)
{
    char buffer[MAX_PATH];
    strcpy(buffer, path);
    return strip_trailing_backslash(buffer);
}

TEST(separators, trailing_backslash_added_and_removed)
{
    EXPECT_EQ("\\", with_trailing_backslash(""));
    EXPECT_EQ("C:\\Temp/", with_trailing_backslash("C:\\Temp/"));
    EXPECT_EQ("C:\\Temp\\", with_trailing_backslash("C:\\Temp"));
    EXPECT_EQ("C:\\", without_trailing_backslash("C:\\"));
    EXPECT_EQ("C:/", without_trailing_backslash("C:/"));
    EXPECT_EQ("C:", without_trailing_backslash("C:"));
    EXPECT_EQ("", without_trailing_backslash("\\"));
    EXPECT_EQ("C:\\Temp\\", without_trailing_backslash("C:\\Temp\\\\"));
    EXPECT_EQ("C:\\Temp", without_trailing_backslash("C:\\Temp/"));
}

class file_test : public kb_test {
protected:
    void SetUp() override
    {
        kb_test::SetUp();
        winsim::script_answers(std::vector<int>(20, IDOK));
    }
    std::vector<std::string> box_texts()
    {
        std::vector<std::string> texts;
        for (const auto& box : winsim::message_boxes())
            texts.push_back(box.caption + ": " + box.text);
        return texts;
    }
};

TEST_F(file_test, joined_paths_never_exceed_the_buffer)
{
    char out[MAX_PATH];
    EXPECT_TRUE(join_path(out, "C:\\a", "b.txt"));
    EXPECT_STREQ("C:\\a\\b.txt", out);
    EXPECT_TRUE(join_path(out, "C:\\a/", "b"));
    EXPECT_STREQ("C:\\a/b", out);
    std::string folder(250, 'f');
    EXPECT_TRUE(join_path(out, folder.c_str(), "12345678"));  // 259 characters
    EXPECT_FALSE(join_path(out, folder.c_str(), "123456789"));
    EXPECT_EQ((DWORD)ERROR_FILENAME_EXCED_RANGE, error_record.last_error_code);
}

TEST_F(file_test, text_search_ignores_case_in_code_page_1252)
{
    const char* text = "KbdEditLKQ7V308";
    EXPECT_EQ(text, find_text_nocase(text, "kbdedit"));
    EXPECT_EQ(text + 7, find_text_nocase(text, "lkq7"));
    EXPECT_EQ(nullptr, find_text_nocase(text, "Q8"));
    const char* umlauts = "Größe";
    EXPECT_EQ(nullptr, find_text_nocase(umlauts, "ÖSSE"));  // ß has no capital in the code page
    EXPECT_EQ(umlauts + 2, find_text_nocase(umlauts, "Ö"));
    EXPECT_EQ(nullptr, find_text_nocase("", "a"));
    EXPECT_EQ(nullptr, find_text_nocase("a", ""));
    EXPECT_EQ(nullptr, find_text_nocase(nullptr, "a"));
}

TEST_F(file_test, file_exists_for_files_folders_and_dot_paths)
{
    ASSERT_TRUE(winsim::add_file("C:\\Daten\\a.txt", "x"));
    ASSERT_TRUE(winsim::add_folder("C:\\Leer"));
    EXPECT_TRUE(FileExists("C:\\Daten\\a.txt"));
    EXPECT_FALSE(file_services.entry_is_folder);
    EXPECT_TRUE(FileExists("C:\\Daten"));
    EXPECT_TRUE(file_services.entry_is_folder);
    EXPECT_FALSE(FileExists("C:\\Leer\\*"));  // only "." and ".."
    EXPECT_TRUE(FileExists("C:\\Leer\\."));
    EXPECT_FALSE(FileExists("C:\\Daten\\b.txt"));
    EXPECT_EQ((DWORD)ERROR_FILE_NOT_FOUND, error_record.last_error_code);
    EXPECT_EQ(0, winsim::open_find_handles());
}

TEST_F(file_test, file_exists_with_a_handle_but_no_record_is_a_wrong_call)
{
    HANDLE search = nullptr;
    EXPECT_FALSE(FileExists("C:\\Windows", &search, nullptr));
    EXPECT_STREQ("FEHLAUFRUF FileExists", error_record.windows_error_text);
    EXPECT_EQ(nullptr, search);
}

TEST_F(file_test, file_exists_with_a_handle_leaves_the_search_to_the_caller)
{
    ASSERT_TRUE(winsim::add_file("C:\\D\\a.txt", "x"));
    ASSERT_TRUE(winsim::add_file("C:\\D\\b.txt", "y"));
    HANDLE search = nullptr;
    WIN32_FIND_DATAA data;
    ASSERT_TRUE(FileExists("C:\\D\\*.txt", &search, &data));
    EXPECT_STREQ("a.txt", data.cFileName);
    EXPECT_EQ(1, winsim::open_find_handles());
    EXPECT_TRUE(FindNextFileA(search, &data));
    EXPECT_STREQ("b.txt", data.cFileName);
    FindClose(search);
}

TEST_F(file_test, a_folder_walk_gives_entry_paths_and_counts)
{
    ASSERT_TRUE(winsim::add_file("C:\\W\\b.txt", "1"));
    ASSERT_TRUE(winsim::add_folder("C:\\W\\a"));
    ASSERT_TRUE(winsim::add_file("C:\\W\\.cfg", "2"));
    HANDLE search = nullptr;
    WIN32_FIND_DATAA data;
    int count = -1;
    char pattern[MAX_PATH], entry[MAX_PATH];
    std::string seen;
    WIN32_FIND_DATAA first = find_first_entry("C:\\W\\", "*.*", &search, &data, &count, pattern, entry);
    EXPECT_STREQ("C:\\W\\*.*", pattern);
    EXPECT_STREQ(data.cFileName, first.cFileName);
    while (search) {
        seen += std::string(entry) + (file_services.entry_is_folder ? "/ " : " ");
        find_next_entry(&search, &data, &count, "C:\\W\\", entry);
    }
    EXPECT_EQ("C:\\W\\.cfg C:\\W\\a/ C:\\W\\b.txt ", seen);
    EXPECT_EQ(3, count);
    find_first_entry("C:\\W\\", ".cfg", &search, &data, &count, pattern, entry);
    EXPECT_STREQ("C:\\W\\*.cfg", pattern);
    EXPECT_EQ(1, count);
    FindClose(search);
    search = nullptr;
    find_first_entry("C:\\Nirgends\\", "*.*", &search, &data, &count, pattern, entry);
    EXPECT_EQ(nullptr, search);
    EXPECT_EQ(0, count);
    EXPECT_FALSE(file_services.entry_is_folder);
}

TEST_F(file_test, a_new_folder_is_granted_to_everyone_and_an_existing_one_is_not)
{
    EXPECT_TRUE(create_folder("C:\\Neu\\", false, false, true));
    EXPECT_TRUE(winsim::entry("C:\\Neu").is_folder);
    EXPECT_NE(std::string::npos,
              winsim::file_security("C:\\Neu").find("allow OI|CI 0xE01300EF S-1-1-0"));
    EXPECT_TRUE(create_folder("C:\\Ohne", false, true, false));
    EXPECT_NE(std::string::npos,
              winsim::file_security("C:\\Ohne").find("allow - 0xE01200EF S-1-1-0"));
    EXPECT_FALSE(winsim::has_own_file_security("C:\\Windows"));
    EXPECT_TRUE(create_folder("C:\\Windows", false, false, false));
    EXPECT_FALSE(winsim::has_own_file_security("C:\\Windows"));
    EXPECT_FALSE(create_folder("C:\\Windows", true, false, false));
    EXPECT_EQ((DWORD)ERROR_ALREADY_EXISTS, error_record.last_error_code);
    EXPECT_FALSE(create_folder("C:\\Fehlt\\Unter", false, false, false));
}

TEST_F(file_test, a_numeric_server_counts_as_present_and_a_named_one_does_not)
{
    EXPECT_TRUE(create_folder("\\\\10.0.0.1", false, false, false));
    EXPECT_FALSE(create_folder("\\\\server", false, false, false));
    EXPECT_EQ((DWORD)ERROR_INVALID_NAME, error_record.last_error_code);
}

TEST_F(file_test, folder_paths_are_created_level_by_level)
{
    EXPECT_TRUE(create_folder_path("C:\\a\\b\\file.txt", true, false));
    EXPECT_TRUE(winsim::entry("C:\\a\\b").is_folder);
    EXPECT_FALSE(winsim::entry_exists("C:\\a\\b\\file.txt"));
    EXPECT_TRUE(create_folder_path("C:\\x\\y\\z\\", false, true));
    EXPECT_TRUE(winsim::entry("C:\\x\\y\\z").is_folder);
    EXPECT_NE(std::string::npos, winsim::file_security("C:\\x\\y").find("0xE01200EF S-1-1-0"));
}

TEST_F(file_test, folder_paths_on_a_share_skip_the_server_and_failing_dollar_levels)
{
    winsim::add_unc_share("\\\\server\\share");
    EXPECT_TRUE(create_folder_path("\\\\server\\share\\x\\y", false, false));
    EXPECT_TRUE(winsim::entry("\\\\server\\share\\x\\y").is_folder);
    for (const auto& call : winsim::call_log()) {
        if (call.call == "CreateDirectoryA") {
            EXPECT_NE(0, strcasecmp("\\\\server", call.subject.c_str()));
        }
    }
    // \\server\c$ cannot be created, which does not stop the walk; the last level then fails.
    EXPECT_FALSE(create_folder_path("\\\\server\\c$\\dir", false, false));
    bool tried_dir = false;
    for (const auto& call : winsim::call_log())
        tried_dir |= call.call == "CreateDirectoryA" && call.subject.find("c$\\dir") != std::string::npos;
    EXPECT_TRUE(tried_dir);
}

TEST_F(file_test, over_long_paths_are_refused_untouched)
{
    std::string path = "C:\\" + std::string(270, 'p');
    EXPECT_FALSE(create_folder_path(path.c_str(), false, false));
    EXPECT_EQ((DWORD)ERROR_FILENAME_EXCED_RANGE, error_record.last_error_code);
    EXPECT_FALSE(delete_one_file(path.c_str(), true));
    EXPECT_TRUE(winsim::message_boxes().empty());
}

TEST_F(file_test, copy_makes_the_target_archive_only_and_respects_overwrite)
{
    ASSERT_TRUE(winsim::add_file("C:\\Q\\prog.exe", "MZ",
                                 FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    EXPECT_TRUE(copy_one_file("C:\\Q\\prog.exe", "C:\\prog.exe", true, false));
    EXPECT_EQ((DWORD)FILE_ATTRIBUTE_ARCHIVE, winsim::entry("C:\\prog.exe").attributes);
    EXPECT_TRUE(copy_one_file("C:\\Q\\prog.exe", "C:\\prog.exe", true, true));
    EXPECT_TRUE(winsim::message_boxes().empty());
    EXPECT_FALSE(copy_one_file("C:\\Q\\prog.exe", "C:\\prog.exe", true, false));
    ASSERT_EQ(1u, winsim::message_boxes().size());
    EXPECT_EQ("Tastaturtreiber-Installation: Kopieren einer Datei fehlgeschlagen.\n\n"
              "Quelle: C:\\Q\\prog.exe\nZiel: C:\\prog.exe\n\n"
              "Windows-Errorcode 80:\nDie Datei ist vorhanden.\r\n",
              box_texts()[0]);
    EXPECT_FALSE(copy_one_file("C:\\Q\\prog.exe", "C:\\prog.exe", false, false));
    EXPECT_EQ(1u, winsim::message_boxes().size());
}

TEST_F(file_test, deleting_a_missing_file_shows_nothing)
{
    EXPECT_TRUE(delete_one_file("C:\\fehlt.txt", true));
    EXPECT_TRUE(winsim::message_boxes().empty());
    EXPECT_FALSE(frame.status_shown);
}

// Only a search that saw no entry means the file is gone; one that could not look fails.
TEST_F(file_test, deleting_a_file_that_cannot_be_looked_for_fails)
{
    ASSERT_TRUE(winsim::add_file("C:\\P\\a.dll", "x"));
    winsim::fail_call("FindFirstFileA", "C:\\P\\a.dll", ERROR_ACCESS_DENIED, -1, 1);
    EXPECT_EQ(file_search::failed, search_for_file("C:\\P\\a.dll"));
    winsim::fail_call("FindFirstFileA", "C:\\P\\a.dll", ERROR_ACCESS_DENIED, -1, 1);
    EXPECT_FALSE(delete_one_file("C:\\P\\a.dll", true));
    EXPECT_TRUE(winsim::entry_exists("C:\\P\\a.dll"));
    ASSERT_EQ(1u, winsim::message_boxes().size());
    EXPECT_EQ(0u, box_texts()[0].find("Tastaturtreiber-Installation: Folgende Datei kann nicht "
                                      "gelöscht werden:\nC:\\P\\a.dll\n\nWindows-Errorcode 5:\n"
                                      "Zugriff verweigert"));
    EXPECT_TRUE(delete_one_file("C:\\P\\a.dll", true));
    EXPECT_FALSE(winsim::entry_exists("C:\\P\\a.dll"));
    // A missing folder is no failure to look.
    EXPECT_TRUE(delete_one_file("C:\\Fehlt\\a.dll", true));
    EXPECT_EQ(file_search::missing, search_for_file("C:\\Fehlt\\a.dll"));
    EXPECT_EQ(1u, winsim::message_boxes().size());
}

TEST_F(file_test, deleting_shows_progress_and_a_locked_file_warns)
{
    ASSERT_TRUE(winsim::add_file("C:\\P\\a.dll", "x"));
    ASSERT_TRUE(winsim::add_file("C:\\P\\b.dll", "y"));
    EXPECT_TRUE(delete_file_in("C:\\P\\", "a.dll", true));
    EXPECT_STREQ("Lösche C:\\P\\a.dll ...", frame.status_text);
    EXPECT_FALSE(winsim::entry_exists("C:\\P\\a.dll"));
    long hold = winsim::hold_file_open("C:\\P\\b.dll", GENERIC_READ, FILE_SHARE_READ);
    ASSERT_NE(0, hold);
    EXPECT_FALSE(delete_one_file("C:\\P\\b.dll", false));
    EXPECT_TRUE(winsim::message_boxes().empty());
    EXPECT_FALSE(delete_one_file("C:\\P\\b.dll", true));
    ASSERT_EQ(1u, winsim::message_boxes().size());
    EXPECT_EQ(0x30u, winsim::message_boxes()[0].style);
    EXPECT_EQ("Tastaturtreiber-Installation: Folgende Datei kann nicht gelöscht werden:\n"
              "C:\\P\\b.dll\n\nWindows-Errorcode 32:\nDer Prozess kann nicht auf die Datei "
              "zugreifen, da sie von einem anderen Prozess verwendet wird.\r\n",
              box_texts()[0]);
    winsim::release_file(hold);
}

TEST_F(file_test, a_folder_tree_with_a_locked_file_warns_twice_and_keeps_that_file)
{
    ASSERT_TRUE(winsim::add_file("C:\\T\\x.txt", "1"));
    ASSERT_TRUE(winsim::add_file("C:\\T\\sub\\y.txt", "2"));
    ASSERT_TRUE(winsim::add_file("C:\\T\\sub\\z.txt", "3"));
    long hold = winsim::hold_file_open("C:\\T\\sub\\y.txt", GENERIC_READ, 0);
    ASSERT_NE(0, hold);
    EXPECT_FALSE(delete_folder_tree("C:\\T\\"));
    std::vector<std::string> texts = box_texts();
    ASSERT_EQ(3u, texts.size());
    EXPECT_EQ(0u, texts[0].find("Tastaturtreiber-Installation: Folgende Datei kann nicht gelöscht "
                                "werden:\nC:\\T\\sub\\y.txt"));
    EXPECT_EQ(0u, texts[1].find("Tastaturtreiber-Installation: Folgendes Verzeichnis kann nicht "
                                "gelöscht werden:\nC:\\T\\sub\n"));
    EXPECT_EQ(0u, texts[2].find("Tastaturtreiber-Installation: Folgendes Verzeichnis kann nicht "
                                "gelöscht werden:\nC:\\T\n"));
    EXPECT_EQ("C:\\T | D | - | 2024-03-04 10:00:00.0000000\n"
              "C:\\T\\sub | D | - | 2024-03-04 10:00:00.0000000\n"
              "C:\\T\\sub\\y.txt | A | 1 | 2024-03-04 10:00:00.0000000\n",
              winsim::dump_tree("C:\\T"));
    EXPECT_STREQ("Lösche Verzeichnis C:\\T ...", frame.status_text);
    winsim::release_file(hold);
    EXPECT_TRUE(delete_folder_tree("C:\\T\\"));
    EXPECT_FALSE(winsim::entry_exists("C:\\T"));
}

}  // namespace
