// Swap sweep: another program of the user tries to put its own program in the place of the uninstaller's copy, before each call of the first instance.
#include "sweep_support.h"

#include "program_state.h"

#include <string.h>

#include <string>
#include <vector>

#include <winsim/desktop_control.h>
#include <winsim/files_control.h>
#include <winsim/machine_image.h>
#include <winsim/security_control.h>

#include "files/private_folder.h"
#include "frame/frame.h"
#include "product_constants.h"
#include "uninstaller_flow.h"

namespace {

const char* const ours = "MZ uninstaller";
const char* const theirs = "MZ not the uninstaller";
// The random bytes the first name is drawn from, which the other program is taken to know.
const char* const known_bytes = "\x11\x11\x11\x11\x11\x11\x11\x11";
const char* const known_name = PRIVATE_FOLDER_PREFIX "1111111111111111";

// What the other program saw and did at its one step.
struct attack_record {
    int private_folders_seen = 0;
    int names_taken = 0;
    int swaps = 0;
};
attack_record attack;
std::vector<std::string> attacked_parents;
std::vector<std::string> folders_of_theirs;

bool is_theirs(const std::string& folder)
{
    for (const std::string& made : folders_of_theirs)
        if (lower(made) == lower(folder))
            return true;
    return false;
}

// The user's program puts a folder with its own program in it under the name.
bool take_name(const std::string& folder)
{
    if (winsim::user_create_folder(folder.c_str()) != ERROR_SUCCESS)
        return false;
    folders_of_theirs.push_back(folder);
    winsim::user_write_file((folder + "\\" UNINSTALLER_FILE_NAME).c_str(), theirs);
    return true;
}

std::string user_full_control()
{
    return std::string("dacl; allow OI|CI 0x001F01FF ") + winsim::current_user_sid;
}

// Runs between two calls of the first instance. It watches both temporary folders (it is
// taken to see even what the user may not list): a private folder that is not its own gets
// its copy replaced, or is renamed away and replaced by a folder of its own. Before there is
// one, it takes the name the first instance will draw.
void other_program_of_the_user()
{
    for (const std::string& parent : attacked_parents) {
        for (const std::string& name : winsim::list_folder(parent.c_str())) {
            std::string folder = parent + "\\" + name;
            if (name.compare(0, strlen(PRIVATE_FOLDER_PREFIX), PRIVATE_FOLDER_PREFIX) != 0 ||
                name.find('-', strlen(PRIVATE_FOLDER_PREFIX)) != std::string::npos ||
                is_theirs(folder))
                continue;
            attack.private_folders_seen++;
            std::string copy = folder + "\\" UNINSTALLER_FILE_NAME;
            // A DACL it may rewrite would open the folder to it.
            winsim::user_set_file_security(folder.c_str(), user_full_control().c_str());
            if (winsim::user_write_file(copy.c_str(), theirs) == ERROR_SUCCESS ||
                (winsim::user_delete(copy.c_str()) == ERROR_SUCCESS &&
                 winsim::user_write_file(copy.c_str(), theirs) == ERROR_SUCCESS))
                attack.swaps++;
            if (winsim::user_move(folder.c_str(), (folder + "-weg").c_str()) == ERROR_SUCCESS &&
                take_name(folder))
                attack.swaps++;
        }
    }
    if (attack.private_folders_seen == 0) {
        for (const std::string& parent : attacked_parents)
            attack.names_taken += take_name(parent + "\\" + known_name);
    }
}

class folder_swap : public sweep_test {
protected:
    std::string first_instance;

