// Starts a program, records every message box and window it shows, and answers the boxes from a script.
//
//   dialog_driver.exe --script FILE --transcript FILE [--timeout SECONDS] [--wait-image NAME]...
//                     [--screenshots PREFIX] [--verbose] -- PROGRAM [ARGS...]
//   dialog_driver.exe --hold
//
// Script: one answer a line, "yes", "no", "ok" or "cancel", optionally followed by one space and a
// piece of text the box must contain (UTF-8). Lines starting with '#' and blank lines are skipped.
// The transcript (UTF-8) lists, in the order they come: the program's own top-level windows, each
// box with caption, text, icon, buttons, owner and the answer given, any failure, and the exit code.
// Exit status: 0 when every box came as scripted and the program ended, 1 on any failure,
// 2 on a usage error or when the program cannot be started.
//
// --wait-image NAME: also wait until no process of that image name runs, and treat its windows as
// the program's own (a program that goes on from a copy of itself). --screenshots PREFIX: before
// answering box N, the driver saves what the screen shows of it as PREFIX-boxN.bmp, and before
// the first box, with the box hidden, of its owner as PREFIX-box1-owner.bmp, as the user saw the
// owner before any box came (24-bit BMP files). --verbose: progress with times
// on stderr. --hold: only keeps a connection to the desktop until it is killed; Wine ends the
// desktop process a few seconds after the last program using it, and starting it again costs the
// next run seconds, so a test keeps one of these running for its whole run.

#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
#endif
#include <windows.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

const DWORD kPollMs = 50;
const UINT kMessageTimeoutMs = 2000;
const ULONGLONG kIconSettleMs = 1000;
const wchar_t kBoxClass[] = L"#32770";
const int kTextControlId = 0xFFFF;

struct Answer {
  const char* word;
  int id;
};
const Answer kAnswers[] = {{"ok", IDOK}, {"cancel", IDCANCEL}, {"yes", IDYES}, {"no", IDNO}};

const char* answer_word(int id) {
  for (const Answer& a : kAnswers)
    if (a.id == id) return a.word;
  return "?";
}

struct ScriptEntry {
  int line = 0;
  int id = 0;
  std::string expect;  // UTF-8, empty when the box may say anything
};

std::string to_utf8(const std::wstring& w) {
  if (w.empty()) return std::string();
  int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), &s[0], n, nullptr, nullptr);
  return s;
}

std::wstring from_utf8(const std::string& s) {
  if (s.empty()) return std::wstring();
  int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring w(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), &w[0], n);
  return w;
}

// Quotes a text for the transcript so that every record stays on one line.
std::string quoted(const std::string& s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || c == 0x7F) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\x%02X", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  out += "\"";
  return out;
}

