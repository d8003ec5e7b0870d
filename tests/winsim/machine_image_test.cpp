// Tests of the simulated machine's image: what a stopped program leaves, saved, loaded, and the stop before a call.
#include <windows.h>
#include <winsim/control.h>
#include <winsim/files_control.h>
#include <winsim/machine_image.h>
#include <winsim/registry_control.h>
#include <winsim/security_control.h>

#include <gtest/gtest.h>

#include "registry_seed.h"

#include <string>

namespace {

class winsim_machine_image : public ::testing::Test {
protected:
    void SetUp() override { winsim::reset(); }
    void TearDown() override { winsim::reset(); }

    void seed(const char* text) { seed_registry(text); }
    std::string machine() {
        return winsim::reg_export("HKEY_LOCAL_MACHINE") + winsim::reg_export("HKEY_CURRENT_USER") +
               winsim::dump_tree("C:\\") + winsim::entry("C:\\Data\\b.bin").contents +
               winsim::file_security("C:\\Data");
    }
};

const char* const everyone_read = "dacl protected; allow - 0x001200A9 S-1-1-0";

TEST_F(winsim_machine_image, a_loaded_image_gives_back_keys_values_files_and_descriptors_as_saved) {
    seed("[HKEY_CURRENT_USER\\Keyboard Layout\\Preload]\n\"2\"=\"b\"\n\"1\"=\"a\"\n"
         "[HKEY_LOCAL_MACHINE\\Software\\Zoo]\n\"bin\"=hex:00,ff,10\n\"n\"=dword:00000007\n");
    ASSERT_TRUE(winsim::add_file("C:\\Data\\b.bin", std::string("x\0y", 3), FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(winsim::set_entry_times("C:\\Data\\b.bin", 1, 2, 3));
    ASSERT_TRUE(winsim::set_file_security("C:\\Data", everyone_read));
    const std::string before = machine();
    const std::string image = winsim::save_machine_image();

    seed("[-HKEY_CURRENT_USER\\Keyboard Layout]\n[HKEY_CURRENT_USER\\Other]\n");
    ASSERT_TRUE(DeleteFileA("C:\\Data\\b.bin"));
    ASSERT_TRUE(RemoveDirectoryA("C:\\Data"));
    ASSERT_TRUE(winsim::add_file("C:\\new.txt", "new"));
    ASSERT_NE(before, machine());

    ASSERT_TRUE(winsim::load_machine_image(image));
    EXPECT_EQ(before, machine());
    EXPECT_TRUE(winsim::has_own_file_security("C:\\Data"));
    EXPECT_FALSE(winsim::entry_exists("C:\\new.txt"));
}

TEST_F(winsim_machine_image, loading_ends_the_program_handles_and_turns_redirection_on) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Kept", 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &key, nullptr));
    HANDLE file = CreateFileA("C:\\open.txt", GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    ASSERT_TRUE(DeleteFileA("C:\\open.txt"));  // pending until the handle closes
    const std::string image = winsim::save_machine_image();

    ASSERT_TRUE(winsim::load_machine_image(image));
    EXPECT_EQ(0, winsim::reg_open_handle_count());
    EXPECT_EQ(0, winsim::open_file_handles());
    EXPECT_TRUE(winsim::reg_key_exists("HKEY_CURRENT_USER\\Software\\Kept"));
    EXPECT_FALSE(winsim::entry_exists("C:\\open.txt"));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(key));
}

// What other processes have mapped outlives the program: an image gives it back, under the name
// the file had when the image was saved.
TEST_F(winsim_machine_image, a_loaded_image_gives_back_the_mappings_as_saved) {
    ASSERT_TRUE(winsim::add_file("C:\\Windows\\System32\\kb.dll", "MZ"));
    long mapping = winsim::map_file_as_image("C:\\Windows\\System32\\kb.dll");
    ASSERT_NE(0, mapping);
    ASSERT_TRUE(MoveFileExA("C:\\Windows\\System32\\kb.dll", "C:\\Windows\\System32\\kb.old", 0));
    const std::string image = winsim::save_machine_image();
    winsim::unmap_file(mapping);
    ASSERT_TRUE(DeleteFileA("C:\\Windows\\System32\\kb.old"));

    ASSERT_TRUE(winsim::load_machine_image(image));
    EXPECT_EQ(1, winsim::image_mappings("C:\\Windows\\System32\\kb.old"));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(DeleteFileA("C:\\Windows\\System32\\kb.old"));
    EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, GetLastError());
    winsim::unmap_file(mapping);
    EXPECT_TRUE(DeleteFileA("C:\\Windows\\System32\\kb.old"));
}

TEST_F(winsim_machine_image, the_programs_own_loads_end_with_it) {
    ASSERT_TRUE(winsim::add_file("C:\\P\\kb.dll", "MZ"));
    HMODULE module = LoadLibraryExA("C:\\P\\kb.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    ASSERT_NE(nullptr, module);
    ASSERT_TRUE(winsim::load_machine_image(winsim::save_machine_image()));
    EXPECT_EQ(0, winsim::image_mappings("C:\\P\\kb.dll"));
    HMODULE again = LoadLibraryExA("C:\\P\\kb.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    EXPECT_NE(module, again);
    EXPECT_EQ(1, winsim::image_mappings("C:\\P\\kb.dll"));
    EXPECT_TRUE(FreeLibrary(again));
    EXPECT_TRUE(DeleteFileA("C:\\P\\kb.dll"));
}

TEST_F(winsim_machine_image, a_malformed_image_is_refused) {
    std::string image = winsim::save_machine_image();
    EXPECT_FALSE(winsim::load_machine_image(image.substr(0, image.size() / 2)));
    EXPECT_FALSE(winsim::load_machine_image("not an image"));
    EXPECT_FALSE(winsim::load_machine_image(image + "x"));
}

int stops = 0;
void count_stop() { ++stops; }

TEST_F(winsim_machine_image, the_stop_comes_right_before_the_chosen_call) {
    stops = 0;
    winsim::clear_call_log();
    winsim::stop_before_call(2, count_stop);
    GetFileAttributesA("C:\\");
    EXPECT_EQ(0, stops);
    GetFileAttributesA("C:\\Windows");
    EXPECT_EQ(1, stops);
    EXPECT_EQ(2u, winsim::call_log().size());
    winsim::stop_before_call(0, nullptr);
}

std::vector<std::string> observed_images;
void observe_image() { observed_images.push_back(winsim::save_machine_image()); }

TEST_F(winsim_machine_image, an_observer_sees_the_machine_before_each_call_and_the_call_goes_on) {
    observed_images.clear();
    winsim::clear_call_log();
    winsim::observe_every_call(observe_image);
    EXPECT_TRUE(CreateDirectoryA("C:\\Neu", nullptr));
    GetFileAttributesA("C:\\Neu");
    winsim::observe_every_call(nullptr);
    ASSERT_EQ(2u, observed_images.size());
    EXPECT_EQ(2u, winsim::call_log().size());
    EXPECT_NE(observed_images[0], observed_images[1]);
    EXPECT_EQ(observed_images[1], winsim::save_machine_image());
    ASSERT_TRUE(winsim::load_machine_image(observed_images[0]));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA("C:\\Neu"));
}

}  // namespace
