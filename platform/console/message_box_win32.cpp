// Message boxes with MessageBoxA: no owner window, one OK button; the error
// box adds the error icon. Each closes by itself after kBoxTimeoutSeconds:
// a box nobody answers (a scheduled task on a screen nobody watches) would
// otherwise hold the run, and every later start would give way to it. The
// console program (wallpaper-fetcher.com) was typed at a prompt, or started
// by a script: its messages go to the console it shares, where a box would
// leave the prompt waiting for a click.
#include "platform/console/message_box_win32.h"

#include <windows.h>

#include <cstring>

#include "platform/console/console_text_win32.h"
#include "platform/console/message_box.h"
#include "platform/desktop/window_station_win32.h"

namespace {

// True when this program file is a console program (its PE header says so).
bool IsConsoleProgram() {
  const auto* base = reinterpret_cast<const BYTE*>(::GetModuleHandleA(nullptr));
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  return nt->OptionalHeader.Subsystem == IMAGE_SUBSYSTEM_WINDOWS_CUI;
}

// Set by the timer when it ended the box of its thread.
thread_local bool g_box_closed_itself = false;

// Ends the message box (a dialog, "#32770") among the windows of this
// thread, as its OK button would.
BOOL CALLBACK EndMessageBox(HWND window, LPARAM) {
  char name[8] = "";
  if (::GetClassNameA(window, name, sizeof name) > 0 && std::strcmp(name, "#32770") == 0) {
    ::EndDialog(window, IDOK);
    g_box_closed_itself = true;
  }
  return TRUE;
}

// The thread timer: MessageBoxA's modal loop runs on the thread that called
// it and dispatches the timer's message to this. A timer repeats until it
// is killed, so a box not yet made when it first fires is ended next time.
void CALLBACK CloseBoxInTime(HWND, UINT, UINT_PTR, DWORD) {
  ::EnumThreadWindows(::GetCurrentThreadId(), EndMessageBox, 0);
}

// In a window station that no screen shows (a task that runs whether the
// user is logged on or not), a box would wait its 15 minutes unseen: the
// message goes to standard error instead, when whoever started the run
// gave it one.
class Win32MessageBoxes : public MessageBoxes {
 public:
  void ShowInfo(const std::string& caption, const std::string& text) override {
    if (!ShowsWindows()) return;  // a pause nobody could end
    ShowTimedMessageBox(caption, text, MB_OK, kBoxTimeoutSeconds * 1000u);
  }
  void ShowError(const std::string& caption, const std::string& text) override {
    if (!ShowsWindows()) {
      WriteConsoleText(::GetStdHandle(STD_ERROR_HANDLE), caption + ": " + text + "\n");
      return;
    }
    ShowTimedMessageBox(caption, text, MB_OK | MB_ICONERROR, kBoxTimeoutSeconds * 1000u);
  }
  bool ShowsWindows() override {
    static const bool visible = HiddenWindowStation().empty();
    return visible;
  }
};

// "caption: text" lines on standard error.
class ConsoleMessages : public MessageBoxes {
 public:
  void ShowInfo(const std::string& caption, const std::string& text) override {
    WriteConsoleText(::GetStdHandle(STD_ERROR_HANDLE), caption + ": " + text + "\n");
  }
  void ShowError(const std::string& caption, const std::string& text) override {
    ShowInfo(caption, text);
  }
};

}  // namespace

bool ShowTimedMessageBox(const std::string& caption, const std::string& text, unsigned type,
                         unsigned timeout_ms) {
  g_box_closed_itself = false;
  // (MessageBoxTimeoutA would do it in one call, but is not documented, and
  // Wine shows its box without the time limit.)
  const UINT_PTR timer = ::SetTimer(/*hWnd=*/nullptr, /*nIDEvent=*/0, timeout_ms, CloseBoxInTime);
  ::MessageBoxA(nullptr, text.c_str(), caption.c_str(), type);
  if (timer != 0) ::KillTimer(nullptr, timer);
  return g_box_closed_itself;
}

MessageBoxes& WindowMessageBoxes() {
  static Win32MessageBoxes boxes;
  return boxes;
}

MessageBoxes& SystemMessageBoxes() {
  static ConsoleMessages console;
  static const bool typed = IsConsoleProgram();
  return typed ? static_cast<MessageBoxes&>(console) : WindowMessageBoxes();
}