std::string lower_ascii(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

void write_handle(HANDLE h, const std::string& s) {
  if (h == nullptr || h == INVALID_HANDLE_VALUE) return;
  DWORD done = 0;
  WriteFile(h, s.data(), static_cast<DWORD>(s.size()), &done, nullptr);
}

class Transcript {
 public:
  bool open(const std::wstring& path) {
    file_ = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
    return file_ != INVALID_HANDLE_VALUE;
  }
  void line(const std::string& s) {
    write_handle(file_, s + "\n");
    FlushFileBuffers(file_);
  }
  void close() {
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
    file_ = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE file_ = INVALID_HANDLE_VALUE;
};

Transcript g_transcript;
int g_failures = 0;

void to_stderr(const std::string& s) { write_handle(GetStdHandle(STD_ERROR_HANDLE), "dialog_driver: " + s + "\n"); }

bool g_verbose = false;
ULONGLONG g_start_ms = 0;

// With --verbose, progress with milliseconds since the start goes to stderr.
void trace(const std::string& what) {
  if (!g_verbose) return;
  char ms[32];
  std::snprintf(ms, sizeof ms, "%8llu ms ", static_cast<unsigned long long>(GetTickCount64() - g_start_ms));
  to_stderr(ms + what);
}

void fail(const std::string& what) {
  ++g_failures;
  g_transcript.line("FAIL: " + what);
  to_stderr("FAIL: " + what);
}

// Caption of a top-level window of any process, as the system keeps it: no message is sent, so
// a program busy without pumping messages does not hold the driver up.
std::wstring caption_text(HWND hwnd) {
  int len = GetWindowTextLengthW(hwnd);
  if (len <= 0) return std::wstring();
  std::vector<wchar_t> buf(static_cast<size_t>(len) + 2, L'\0');
  int n = GetWindowTextW(hwnd, buf.data(), static_cast<int>(buf.size()));
  return std::wstring(buf.data(), n > 0 ? static_cast<size_t>(n) : 0);
}

// Text of a control in another process's box: WM_GETTEXT is carried across processes by the
// system and asks the control itself.
std::wstring control_text(HWND hwnd) {
  DWORD_PTR len = 0;
  if (!SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kMessageTimeoutMs, &len)) {
    return caption_text(hwnd);
  }
  std::vector<wchar_t> buf(len + 2, L'\0');
  DWORD_PTR got = 0;
  SendMessageTimeoutW(hwnd, WM_GETTEXT, static_cast<WPARAM>(buf.size()), reinterpret_cast<LPARAM>(buf.data()),
                      SMTO_ABORTIFHUNG, kMessageTimeoutMs, &got);
  buf.back() = L'\0';
  return std::wstring(buf.data());
}

std::wstring class_name(HWND hwnd) {
  wchar_t buf[256];
  int n = GetClassNameW(hwnd, buf, 256);
  return std::wstring(buf, n > 0 ? static_cast<size_t>(n) : 0);
}

std::string size_text(HWND hwnd) {
  RECT w{}, c{};
  GetWindowRect(hwnd, &w);
  GetClientRect(hwnd, &c);
  char buf[96];
  std::snprintf(buf, sizeof buf, "window %ldx%ld client %ldx%ld", w.right - w.left, w.bottom - w.top,
                c.right - c.left, c.bottom - c.top);
  return buf;
}

std::string describe_window(HWND hwnd) {
  return "class " + quoted(to_utf8(class_name(hwnd))) + " caption " + quoted(to_utf8(caption_text(hwnd))) + " " +
         size_text(hwnd);
}

std::map<DWORD, std::wstring> process_names() {
  std::map<DWORD, std::wstring> names;
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snap == INVALID_HANDLE_VALUE) return names;
  PROCESSENTRY32W pe{};
  pe.dwSize = sizeof pe;
  for (BOOL ok = Process32FirstW(snap, &pe); ok; ok = Process32NextW(snap, &pe)) names[pe.th32ProcessID] = pe.szExeFile;
  CloseHandle(snap);
  return names;
}

std::wstring base_name(const std::wstring& path) {
  size_t cut = path.find_last_of(L"\\/");
  return cut == std::wstring::npos ? path : path.substr(cut + 1);
}

bool same_image(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(base_name(a).c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

// One command-line argument quoted so that CommandLineToArgvW and the C runtime read it back unchanged.
std::wstring quote_argument(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) return arg;
  std::wstring out = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
    } else if (c == L'"') {
      out.append(backslashes * 2 + 1, L'\\');
      out += c;
      backslashes = 0;
    } else {
      out.append(backslashes, L'\\');
      out += c;
      backslashes = 0;
    }
  }
  out.append(backslashes * 2, L'\\');
  out += L"\"";
  return out;
}

bool read_script(const std::wstring& path, std::vector<ScriptEntry>& entries, std::string& error) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    error = "cannot open the script " + quoted(to_utf8(path));
    return false;
  }
  std::string data;
  char buf[4096];
  DWORD got = 0;
  while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0) data.append(buf, got);
  CloseHandle(h);
  if (data.size() >= 3 && data.compare(0, 3, "\xEF\xBB\xBF") == 0) data.erase(0, 3);

  int number = 0;
  size_t pos = 0;
  while (pos < data.size()) {
    size_t end = data.find('\n', pos);
    if (end == std::string::npos) end = data.size();
    std::string line = data.substr(pos, end - pos);
    pos = end + 1;
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos || line[first] == '#') continue;
    line.erase(0, first);
    size_t space = line.find(' ');
    std::string word = lower_ascii(line.substr(0, space));
    ScriptEntry entry;
    entry.line = number;
    if (space != std::string::npos) entry.expect = line.substr(space + 1);
    for (const Answer& a : kAnswers)
      if (word == a.word) entry.id = a.id;
    if (entry.id == 0) {
      error = "script line " + std::to_string(number) + ": " + quoted(word) + " is not yes, no, ok or cancel";
      return false;
    }
    entries.push_back(entry);
  }
  return true;
}

