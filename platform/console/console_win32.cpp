// The console of debug mode: the process's own console window, opened with
// AllocConsole and let go with FreeConsole. Each line is written with
// WriteConsoleA to the standard output handle of the moment.
#include <windows.h>

#include "platform/console/console.h"

namespace {

class Win32Console : public Console {
 public:
  void Open() override { ::AllocConsole(); }

  void Write(const std::string& text) override {
    const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    if (out == nullptr || out == INVALID_HANDLE_VALUE) return;  // no console yet
    const char* data = text.data();
    size_t left = text.size();
    // Standard output redirected to a file or pipe by whoever started us is
    // no console: WriteConsoleA fails there, so the line goes as bytes.
    DWORD mode = 0;
    const bool console = ::GetConsoleMode(out, &mode) != 0;
    while (left > 0) {
      const DWORD chunk = left > 0x10000 ? 0x10000 : static_cast<DWORD>(left);
      DWORD written = 0;
      const BOOL ok = console ? ::WriteConsoleA(out, data, chunk, &written, nullptr)
                              : ::WriteFile(out, data, chunk, &written, nullptr);
      if (!ok || written == 0) return;
      data += written;
      left -= written;
    }
  }

  void Close() override { ::FreeConsole(); }
};

}  // namespace

Console& SystemConsole() {
  static Win32Console console;
  return console;
}
