// A machine image: the registry, the file system and the files' descriptors, saved and loaded as bytes.
#include <winsim/machine_image.h>

#include "image_format.h"

namespace winsim {

namespace {
const char* const image_tag = "winsim machine image 1";
}

std::string save_machine_image() {
    image::writer out;
    out.text(image_tag);
    save_registry_image(&out);
    save_files_image(&out);
    save_file_security_image(&out);
    return out.bytes();
}

bool load_machine_image(const std::string& bytes) {
    image::reader in(bytes);
    if (in.text() != image_tag) return false;
    // The descriptors name entries by path, so the files come first.
    return load_registry_image(&in) && load_files_image(&in) && load_file_security_image(&in) &&
           in.at_end();
}

}  // namespace winsim