// Which standard icon a box shows, told from its pixels on the screen: the icon handle belongs to
// the other process, so the driver draws each standard icon itself on the same background and
// compares the pictures.
class Picture {
 public:
  Picture(HDC like, int w, int h) : w_(w), h_(h) {
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    bitmap_ = CreateDIBSection(like, &bi, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits_), nullptr, 0);
    dc_ = CreateCompatibleDC(like);
    old_ = bitmap_ ? SelectObject(dc_, bitmap_) : nullptr;
  }
  ~Picture() {
    if (old_) SelectObject(dc_, old_);
    if (dc_) DeleteDC(dc_);
    if (bitmap_) DeleteObject(bitmap_);
  }
  Picture(const Picture&) = delete;
  Picture& operator=(const Picture&) = delete;

  bool ok() const { return bitmap_ && dc_ && bits_; }
  HDC dc() const { return dc_; }
  int width() const { return w_; }
  int height() const { return h_; }
  DWORD at(int x, int y) const { return bits_[y * w_ + x] & 0x00FFFFFF; }
  double likeness(const Picture& other) const {
    GdiFlush();
    int same = 0;
    for (int y = 0; y < h_; ++y)
      for (int x = 0; x < w_; ++x) same += at(x, y) == other.at(x, y);
    return static_cast<double>(same) / (w_ * h_);
  }

 private:
  int w_, h_;
  HBITMAP bitmap_ = nullptr;
  HDC dc_ = nullptr;
  HGDIOBJ old_ = nullptr;
  DWORD* bits_ = nullptr;
};

const char kIconUnknown[] = "unknown";
// A drawn icon matches the right standard icon exactly; the nearest wrong one (question and
// information) shares about four pixels in five.
const double kIconLikeness = 0.97;

std::string icon_kind(HWND icon_static) {
  struct Known {
    LPCWSTR id;
    const char* name;
  };
  const Known known[] = {{IDI_QUESTION, "question"},
                         {IDI_WARNING, "warning"},
                         {IDI_ERROR, "error"},
                         {IDI_INFORMATION, "information"}};
  RECT r{};
  GetWindowRect(icon_static, &r);
  int w = GetSystemMetrics(SM_CXICON), h = GetSystemMetrics(SM_CYICON);
  if (r.right - r.left < w || r.bottom - r.top < h || w <= 0 || h <= 0) return kIconUnknown;

  HDC screen = GetDC(nullptr);
  std::string result = kIconUnknown;
  {
    Picture shown(screen, w + 1, h + 1);
    if (shown.ok() && BitBlt(shown.dc(), 0, 0, w + 1, h + 1, screen, r.left - 1, r.top - 1, SRCCOPY)) {
      GdiFlush();
      Picture icon_area(screen, w, h);
      BitBlt(icon_area.dc(), 0, 0, w, h, shown.dc(), 1, 1, SRCCOPY);
      COLORREF back = GetPixel(shown.dc(), 0, 0);  // just outside the icon: the box's background
      HBRUSH brush = CreateSolidBrush(back);
      RECT all{0, 0, w, h};
      double best = 0;
      for (const Known& k : known) {
        Picture drawn(screen, w, h);
        if (!drawn.ok()) continue;
        FillRect(drawn.dc(), &all, brush);
        DrawIconEx(drawn.dc(), 0, 0, LoadIconW(nullptr, k.id), w, h, 0, nullptr, DI_NORMAL);
        double like = drawn.likeness(icon_area);
        char score[64];
        std::snprintf(score, sizeof score, "icon likeness %s %.3f", k.name, like);
        trace(score);
        if (like > best) {
          best = like;
          if (like >= kIconLikeness) result = k.name;
        }
      }
      DeleteObject(brush);
    }
  }
  ReleaseDC(nullptr, screen);
  return result;
}

