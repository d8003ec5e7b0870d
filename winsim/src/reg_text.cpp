// Seeding and dumping the simulated registry as registry export text, and direct reads for tests.
#include <windows.h>
#include <winsim/registry_control.h>

#include "registry_store.h"

#include <cstdio>

namespace winsim {

using namespace registry_store;

namespace {

const char header_line[] = "Windows Registry Editor Version 5.00";

std::vector<std::string> split_lines(const char* text) {
    std::vector<std::string> lines;
    std::string line;
    for (const char* p = text;; ++p) {
        if (*p == '\n' || *p == '\0') {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            lines.push_back(line);
            line.clear();
            if (*p == '\0') break;
        } else {
            line += *p;
        }
    }
    return lines;
}

std::string trim(const std::string& text) {
    size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos) return std::string();
    size_t end = text.find_last_not_of(" \t");
    return text.substr(begin, end - begin + 1);
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A quoted text starting at text[*position] ('"'), with \\ and \" escapes. On return *position is
// just past the closing quote.
bool parse_quoted(const std::string& text, size_t* position, std::string* result) {
    result->clear();
    size_t i = *position;
    if (i >= text.size() || text[i] != '"') return false;
    for (++i; i < text.size(); ++i) {
        char c = text[i];
        if (c == '"') {
            *position = i + 1;
            return true;
        }
        if (c == '\\') {
            if (i + 1 >= text.size() || (text[i + 1] != '\\' && text[i + 1] != '"')) return false;
            c = text[++i];
        }
        *result += c;
    }
    return false;
}

// "01,02,ab" (possibly empty, a trailing comma allowed).
bool parse_hex_bytes(const std::string& text, std::vector<BYTE>* bytes) {
    bytes->clear();
    std::string rest = trim(text);
    if (rest.empty()) return true;
    size_t start = 0;
    while (start <= rest.size()) {
        size_t comma = rest.find(',', start);
        std::string item = trim(rest.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (item.empty()) {
            // Only a trailing comma may leave an empty item.
            if (comma == std::string::npos && !bytes->empty()) return true;
            return false;
        }
        if (item.size() > 2) return false;
        int value = 0;
        for (char c : item) {
            int digit = hex_digit(c);
            if (digit < 0) return false;
            value = value * 16 + digit;
        }
        bytes->push_back(static_cast<BYTE>(value));
        if (comma == std::string::npos) return true;
        start = comma + 1;
    }
    return true;
}

// The data part of a value line, after '='. Sets *remove for "-".
bool parse_data(const std::string& text, bool* remove, DWORD* type, std::vector<BYTE>* data) {
    *remove = false;
    data->clear();
    if (text == "-") {
        *remove = true;
        return true;
    }
    if (!text.empty() && text[0] == '"') {
        size_t position = 0;
        std::string value;
        if (!parse_quoted(text, &position, &value) || position != text.size()) return false;
        *type = REG_SZ;
        data->assign(value.begin(), value.end());
        data->push_back(0);
        return true;
    }
    if (text.compare(0, 6, "dword:") == 0) {
        std::string digits = text.substr(6);
        if (digits.empty() || digits.size() > 8) return false;
        DWORD value = 0;
        for (char c : digits) {
            int digit = hex_digit(c);
            if (digit < 0) return false;
            value = value * 16 + static_cast<DWORD>(digit);
        }
        *type = REG_DWORD;
        for (int i = 0; i < 4; ++i) data->push_back(static_cast<BYTE>(value >> (8 * i)));
        return true;
    }
    if (text.compare(0, 4, "hex:") == 0) {
        *type = REG_BINARY;
        return parse_hex_bytes(text.substr(4), data);
    }
    if (text.compare(0, 4, "hex(") == 0) {
        size_t close = text.find("):", 4);
        if (close == std::string::npos || close == 4 || close > 12) return false;
        DWORD value = 0;
        for (size_t i = 4; i < close; ++i) {
            int digit = hex_digit(text[i]);
            if (digit < 0) return false;
            value = value * 16 + static_cast<DWORD>(digit);
        }
        *type = value;
        return parse_hex_bytes(text.substr(close + 2), data);
    }
    return false;
}

bool fail(std::string* error, size_t line_number, const std::string& reason) {
    if (error) *error = "line " + std::to_string(line_number) + ": " + reason;
    return false;
}

std::string quoted(const std::string& text) {
    std::string result = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"') result += '\\';
        result += c;
    }
    return result + "\"";
}

// A zero-terminated text without inner zeros or line breaks can be written as "text". (Names
// are always written quoted: one with a line break does not survive the text format.)
bool is_plain_text(const value_entry& value) {
    if (value.type != REG_SZ || value.data.empty() || value.data.back() != 0) return false;
    for (size_t i = 0; i + 1 < value.data.size(); ++i) {
        BYTE c = value.data[i];
        if (c == 0 || c == '\r' || c == '\n') return false;
    }
    return true;
}

// Byte lists are wrapped as regedit wraps them: lines of at most 80 characters, continued with
// a backslash and two spaces.
void append_hex(std::string* out, const std::string& prefix, const std::vector<BYTE>& data) {
    std::string line = prefix;
    for (size_t i = 0; i < data.size(); ++i) {
        bool last = i + 1 == data.size();
        char item[4];
        std::snprintf(item, sizeof item, last ? "%02x" : "%02x,", data[i]);
        if (line.size() + std::string(item).size() + 1 > 80) {
            *out += line + "\\\n";
            line = "  ";
        }
        line += item;
    }
    *out += line + "\n";
}

void append_value(std::string* out, const value_entry& value) {
    std::string prefix = value.name.empty() ? "@=" : quoted(value.name) + "=";
    if (is_plain_text(value)) {
        *out += prefix + quoted(std::string(value.data.begin(), value.data.end() - 1)) + "\n";
    } else if (value.type == REG_DWORD && value.data.size() == 4) {
        DWORD number = 0;
        for (int i = 3; i >= 0; --i) number = number << 8 | value.data[static_cast<size_t>(i)];
        char text[20];
        std::snprintf(text, sizeof text, "dword:%08x", static_cast<unsigned>(number));
        *out += prefix + text + "\n";
    } else if (value.type == REG_BINARY) {
        append_hex(out, prefix + "hex:", value.data);
    } else {
        char type[20];
        std::snprintf(type, sizeof type, "hex(%x):", static_cast<unsigned>(value.type));
        append_hex(out, prefix + type, value.data);
    }
}

void append_key(std::string* out, const key_node* key) {
    *out += "[" + key->path + "]\n";
    for (const value_entry& value : key->values) append_value(out, value);
    *out += "\n";
    for (const auto& child : key->subkeys) append_key(out, child.get());
}

}  // namespace

// The data of hex(N) values are taken as the bytes the A functions see (8-bit text for the text
// types), not as the UTF-16 that regedit writes there.
bool reg_import(const char* reg_text, std::string* error) {
    std::vector<std::string> lines = split_lines(reg_text ? reg_text : "");
    key_node* current = nullptr;
    bool seen_content = false;
    for (size_t index = 0; index < lines.size(); ++index) {
        size_t line_number = index + 1;
        std::string line = trim(lines[index]);
        if (line.empty() || line[0] == ';') continue;
        if (!seen_content && line == header_line) {
            seen_content = true;
            continue;
        }
        seen_content = true;

        if (line[0] == '[') {
            if (line.back() != ']') return fail(error, line_number, "key line without ']'");
            std::string path = line.substr(1, line.size() - 2);
            if (!path.empty() && path[0] == '-') {
                key_node* root;
                std::vector<std::string> names;
                if (!split_full_path(path.substr(1), &root, &names)) {
                    return fail(error, line_number, "unknown root in '" + path + "'");
                }
                if (names.empty()) return fail(error, line_number, "a root cannot be deleted");
                key_node* key = find_key(path.substr(1));
                if (key) delete_subtree(key);
                current = nullptr;
                continue;
            }
            current = create_key(path);
            if (!current) return fail(error, line_number, "unknown root in '" + path + "'");
            continue;
        }

        if (line[0] != '"' && line[0] != '@') return fail(error, line_number, "not a key or value line");
        if (!current) return fail(error, line_number, "value line outside a key");
        std::string name;
        size_t position = 0;
        if (line[0] == '@') {
            position = 1;
        } else if (!parse_quoted(line, &position, &name)) {
            return fail(error, line_number, "bad value name");
        }
        if (position >= line.size() || line[position] != '=') {
            return fail(error, line_number, "'=' missing after the value name");
        }
        std::string data_text = line.substr(position + 1);
        // Byte lists continue on the next lines after a trailing backslash.
        if (data_text.compare(0, 3, "hex") == 0) {
            while (!data_text.empty() && data_text.back() == '\\') {
                data_text.pop_back();
                if (index + 1 >= lines.size()) return fail(error, line_number, "continuation at the end");
                data_text += trim(lines[++index]);
            }
        }
        bool remove;
        DWORD type = REG_NONE;
        std::vector<BYTE> data;
        if (!parse_data(data_text, &remove, &type, &data)) return fail(error, line_number, "bad value data");
        if (remove) {
            delete_value(current, name);
        } else {
            set_value(current, name, type, data.data(), static_cast<DWORD>(data.size()));
        }
    }
    return true;
}

std::string reg_export(const char* key_path) {
    std::string out;
    const key_node* key = find_key(key_path ? key_path : "");
    if (key) append_key(&out, key);
    return out;
}

bool reg_key_exists(const char* key_path) {
    return find_key(key_path ? key_path : "") != nullptr;
}

// The bytes up to the first zero (or all of them) as text, whatever the value's type.
bool reg_read_string(const char* key_path, const char* value_name, std::string* text) {
    key_node* key = find_key(key_path ? key_path : "");
    if (!key) return false;
    const value_entry* value = find_value(key, value_name ? value_name : "");
    if (!value) return false;
    if (text) {
        text->clear();
        for (BYTE c : value->data) {
            if (c == 0) break;
            *text += static_cast<char>(c);
        }
    }
    return true;
}

}  // namespace winsim
