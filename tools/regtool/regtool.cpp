// Test tool (Windows console, kernel32 and advapi32 only, so that Wine leaves the user's layout
// list alone): exports registry subtrees as .reg text and applies .reg text.
//   regtool export KEY...   the subtrees, keys and values in the platform's order
//   regtool import FILE...  [key], [-key], "name"="text", @="text", "name"=dword:..., "name"=-,
//                           "name"=hex:.. and "name"=hex(TYPE):.. (one line, the data as
//                           regedit writes it: REG_MULTI_SZ as UTF-16 text)
//   regtool pending         the files listed for a rename or deletion at the next restart
//   regtool hold FILE STOP  keeps FILE open (no delete sharing), as a program using it would,
//                           until the file STOP exists
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static HKEY root_of(const char* path, const char** rest)
{
    static const struct { const char* name; HKEY key; } roots[] = {
        {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE}, {"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
        {"HKEY_USERS", HKEY_USERS}, {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT}};
    for (const auto& root : roots) {
        size_t length = strlen(root.name);
        if (_strnicmp(path, root.name, length) == 0 && (path[length] == '\\' || !path[length])) {
            *rest = path[length] ? path + length + 1 : "";
            return root.key;
        }
    }
    return 0;
}

static void print_text(const char* text, size_t length)
{
    putchar('"');
    for (size_t i = 0; i < length && text[i]; i++) {
        if (text[i] == '\\' || text[i] == '"')
            putchar('\\');
        putchar(text[i]);
    }
    putchar('"');
}

static void export_key(HKEY key, const char* path)
{
    printf("[%s]\n", path);
    char name[16384];
    static BYTE data[65536];
    for (DWORD index = 0;; index++) {
        DWORD name_length = sizeof name, size = sizeof data, type = 0;
        if (RegEnumValueA(key, index, name, &name_length, 0, &type, data, &size) != ERROR_SUCCESS)
            break;
        if (name[0])
            print_text(name, name_length);
        else
            putchar('@');
        putchar('=');
        if (type == REG_SZ && size > 0 && data[size - 1] == 0 && memchr(data, 0, size) == data + size - 1) {
            print_text((const char*)data, size);
        } else if (type == REG_DWORD && size == 4) {
            printf("dword:%08lx", (unsigned long)*(DWORD*)data);
        } else {
            printf(type == REG_BINARY ? "hex:" : "hex(%lx):", (unsigned long)type);
            for (DWORD i = 0; i < size; i++)
                printf(i ? ",%02x" : "%02x", data[i]);
        }
        putchar('\n');
    }
    putchar('\n');
    for (DWORD index = 0;; index++) {
        DWORD length = sizeof name;
        if (RegEnumKeyExA(key, index, name, &length, 0, 0, 0, 0) != ERROR_SUCCESS)
            break;
        HKEY child;
        if (RegOpenKeyExA(key, name, 0, KEY_READ, &child) != ERROR_SUCCESS)
            continue;
        char child_path[4096];
        snprintf(child_path, sizeof child_path, "%s\\%s", path, name);
        export_key(child, child_path);
        RegCloseKey(child);
    }
}

static bool delete_tree(HKEY parent, const char* name)
{
    HKEY key;
    if (RegOpenKeyExA(parent, name, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return false;
    char child[256];
    for (;;) {
        DWORD length = sizeof child;
        if (RegEnumKeyExA(key, 0, child, &length, 0, 0, 0, 0) != ERROR_SUCCESS ||
            !delete_tree(key, child))
            break;
    }
    RegCloseKey(key);
    return RegDeleteKeyA(parent, name) == ERROR_SUCCESS;
}

// Reads a quoted text starting after its opening quote; returns the position after the closing one.
static const char* read_quoted(const char* p, char* out)
{
    while (*p && *p != '"') {
        if (*p == '\\' && p[1])
            p++;
        *out++ = *p++;
    }
    *out = 0;
    return *p == '"' ? p + 1 : p;
}

// Reads the bytes "xx,xx,..." of a hex value into data; false when they are not such bytes.
static bool read_hex_bytes(const char* p, BYTE* data, DWORD capacity, DWORD* size)
{
    *size = 0;
    while (*p) {
        char* end;
        unsigned long byte = strtoul(p, &end, 16);
        if (end == p || byte > 0xFF || *size == capacity)
            return false;
        data[(*size)++] = (BYTE)byte;
        p = end;
        if (*p == ',')
            p++;
        else if (*p)
            return false;
    }
    return true;
}

// Sets a value of hex data. The wide call takes the bytes as they are, also for the text types
// whose bytes regedit writes as UTF-16; the name is the file's ANSI text.
static bool set_hex_value(HKEY key, const char* value_name, DWORD type, const char* hex)
{
    static BYTE data[65536];
    DWORD size = 0;
    if (!read_hex_bytes(hex, data, sizeof data, &size))
        return false;
    WCHAR wide_name[16384];
    if (!MultiByteToWideChar(CP_ACP, 0, value_name ? value_name : "", -1, wide_name, 16384))
        return false;
    return RegSetValueExW(key, value_name ? wide_name : 0, 0, type, data, size) == ERROR_SUCCESS;
}

static int import_file(const char* file_name)
{
    FILE* file = fopen(file_name, "rb");
    if (!file) {
        fprintf(stderr, "regtool: cannot read %s\n", file_name);
        return 1;
    }
    static char line[65536], name[16384], text[65536];
    HKEY key = 0;
    int line_number = 0;
    while (fgets(line, sizeof line, file)) {
        line_number++;
        line[strcspn(line, "\r\n")] = 0;
        if (!line[0] || line[0] == ';' || strncmp(line, "Windows Registry Editor", 23) == 0)
            continue;
        if (line[0] == '[') {
            if (key)
                RegCloseKey(key);
            key = 0;
            bool remove = line[1] == '-';
            char* path = line + (remove ? 2 : 1);
            path[strcspn(path, "]")] = 0;
            const char* rest;
            HKEY root = root_of(path, &rest);
            if (!root) {
                fprintf(stderr, "regtool: line %d: unknown root\n", line_number);
                return 1;
            }
            if (remove) {
                delete_tree(root, rest);
            } else if (RegCreateKeyExA(root, rest, 0, 0, 0, KEY_ALL_ACCESS, 0, &key, 0) != ERROR_SUCCESS) {
                fprintf(stderr, "regtool: line %d: cannot create %s\n", line_number, path);
                return 1;
            }
            continue;
        }
        const char* p = line;
        bool is_default = *p == '@';
        if (is_default) {
            name[0] = 0;
            p++;
        } else if (*p == '"') {
            p = read_quoted(p + 1, name);
        } else {
            fprintf(stderr, "regtool: line %d: not understood\n", line_number);
            return 1;
        }
        if (!key || *p++ != '=') {
            fprintf(stderr, "regtool: line %d: value outside a key\n", line_number);
            return 1;
        }
        const char* value_name = is_default ? 0 : name;
        if (*p == '-') {
            RegDeleteValueA(key, value_name);
        } else if (*p == '"') {
            read_quoted(p + 1, text);
            RegSetValueExA(key, value_name, 0, REG_SZ, (const BYTE*)text, (DWORD)strlen(text) + 1);
        } else if (strncmp(p, "dword:", 6) == 0) {
            DWORD value = (DWORD)strtoul(p + 6, 0, 16);
            RegSetValueExA(key, value_name, 0, REG_DWORD, (const BYTE*)&value, 4);
        } else if (strncmp(p, "hex", 3) == 0 && (p[3] == ':' || p[3] == '(')) {
            DWORD type = REG_BINARY;
            const char* data = p + 4;
            if (p[3] == '(') {
                char* end;
                type = (DWORD)strtoul(p + 4, &end, 16);
                data = end[0] == ')' && end[1] == ':' ? end + 2 : 0;
            }
            if (!data || !set_hex_value(key, value_name, type, data)) {
                fprintf(stderr, "regtool: line %d: hex value not understood\n", line_number);
                return 1;
            }
        } else {
            fprintf(stderr, "regtool: line %d: value type not understood\n", line_number);
            return 1;
        }
    }
    if (key)
        RegCloseKey(key);
    fclose(file);
    return 0;
}

// PendingFileRenameOperations: pairs of paths, one per line ("<source> -> <target>").
static int print_pending()
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager", 0,
                      KEY_READ, &key) != ERROR_SUCCESS)
        return 0;
    static char data[65536];
    DWORD size = sizeof data - 2, type = 0;
    if (RegQueryValueExA(key, "PendingFileRenameOperations", 0, &type, (BYTE*)data, &size) ==
        ERROR_SUCCESS) {
        data[size] = data[size + 1] = 0;
        const char* p = data;
        while (*p) {
            const char* target = p + strlen(p) + 1;
            printf("%s -> %s\n", p, target);
            p = target + strlen(target) + 1;
            if (p >= data + size)
                break;
        }
    }
    RegCloseKey(key);
    return 0;
}