// Writes the picture as a 24-bit BMP file, its rows bottom up.
bool write_bmp(const Picture& picture, const std::wstring& path) {
  GdiFlush();
  const int w = picture.width(), h = picture.height(), stride = (w * 3 + 3) & ~3;
  BITMAPFILEHEADER file{};
  BITMAPINFOHEADER info{};
  info.biSize = sizeof info;
  info.biWidth = w;
  info.biHeight = h;
  info.biPlanes = 1;
  info.biBitCount = 24;
  info.biCompression = BI_RGB;
  info.biSizeImage = static_cast<DWORD>(stride * h);
  file.bfType = 0x4D42;  // "BM"
  file.bfOffBits = sizeof file + sizeof info;
  file.bfSize = file.bfOffBits + info.biSizeImage;
  std::string data(reinterpret_cast<const char*>(&file), sizeof file);
  data.append(reinterpret_cast<const char*>(&info), sizeof info);
  for (int y = h - 1; y >= 0; --y) {
    std::string row(static_cast<size_t>(stride), '\0');
    for (int x = 0; x < w; ++x) {
      DWORD pixel = picture.at(x, y);
      row[x * 3] = static_cast<char>(pixel & 0xFF);
      row[x * 3 + 1] = static_cast<char>((pixel >> 8) & 0xFF);
      row[x * 3 + 2] = static_cast<char>((pixel >> 16) & 0xFF);
    }
    data += row;
  }
  HANDLE out = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (out == INVALID_HANDLE_VALUE) return false;
  DWORD done = 0;
  bool written = WriteFile(out, data.data(), static_cast<DWORD>(data.size()), &done, nullptr) && done == data.size();
  CloseHandle(out);
  return written;
}

// Saves what the screen shows of a window, frame and caption included.
void save_screenshot(HWND hwnd, const std::wstring& path) {
  RECT r{};
  GetWindowRect(hwnd, &r);
  HDC screen = GetDC(nullptr);
  bool saved = false;
  if (r.right > r.left && r.bottom > r.top) {
    Picture shot(screen, r.right - r.left, r.bottom - r.top);
    saved = shot.ok() && BitBlt(shot.dc(), 0, 0, shot.width(), shot.height(), screen, r.left, r.top, SRCCOPY) &&
            write_bmp(shot, path);
  }
  ReleaseDC(nullptr, screen);
  if (!saved) fail("cannot save the screenshot " + quoted(to_utf8(path)));
  trace("screenshot " + to_utf8(path));
}

// Time for a window's own process to paint what became visible and for the display to show it.
const DWORD kRepaintMs = 200;

// The box as it is shown; before the first box is answered, with the box hidden, its owner too.
void save_box_screenshots(HWND box, const std::wstring& prefix, int number) {
  std::wstring name = prefix + L"-box" + std::to_wstring(number);
  save_screenshot(box, name + L".bmp");
  HWND owner = GetWindow(box, GW_OWNER);
  if (!owner || number != 1) return;
  ShowWindow(box, SW_HIDE);
  RedrawWindow(owner, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_UPDATENOW | RDW_ALLCHILDREN);
  Sleep(kRepaintMs);
  save_screenshot(owner, name + L"-owner.bmp");
}

struct Button {
  HWND hwnd;
  int id;
  std::wstring text;
  bool is_default;
};

struct BoxView {
  std::wstring caption;
  std::wstring text;
  bool has_text = false;
  std::string icon = "none";
  std::vector<Button> buttons;

  std::wstring signature() const {
    std::wstring s = caption + L'\x1' + text + L'\x1' + from_utf8(icon) + L'\x1';
    for (const Button& b : buttons) s += std::to_wstring(b.id) + L'=' + b.text + L'\x1';
    return s;
  }
};

BOOL CALLBACK collect_children(HWND hwnd, LPARAM param) {
  reinterpret_cast<std::vector<HWND>*>(param)->push_back(hwnd);
  return TRUE;
}

