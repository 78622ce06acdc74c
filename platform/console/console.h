#ifndef PLATFORM_CONSOLE_CONSOLE_H_
#define PLATFORM_CONSOLE_CONSOLE_H_

#include <string>

// The console that trace lines are shown on while the program runs.
// Abstract so tests can capture the lines. The real one is SystemConsole().
// Called from the main thread only.
class Console {
 public:
  virtual ~Console() = default;
  // Makes sure the process has a console to write to (AllocConsole on Windows).
  virtual void Open() = 0;
  // Writes text (LF line ends) at once, unbuffered. Failures are ignored.
  virtual void Write(const std::string& text) = 0;
  // Lets the console go (FreeConsole on Windows).
  virtual void Close() = 0;
};

Console& SystemConsole();

// While alive, the console the process shares with whoever started it (a
// command prompt) shows the program's text as it is, names included: on
// Windows its output code page is the process's (UTF-8 through the
// manifest), and the one it had is given back at the end. Nothing on POSIX.
class ConsoleShowsProgramText {
 public:
  ConsoleShowsProgramText();
  ~ConsoleShowsProgramText();
  ConsoleShowsProgramText(const ConsoleShowsProgramText&) = delete;
  ConsoleShowsProgramText& operator=(const ConsoleShowsProgramText&) = delete;

 private:
  unsigned previous_code_page_ = 0;  // 0: nothing to give back
};

#endif  // PLATFORM_CONSOLE_CONSOLE_H_