// Holds the file open for reading, sharing reads only, so that it cannot be deleted meanwhile.
static int hold_file(const char* path, const char* stop)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, 0, OPEN_EXISTING, 0, 0);
    if (file == INVALID_HANDLE_VALUE) {
        fprintf(stderr, "regtool: cannot open %s (%lu)\n", path, (unsigned long)GetLastError());
        return 1;
    }
    printf("holding %s\n", path);
    fflush(stdout);
    // At most two minutes, should the test that started it be gone.
    for (int i = 0; i < 1200 && GetFileAttributesA(stop) == INVALID_FILE_ATTRIBUTES; i++)
        Sleep(100);
    CloseHandle(file);
    return 0;
}

int main(int argc, char** argv)
{
    if (argc == 2 && strcmp(argv[1], "pending") == 0)
        return print_pending();
    if (argc == 4 && strcmp(argv[1], "hold") == 0)
        return hold_file(argv[2], argv[3]);
    if (argc >= 3 && strcmp(argv[1], "import") == 0) {
        for (int i = 2; i < argc; i++) {
            if (int status = import_file(argv[i]))
                return status;
        }
        return 0;
    }
    if (argc >= 3 && strcmp(argv[1], "export") == 0) {
        for (int i = 2; i < argc; i++) {
            const char* rest;
            HKEY root = root_of(argv[i], &rest);
            HKEY key;
            if (root && RegOpenKeyExA(root, rest, 0, KEY_READ, &key) == ERROR_SUCCESS) {
                export_key(key, argv[i]);
                RegCloseKey(key);
            }
        }
        return 0;
    }
    fprintf(stderr, "usage: regtool export KEY... | regtool import FILE... | regtool pending | "
                    "regtool hold FILE STOP\n");
    return 2;
}