BoxView read_box(HWND box) {
  BoxView view;
  view.caption = caption_text(box);
  std::vector<HWND> children;
  EnumChildWindows(box, collect_children, reinterpret_cast<LPARAM>(&children));
  for (HWND child : children) {
    if (GetParent(child) != box) continue;
    std::wstring cls = class_name(child);
    int id = GetDlgCtrlID(child) & 0xFFFF;
    LONG style = GetWindowLongW(child, GWL_STYLE);
    bool visible = IsWindowVisible(child) != FALSE;
    if (CompareStringOrdinal(cls.c_str(), -1, L"Static", -1, TRUE) == CSTR_EQUAL) {
      if (id == kTextControlId && !view.has_text) {
        view.text = control_text(child);
        view.has_text = true;
      } else if ((style & SS_TYPEMASK) == SS_ICON && visible) {
        view.icon = icon_kind(child);
      }
    } else if (CompareStringOrdinal(cls.c_str(), -1, L"Button", -1, TRUE) == CSTR_EQUAL && visible) {
      view.buttons.push_back(Button{child, id, control_text(child), (style & BS_TYPEMASK) == BS_DEFPUSHBUTTON});
    }
  }
  return view;
}

const Button* find_button(const BoxView& view, int id) {
  for (const Button& b : view.buttons)
    if (b.id == id) return &b;
  return nullptr;
}

// The answer that ends a box without agreeing to anything.
int closing_answer(const BoxView& view) {
  for (int id : {IDCANCEL, IDNO, IDOK})
    if (find_button(view, id)) return id;
  return view.buttons.empty() ? IDCANCEL : view.buttons.front().id;
}

void press(HWND box, const BoxView& view, int id) {
  const Button* b = find_button(view, id);
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(b ? b->hwnd : nullptr));
}

struct TopWindow {
  HWND hwnd;
  DWORD pid;
  bool is_box;
};

struct EnumState {
  DWORD self;
  std::vector<TopWindow>* out;
};

BOOL CALLBACK collect_top(HWND hwnd, LPARAM param) {
  EnumState* st = reinterpret_cast<EnumState*>(param);
  if (!IsWindowVisible(hwnd)) return TRUE;
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid == st->self) return TRUE;
  st->out->push_back(TopWindow{hwnd, pid, class_name(hwnd) == kBoxClass});
  return TRUE;
}

std::vector<TopWindow> visible_top_windows() {
  std::vector<TopWindow> windows;
  EnumState st{GetCurrentProcessId(), &windows};
  EnumWindows(collect_top, reinterpret_cast<LPARAM>(&st));
  return windows;
}

void usage() {
  to_stderr(
      "usage: dialog_driver.exe --script FILE --transcript FILE [--timeout SECONDS] [--wait-image NAME]... "
      "[--screenshots PREFIX] [--verbose] -- PROGRAM [ARGS...]\n"
      "       dialog_driver.exe --hold");
}

ULONGLONG now_ms() { return GetTickCount64(); }

}  // namespace

