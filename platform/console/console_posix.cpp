#include <unistd.h>

#include "platform/console/console.h"
#include "platform/filesystem/filesystem.h"

namespace {

// Standard output stands for the console: written at once, unbuffered, so
// that no line is lost when a fatal error ends the process.
class StdoutConsole : public Console {
 public:
  void Open() override {}
  void Write(const std::string& text) override {
    WriteAllBytes(STDOUT_FILENO, text.data(), text.size());  // a failure has no one to tell
  }
  void Close() override {}
};

}  // namespace

Console& SystemConsole() {
  static StdoutConsole console;
  return console;
}

// Terminals take the bytes as they are.
ConsoleShowsProgramText::ConsoleShowsProgramText() = default;
ConsoleShowsProgramText::~ConsoleShowsProgramText() = default;
