#include <unistd.h>

#include <cerrno>

#include "platform/console/console.h"

namespace {

// Standard output stands for the console: written at once, unbuffered, so
// that no line is lost when a fatal error ends the process.
class StdoutConsole : public Console {
 public:
  void Open() override {}
  void Write(const std::string& text) override {
    const char* data = text.data();
    size_t left = text.size();
    while (left > 0) {
      const ssize_t n = ::write(STDOUT_FILENO, data, left);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return;
      data += n;
      left -= static_cast<size_t>(n);
    }
  }
  void Close() override {}
};

}  // namespace

Console& SystemConsole() {
  static StdoutConsole console;
  return console;
}
