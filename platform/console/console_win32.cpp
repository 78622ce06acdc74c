// The console of debug mode: the process's own console window, opened with
// AllocConsole and let go with FreeConsole. Each line is written with
// WriteConsoleW (the program's text turned into UTF-16, so that any name
// shows whatever the console's code page) to the standard output handle of
// the moment.
#include <windows.h>

#include <climits>
#include <cstdio>
#include <string>

#include "platform/console/console.h"
#include "platform/console/console_text_win32.h"

namespace {

// `text` in UTF-16 from the process's code page; "" when it is not text there.
std::wstring Wide(const std::string& text) {
  if (text.empty() || text.size() > INT_MAX) return std::wstring();
  const int size = static_cast<int>(text.size());
  const int n = ::MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(n), L'\0');
  if (::MultiByteToWideChar(CP_ACP, 0, text.data(), size, &wide[0], n) != n) return std::wstring();
  return wide;
}

// Writes all `count` items at `data` with `write`, in chunks the console takes.
template <typename Char, typename WriteCall>
void WriteAll(const Char* data, size_t count, WriteCall write) {
  while (count > 0) {
    const DWORD chunk = count > 0x8000 ? 0x8000 : static_cast<DWORD>(count);
    DWORD written = 0;
    if (!write(data, chunk, &written) || written == 0) return;
    data += written;
    count -= written;
  }
}

}  // namespace

void WriteConsoleText(HANDLE handle, const std::string& text) {
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;  // no console yet
  // A handle redirected to a file or pipe by whoever started us is no
  // console: WriteConsoleW fails there, so the text goes as bytes.
  DWORD mode = 0;
  const std::wstring wide = ::GetConsoleMode(handle, &mode) != 0 ? Wide(text) : std::wstring();
  if (!wide.empty()) {
    WriteAll(wide.data(), wide.size(), [handle](const wchar_t* data, DWORD n, DWORD* written) {
      return ::WriteConsoleW(handle, data, n, written, nullptr) != 0;
    });
    return;
  }
  WriteAll(text.data(), text.size(), [handle](const char* data, DWORD n, DWORD* written) {
    return ::WriteFile(handle, data, n, written, nullptr) != 0;
  });
}

namespace {

class Win32Console : public Console {
 public:
  void Open() override { ::AllocConsole(); }

  void Write(const std::string& text) override {
    WriteConsoleText(::GetStdHandle(STD_OUTPUT_HANDLE), text);
  }

  void Close() override { ::FreeConsole(); }
};

}  // namespace

Console& SystemConsole() {
  static Win32Console console;
  return console;
}

// The C runtime writes standard output's bytes as they are, and the console
// reads them in its output code page: make that the process's own. Without a
// console (the windowless program) both calls fail and nothing changes.
ConsoleShowsProgramText::ConsoleShowsProgramText() {
  const UINT current = ::GetConsoleOutputCP();
  const UINT wanted = ::GetACP();
  if (current != 0 && current != wanted && ::SetConsoleOutputCP(wanted)) {
    previous_code_page_ = current;
  }
}

ConsoleShowsProgramText::~ConsoleShowsProgramText() {
  std::fflush(stdout);  // what the C runtime still holds, in the code page it was written for
  std::fflush(stderr);
  if (previous_code_page_ != 0) ::SetConsoleOutputCP(previous_code_page_);
}