int main() {
  g_start_ms = GetTickCount64();
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argv == nullptr) return 2;
  if (argc == 2 && std::wstring(argv[1]) == L"--hold") {
    GetDesktopWindow();
    for (;;) Sleep(60000);
  }

  std::wstring script_path, transcript_path, screenshots;
  std::vector<std::wstring> wait_images;
  double timeout_s = 30;
  int program_at = -1;
  for (int i = 1; i < argc; ++i) {
    std::wstring a = argv[i];
    bool has_value = i + 1 < argc;
    if (a == L"--") {
      program_at = i + 1;
      break;
    } else if (a == L"--script" && has_value) {
      script_path = argv[++i];
    } else if (a == L"--transcript" && has_value) {
      transcript_path = argv[++i];
    } else if (a == L"--timeout" && has_value) {
      timeout_s = _wtof(argv[++i]);
    } else if (a == L"--wait-image" && has_value) {
      wait_images.push_back(argv[++i]);
    } else if (a == L"--screenshots" && has_value) {
      screenshots = argv[++i];
    } else if (a == L"--verbose") {
      g_verbose = true;
    } else {
      to_stderr("unknown or incomplete option " + quoted(to_utf8(a)));
      usage();
      return 2;
    }
  }
  if (script_path.empty() || transcript_path.empty() || program_at < 0 || program_at >= argc || timeout_s <= 0) {
    usage();
    return 2;
  }
  const ULONGLONG timeout_ms = static_cast<ULONGLONG>(timeout_s * 1000);

  std::vector<ScriptEntry> script;
  std::string error;
  if (!read_script(script_path, script, error)) {
    to_stderr(error);
    return 2;
  }
  if (!g_transcript.open(transcript_path)) {
    to_stderr("cannot create the transcript " + quoted(to_utf8(transcript_path)));
    return 2;
  }

  std::wstring command_line;
  for (int i = program_at; i < argc; ++i) {
    if (i > program_at) command_line += L' ';
    command_line += quote_argument(argv[i]);
  }
  g_transcript.line("start: " + to_utf8(base_name(argv[program_at])));

  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  std::vector<wchar_t> cmd(command_line.begin(), command_line.end());
  cmd.push_back(L'\0');
  if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    DWORD err = GetLastError();
    fail("cannot start " + quoted(to_utf8(argv[program_at])) + " (error " + std::to_string(err) + ")");
    g_transcript.close();
    return 2;
  }
  CloseHandle(pi.hThread);
  trace("started process " + std::to_string(pi.dwProcessId));

  std::set<DWORD> watched = {pi.dwProcessId};
  std::set<HWND> recorded_windows, handled_boxes;
  std::map<HWND, std::wstring> pending_windows, pending_boxes;  // seen in the last poll, not yet recorded
  std::map<HWND, ULONGLONG> box_first_seen;
  size_t next = 0;
  int box_number = 0;
  bool given_up = false;  // after a failure every further box is closed, not answered
  bool killed = false;
  ULONGLONG last_event = now_ms();

  for (;;) {
    // Whether the program has ended is asked before the process list is taken: a copy it starts
    // before it ends is then in the list even when the program ends in between.
    bool program_ended = WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0;
    bool images_running = false;
    std::map<DWORD, std::wstring> names = process_names();
    for (const auto& p : names) {
      for (const std::wstring& image : wait_images) {
        if (same_image(p.second, image)) {
          watched.insert(p.first);
          images_running = true;
        }
      }
    }

    // A handle that no longer names a window may come back for a new one.
    for (auto it = handled_boxes.begin(); it != handled_boxes.end();)
      it = IsWindow(*it) ? std::next(it) : handled_boxes.erase(it);
    for (auto it = recorded_windows.begin(); it != recorded_windows.end();)
      it = IsWindow(*it) ? std::next(it) : recorded_windows.erase(it);
    for (auto it = box_first_seen.begin(); it != box_first_seen.end();)
      it = IsWindow(it->first) ? std::next(it) : box_first_seen.erase(it);

    // A window is recorded once it shows the same state in two polls in a row, so that a
    // window still being filled in or moved into place is not recorded half done.
    std::map<HWND, std::wstring> now_windows, now_boxes;
    std::vector<std::string> ready_windows;
    std::vector<std::pair<TopWindow, BoxView>> ready_boxes;
    for (const TopWindow& w : visible_top_windows()) {
      if (w.is_box) {
        if (handled_boxes.count(w.hwnd)) continue;
        BoxView view = read_box(w.hwnd);
        std::wstring sig = view.signature();
        ULONGLONG first = box_first_seen.emplace(w.hwnd, now_ms()).first->second;
        // An icon not yet painted reads as unknown: give it a moment before taking that.
        bool icon_settled = view.icon != kIconUnknown || now_ms() - first > kIconSettleMs;
        auto it = pending_boxes.find(w.hwnd);
        if (it != pending_boxes.end() && it->second == sig && icon_settled)
          ready_boxes.emplace_back(w, view);
        else
          now_boxes[w.hwnd] = sig;
      } else if (watched.count(w.pid) && !recorded_windows.count(w.hwnd)) {
        std::string desc = describe_window(w.hwnd);
        std::wstring sig = from_utf8(desc);
        auto it = pending_windows.find(w.hwnd);
        if (it != pending_windows.end() && it->second == sig) {
          recorded_windows.insert(w.hwnd);
          ready_windows.push_back(desc);
        } else {
          now_windows[w.hwnd] = sig;
        }
      }
    }
    pending_windows.swap(now_windows);
    pending_boxes.swap(now_boxes);

    for (const std::string& desc : ready_windows) {
      trace("window: " + desc);
      g_transcript.line("window: " + desc);
    }

    for (const auto& ready : ready_boxes) {
      HWND box = ready.first.hwnd;
      const BoxView& view = ready.second;
      handled_boxes.insert(box);
      trace("box: " + quoted(to_utf8(view.caption)));
      ++box_number;
      std::string head = "box " + std::to_string(box_number) + ": caption " + quoted(to_utf8(view.caption));
      if (!watched.count(ready.first.pid)) {
        auto name = names.find(ready.first.pid);
        head += " process " + quoted(to_utf8(name == names.end() ? std::wstring(L"?") : name->second));
      }
      g_transcript.line(head);
      g_transcript.line("  text: " + (view.has_text ? quoted(to_utf8(view.text)) : std::string("none")));
      g_transcript.line(std::string("  icon: ") + view.icon);
      for (const Button& b : view.buttons)
        g_transcript.line("  button: " + std::to_string(b.id) + " " + quoted(to_utf8(b.text)) +
                          (b.is_default ? " default" : ""));
      HWND owner = GetWindow(box, GW_OWNER);
      g_transcript.line("  owner: " + (owner ? describe_window(owner) : std::string("none")));

      int answer = 0;
      std::string where = "box " + std::to_string(box_number);
      if (given_up) {
        // Already failed: the box is only closed so that the program can end.
      } else if (next >= script.size()) {
        fail(where + " came after the script was used up");
        given_up = true;
      } else {
        const ScriptEntry& entry = script[next++];
        std::string line = "script line " + std::to_string(entry.line);
        if (!entry.expect.empty() && to_utf8(view.text).find(entry.expect) == std::string::npos) {
          fail(where + " text lacks " + quoted(entry.expect) + " (" + line + ")");
          given_up = true;
        } else if (!find_button(view, entry.id)) {
          fail(where + " has no button for " + quoted(answer_word(entry.id)) + " (" + line + ")");
          given_up = true;
        } else {
          answer = entry.id;
        }
      }
      if (answer != 0) {
        g_transcript.line(std::string("  answer: ") + answer_word(answer));
      } else {
        answer = closing_answer(view);
        g_transcript.line(std::string("  closed with: ") + answer_word(answer));
      }
      if (!screenshots.empty()) save_box_screenshots(box, screenshots, box_number);
      press(box, view, answer);
      trace(std::string("pressed ") + answer_word(answer));
      last_event = now_ms();
    }

    if (program_ended && !images_running) {
      trace("watched processes ended");
      break;
    }

    if (now_ms() - last_event > timeout_ms) {
      char secs[32];
      std::snprintf(secs, sizeof secs, "%g s", timeout_s);
      if (!given_up && next < script.size())
        fail("no box came within " + std::string(secs) + " (script line " + std::to_string(script[next].line) + ")");
      else
        fail("the program did not end within " + std::string(secs) + " of its last box");
      TerminateProcess(pi.hProcess, 1);
      for (const auto& p : process_names()) {
        if (!watched.count(p.first) || p.first == pi.dwProcessId) continue;
        HANDLE h = OpenProcess(PROCESS_TERMINATE, FALSE, p.first);
        if (h) {
          TerminateProcess(h, 1);
          CloseHandle(h);
        }
      }
      WaitForSingleObject(pi.hProcess, 5000);
      killed = true;
      break;
    }
    Sleep(kPollMs);
  }

  if (!killed && !given_up && next < script.size())
    fail("the program ended with " + std::to_string(script.size() - next) + " script entries unused (from line " +
         std::to_string(script[next].line) + ")");

  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hProcess);
  g_transcript.line(killed ? std::string("exit code: killed") : "exit code: " + std::to_string(code));
  g_transcript.line(g_failures ? "result: FAILED" : "result: ok");
  g_transcript.close();
  LocalFree(argv);
  return g_failures ? 1 : 0;
}