    void SetUp() override
    {
        sweep_test::SetUp();
        test_warning_caption = "Tastaturtreiber-Deinstallation";
        on_64_bit_windows();
        fresh_process("Install_" DLL_BASE_NAME);
        ASSERT_FALSE(run_installer());
        first_instance = program_folder + UNINSTALLER_FILE_NAME;
        ASSERT_EQ(ours, winsim::entry(first_instance.c_str()).contents);
        attacked_parents = {winsim::standard_folders().temp,
                            winsim::standard_folders().windows + "\\Temp"};
        // The user's own account owns what the administrator creates, unless told otherwise.
        winsim::set_default_owner_of_administrators_objects(winsim::default_owner::creator);
    }
    // The first instance as Windows starts it from the entry; the other program acts right
    // before call `step` (0: never).
    void run_first_instance(unsigned long step)
    {
        attack = attack_record();
        folders_of_theirs.clear();
        fresh_process("Uninstall_" DLL_BASE_NAME);
        winsim::set_module_file_name(first_instance.c_str());
        frame.argument_count = 1;
        strcpy(frame.arguments[0], SWEPT_LAYOUT_KEY);
        winsim::script_random_bytes(known_bytes);
        winsim::clear_call_log();
        winsim::stop_before_call(step, other_program_of_the_user);
        answer_yes_to_everything();
        EXPECT_FALSE(check_uninstaller_command_line());
        winsim::stop_before_call(0, nullptr);
    }
};

TEST_F(folder_swap, no_program_of_the_user_is_started_in_place_of_the_copy)
{
    std::string start = winsim::save_machine_image();
    run_first_instance(0);
    ASSERT_EQ(1u, winsim::started_processes().size());
    unsigned long creation = 0, launch = 0;
    const std::vector<winsim::logged_call> calls = winsim::call_log();
    for (unsigned long n = 1; n <= calls.size(); n++) {
        const winsim::logged_call& call = calls[n - 1];
        if (call.call == "CreateDirectoryA" && creation == 0 &&
            call.subject.find(PRIVATE_FOLDER_PREFIX) != std::string::npos)
            creation = n;
        if (call.call == "CreateProcessA")
            launch = n;
    }
    ASSERT_GT(creation, 0u);
    ASSERT_GT(launch, creation);

    unsigned long attacked = 0, refused = 0;
    for (unsigned long step = 1; step <= launch; step++) {
        SCOPED_TRACE("the other program acts before call " + std::to_string(step) + " " +
                     calls[step - 1].call + "(" + calls[step - 1].subject + ")");
        ASSERT_TRUE(winsim::load_machine_image(start));
        size_t started_before = winsim::started_processes().size();
        run_first_instance(step);
        // Before the folder exists it takes the name; from then on it finds the folder.
        if (step <= creation)
            EXPECT_EQ(2, attack.names_taken);
        else
            EXPECT_EQ(1, attack.private_folders_seen);
        attacked++;
        refused += attack.swaps == 0;
        ASSERT_EQ(started_before + 1, winsim::started_processes().size());
        const winsim::started_process& started = winsim::started_processes().back();
        std::string folder = started.program_path.substr(0, started.program_path.rfind('\\'));
        EXPECT_EQ(ours, winsim::entry(started.program_path.c_str()).contents) << started.program_path;
        EXPECT_FALSE(is_theirs(folder)) << folder;
        EXPECT_TRUE(winsim::has_own_file_security(folder.c_str())) << folder;
        EXPECT_EQ(std::string::npos, winsim::file_security(folder.c_str()).find(winsim::current_user_sid))
            << folder;
    }
    EXPECT_EQ(launch, attacked);
    EXPECT_EQ(launch, refused);
    printf("swap sweep: the other program acted before each of %lu calls (%lu of them after the "
           "folder's creation), refused every time in %lu\n",
           attacked, launch - creation, refused);
}

// A private folder as one made without an owner and without the OWNER RIGHTS entry: the
// policy's default owner, and the protected DACL for the Administrators and SYSTEM alone.
bool create_folder_owned_by_default(const char* folder)
{
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID administrators = NULL, system = NULL;
    DWORD acl_buffer[32];
    PACL acl = (PACL)acl_buffer;
    SECURITY_DESCRIPTOR descriptor;
    const BYTE inherit = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
    bool built = AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0,
                                          0, 0, 0, 0, &administrators) &&
                 AllocateAndInitializeSid(&nt, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0, &system) &&
                 InitializeAcl(acl, sizeof acl_buffer, ACL_REVISION) &&
                 AddAccessAllowedAceEx(acl, ACL_REVISION, inherit, FILE_ALL_ACCESS, administrators) &&
                 AddAccessAllowedAceEx(acl, ACL_REVISION, inherit, FILE_ALL_ACCESS, system) &&
                 InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) &&
                 SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE) &&
                 SetSecurityDescriptorControl(&descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, &descriptor, FALSE};
    bool created = built && CreateDirectoryA(folder, &attributes);
    FreeSid(administrators);
    FreeSid(system);
    return created;
}

class private_folder_owner : public kb_test {};

// Whichever owner the policy gives the administrator's objects, the user's programs without
// administrator rights may neither rewrite the private folder's DACL nor then put their own
// program in place of the copy; a folder owned by the user's account by default would let them.
TEST_F(private_folder_owner, the_users_programs_cannot_rewrite_the_folder_whatever_the_policy)
{
    const char* const administrators = "S-1-5-32-544";
    const struct {
        bool product;
        winsim::default_owner policy;
        bool users_own;
    } cases[] = {
        {false, winsim::default_owner::creator, true},
        {false, winsim::default_owner::administrators_group, false},
        {true, winsim::default_owner::creator, false},
        {true, winsim::default_owner::administrators_group, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.product ? "create_private_folder" : "no owner, no OWNER RIGHTS") +
                     (c.policy == winsim::default_owner::creator ? ", owner by default the creator"
                                                                 : ", owner by default the group"));
        winsim::reset();
        winsim::set_default_owner_of_administrators_objects(c.policy);
        std::string parent = winsim::standard_folders().windows + "\\Temp\\";
        char folder[MAX_PATH];
        if (c.product) {
            ASSERT_TRUE(create_private_folder(parent.c_str(), folder));
        } else {
            strcpy(folder, (parent + PRIVATE_FOLDER_PREFIX "0123456789ABCDEF\\").c_str());
            ASSERT_TRUE(create_folder_owned_by_default(folder));
        }
        std::string copy = std::string(folder) + UNINSTALLER_FILE_NAME;
        ASSERT_TRUE(winsim::add_file(copy.c_str(), ours));
        folder[strlen(folder) - 1] = 0;
        EXPECT_EQ(c.users_own ? winsim::current_user_sid : administrators, winsim::file_owner(folder));

        DWORD rewrite = winsim::user_set_file_security(folder, user_full_control().c_str());
        EXPECT_EQ(c.users_own ? ERROR_SUCCESS : ERROR_ACCESS_DENIED, rewrite);
        bool replaced = winsim::user_delete(copy.c_str()) == ERROR_SUCCESS &&
                        winsim::user_write_file(copy.c_str(), theirs) == ERROR_SUCCESS;
        EXPECT_EQ(c.users_own, replaced);
        EXPECT_EQ(c.users_own ? theirs : ours, winsim::entry(copy.c_str()).contents);
    }
}

}  // namespace
