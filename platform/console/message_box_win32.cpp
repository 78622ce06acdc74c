// Message boxes with MessageBoxA: no owner window, one OK button; the error
// box adds the error icon. The console program (wallpaper-fetcher.com) was
// typed at a prompt, or started by a script: its messages go to the console
// it shares, where a box would leave the prompt waiting for a click.
#include "platform/console/message_box_win32.h"

#include <windows.h>

#include "platform/console/console_text_win32.h"
#include "platform/console/message_box.h"

namespace {

// True when this program file is a console program (its PE header says so).
bool IsConsoleProgram() {
  const auto* base = reinterpret_cast<const BYTE*>(::GetModuleHandleA(nullptr));
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  return nt->OptionalHeader.Subsystem == IMAGE_SUBSYSTEM_WINDOWS_CUI;
}

class Win32MessageBoxes : public MessageBoxes {
 public:
  void ShowInfo(const std::string& caption, const std::string& text) override {
    ::MessageBoxA(nullptr, text.c_str(), caption.c_str(), MB_OK);
  }
  void ShowError(const std::string& caption, const std::string& text) override {
    ::MessageBoxA(nullptr, text.c_str(), caption.c_str(), MB_OK | MB_ICONERROR);
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

MessageBoxes& WindowMessageBoxes() {
  static Win32MessageBoxes boxes;
  return boxes;
}

MessageBoxes& SystemMessageBoxes() {
  static ConsoleMessages console;
  static const bool typed = IsConsoleProgram();
  return typed ? static_cast<MessageBoxes&>(console) : WindowMessageBoxes();
}
