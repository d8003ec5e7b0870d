// Sample program for the dialog driver's self-test: a captioned window owning a German yes/no box, then an OK box.
//
// Exit code: 10 after "Ja", 20 after "Nein", 1 when the first box gave anything else.
// With --relaunch NAME as the first arguments it copies itself to the temporary folder as NAME,
// starts the copy with the remaining arguments (plain words only) and ends at once with 30, as a
// program does that goes on from a copy of itself.
// With --no-owner the boxes have no owner window; with --delay-ms N the first box comes N ms after
// the window. The second box lists the program's arguments, one in brackets each, so that a test
// can see how they arrived.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char kClassName[] = "KbBoxSampleWindow";

// Copies this program to the temporary folder as name and starts the copy with the arguments from first on.
int relaunch(const char* name, int first) {
  char self[MAX_PATH], temp[MAX_PATH];
  if (!GetModuleFileNameA(nullptr, self, MAX_PATH) || !GetTempPathA(MAX_PATH, temp)) return 4;
  std::string copy = std::string(temp) + name;
  if (!CopyFileA(self, copy.c_str(), FALSE)) return 4;
  std::string command = "\"" + copy + "\"";
  for (int i = first; i < __argc; ++i) command += std::string(" ") + __argv[i];
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessA(copy.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return 4;
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return 30;
}

LRESULT CALLBACK window_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  return DefWindowProcA(hwnd, msg, wp, lp);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  if (__argc >= 3 && std::strcmp(__argv[1], "--relaunch") == 0) return relaunch(__argv[2], 3);

  bool with_owner = true;
  int delay_ms = 0;
  std::string arguments;
  for (int i = 1; i < __argc; ++i) {
    if (std::strcmp(__argv[i], "--no-owner") == 0) with_owner = false;
    if (std::strcmp(__argv[i], "--delay-ms") == 0 && i + 1 < __argc) delay_ms = std::atoi(__argv[i + 1]);
    arguments += " [";
    arguments += __argv[i];
    arguments += "]";
  }

  HWND window = nullptr;
  if (with_owner) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = window_proc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kClassName;
    if (!RegisterClassA(&wc)) return 3;
    window = CreateWindowExA(0, kClassName, "Tastatur-Installation – Größe prüfen",
                             WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, 120, 90, 420, 240, nullptr, nullptr, instance,
                             nullptr);
    if (!window) return 3;
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
  }
  if (delay_ms > 0) Sleep(static_cast<DWORD>(delay_ms));

  int answer = MessageBoxA(window,
                           "Wollen Sie jetzt folgenden Tastatur-Treiber installieren?\n\n"
                           "Deutsch (Öffnen für Größe, ß) – „Ä“ € Ü",
                           "Tastatur-Treiber", MB_YESNO | MB_ICONQUESTION);

  std::string report = answer == IDYES  ? "Sie haben „Ja“ gewählt."
                       : answer == IDNO ? "Sie haben „Nein“ gewählt."
                                        : "Keine Antwort erhalten.";
  report += "\nArgumente:" + std::to_string(__argc - 1) + arguments;
  MessageBoxA(window, report.c_str(), "Tastatur-Treiber", MB_OK | MB_ICONINFORMATION);

  if (window) DestroyWindow(window);
  return answer == IDYES ? 10 : answer == IDNO ? 20 : 1;
}
