// The byte format of a machine image: numbers and length-prefixed byte strings, written and read back.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace winsim {
namespace image {

class writer {
public:
    void number(uint64_t value) {
        for (int i = 0; i < 8; ++i) bytes_ += static_cast<char>((value >> (8 * i)) & 0xff);
    }
    void text(const std::string& value) {
        number(value.size());
        bytes_ += value;
    }
    void data(const std::vector<unsigned char>& value) {
        number(value.size());
        bytes_.append(reinterpret_cast<const char*>(value.data()), value.size());
    }
    const std::string& bytes() const { return bytes_; }

private:
    std::string bytes_;
};

// Reads what a writer wrote; after the first read past the end every read gives 0 or empty
// and ok() is false.
class reader {
public:
    explicit reader(const std::string& bytes) : bytes_(bytes) {}
    uint64_t number() {
        if (!has(8)) return 0;
        uint64_t value = 0;
        for (int i = 0; i < 8; ++i)
            value |= static_cast<uint64_t>(static_cast<unsigned char>(bytes_[at_ + i])) << (8 * i);
        at_ += 8;
        return value;
    }
    std::string text() {
        uint64_t size = number();
        if (!has(size)) return std::string();
        std::string value = bytes_.substr(at_, size);
        at_ += size;
        return value;
    }
    std::vector<unsigned char> data() {
        std::string value = text();
        return std::vector<unsigned char>(value.begin(), value.end());
    }
    bool ok() const { return ok_; }
    bool at_end() const { return at_ == bytes_.size(); }

private:
    bool has(uint64_t size) {
        if (ok_ && size <= bytes_.size() - at_) return true;
        ok_ = false;
        return false;
    }
    const std::string& bytes_;
    size_t at_ = 0;
    bool ok_ = true;
};

}  // namespace image

// Each part of the simulated machine writes what outlives a program, and reads it back in
// place of its own: the registry's keys (registry.cpp), the entries below every drive and share
// (file_system.cpp) with the files the session has mapped (image_mappings.cpp), and the files'
// own descriptors (file_security.cpp).
void save_registry_image(image::writer* out);
bool load_registry_image(image::reader* in);
void save_files_image(image::writer* out);
bool load_files_image(image::reader* in);
void save_image_mappings(image::writer* out);
bool load_image_mappings(image::reader* in);
void save_file_security_image(image::writer* out);
bool load_file_security_image(image::reader* in);

}  // namespace winsim
