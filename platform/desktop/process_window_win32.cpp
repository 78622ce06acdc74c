// The window of another process on Windows: its top-level windows in
// EnumWindows order, brought forward with SetForegroundWindow.
#include <windows.h>

#include "platform/desktop/process_window.h"

namespace {

constexpr DWORD kSecondSearchPauseMs = 1000;

struct WindowSearch {
  DWORD process_id;
  HWND visible;  // the first visible top-level window of the process
  HWND any;      // the first of any kind
};

BOOL CALLBACK OnWindow(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<WindowSearch*>(data);
  DWORD owner = 0;
  ::GetWindowThreadProcessId(window, &owner);
  if (owner != search->process_id) return TRUE;
  if (search->any == nullptr) search->any = window;
  if (::IsWindowVisible(window)) {
    search->visible = window;
    return FALSE;  // found: the enumeration stops
  }
  return TRUE;
}

// A process's hidden helper windows (the input method's, for one) come
// before its message box in the enumeration: a visible window is preferred.
HWND FindWindowOf(DWORD process_id) {
  WindowSearch search = {process_id, nullptr, nullptr};
  ::EnumWindows(OnWindow, reinterpret_cast<LPARAM>(&search));
  return search.visible != nullptr ? search.visible : search.any;
}

}  // namespace

void BringWindowOfProcessForward(unsigned long process_id) {
  HWND window = FindWindowOf(process_id);
  if (window == nullptr) {
    ::Sleep(kSecondSearchPauseMs);
    window = FindWindowOf(process_id);
  }
  if (window != nullptr) ::SetForegroundWindow(window);
}
