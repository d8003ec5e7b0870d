// Files Windows has mapped as images (loaded DLLs): the mappings of the program's and other processes' loaders and of the user's session, and their test control.
#include <windows.h>
#include <winsim/control.h>
#include <winsim/files_control.h>

#include "file_system.h"
#include "image_format.h"

#include <map>

namespace winsim {
namespace files {

namespace {

struct mapping {
    std::shared_ptr<node> file;
    mapper by;
};

struct mapping_state {
    std::map<long, mapping> mappings;
    long next_mapping = 1;
};

mapping_state& state() {
    static mapping_state mappings;
    return mappings;
}

void release(std::map<long, mapping>::iterator found) {
    --found->second.file->image_mappings;
    state().mappings.erase(found);
}

}  // namespace

long map_image(const parsed_path& parsed, mapper by, DWORD* error) {
    std::shared_ptr<node> file;
    DWORD status = open_for_mapping(parsed, &file);
    if (status) {
        if (error) *error = status;
        return 0;
    }
    ++file->image_mappings;
    long number = state().next_mapping++;
    state().mappings[number] = mapping{file, by};
    return number;
}

void unmap_image(long number) {
    auto found = state().mappings.find(number);
    if (found == state().mappings.end()) winsim_not_implemented("unmapping a mapping that is not there");
    release(found);
}

bool is_mapped(long number) { return state().mappings.count(number) != 0; }

void release_session_mappings() {
    for (auto at = state().mappings.begin(); at != state().mappings.end();) {
        auto next = std::next(at);
        if (at->second.by == mapper::session) release(at);
        at = next;
    }
}

void release_all_mappings() {
    while (!state().mappings.empty()) release(state().mappings.begin());
}

// The numbers go on across resets, so that a stale number stays unknown.
void reset_image_mappings() { state().mappings.clear(); }

}  // namespace files

using namespace files;

// The mappings of other processes and of the session, which outlive the program, by the paths of
// their files: a mapped file is never deleted, so it is in the tree.
void save_image_mappings(image::writer* out) {
    uint64_t kept = 0;
    for (const auto& at : state().mappings) kept += at.second.by == mapper::program ? 0 : 1;
    out->number(kept);
    for (const auto& at : state().mappings) {
        if (at.second.by == mapper::program) continue;
        out->number(static_cast<uint64_t>(at.first));
        out->text(stored_path(at.second.file.get()));
        out->number(at.second.by == mapper::session);
    }
}

bool load_image_mappings(image::reader* in) {
    state().mappings.clear();
    uint64_t count = in->number();
    for (uint64_t i = 0; i < count && in->ok(); ++i) {
        long number = static_cast<long>(in->number());
        parsed_path parsed = parse_path(in->text().c_str(), path_use::plain, false, path_form::internal);
        mapper by = in->number() ? mapper::session : mapper::other_process;
        node* file = parsed.error ? nullptr : look_up(parsed).target;
        if (!file || file->folder || number <= 0) return false;
        ++file->image_mappings;
        state().mappings[number] = mapping{file->shared_from_this(), by};
        if (number >= state().next_mapping) state().next_mapping = number + 1;
    }
    return in->ok();
}

long map_file_as_image(const char* path, DWORD* error) {
    return map_image(parse_path(path, path_use::plain, false, path_form::internal), mapper::other_process, error);
}

void unmap_file(long mapping) { unmap_image(mapping); }

int image_mappings(const char* path) {
    parsed_path parsed = parse_path(path, path_use::plain, false, path_form::internal);
    node* file = parsed.error ? nullptr : look_up(parsed).target;
    return file ? file->image_mappings : 0;
}

}  // namespace winsim
