#ifndef DIAGNOSTICS_REPORTER_H_
#define DIAGNOSTICS_REPORTER_H_

#include <string>

#include "diagnostics/format.h"

class Console;
class MessageBoxes;

// A failure that ends the run: thrown where it is met, caught by the main
// object, which shows `text` (and `hint`, what the user can do next) in the
// error box, records the run and ends the process with exit code 101.
struct Fatal {
  std::string text;
  std::string hint;
};

// Everything the program says while it runs, behind the two switches of
// [General]: in debug mode every value the run works with becomes one line
// on the console and, in the same words, in log.log; informational messages
// become boxes captioned "Message" unless SuppressMessages is set; the
// fatal box is always shown. Cheap to copy: it holds references to the
// console and the boxes, which outlive it. Main thread only.
class Reporter {
 public:
  // `application`: the fatal box's caption.
  Reporter(Console& console, MessageBoxes& boxes, bool debug, bool suppress_messages,
           std::string application);

  bool debug() const { return debug_; }

  // In debug mode: "expression = value", or only the value when the
  // expression holds a '"'.
  void Trace(const char* expression, const std::string& value) const;
  // In debug mode: "expression = %d".
  void Trace(const char* expression, int value) const;
  // In debug mode: "expression = %u" of the value's low 32 bits (-1 shows as
  // 4294967295).
  void Trace(const char* expression, long value) const;

  // In debug mode: the text on a line of its own.
  void TraceMessage(const std::string& text) const;
  // TraceMessage, and in debug mode without SuppressMessages a box.
  void ShowMessage(const std::string& text) const;
  // TraceMessage, the error box (with `hint` under the text when it is not
  // empty), and the log written out. The caller ends the process.
  void ShowFatal(const std::string& text, const std::string& hint) const;

 private:
  void WriteLine(const std::string& line) const;

  Console& console_;
  MessageBoxes& boxes_;
  bool debug_;
  bool suppress_messages_;
  std::string application_;
};

// The run's log.log, one stream for the process. Opens it for appending and
// writes its header: two empty lines and "--------- " with the ctime text of
// now. Failures are silent: the trace still reaches the console.
void OpenLog(const std::string& path);
// Writes out what the log buffered and closes it.
void CloseLog();

// The fatal box's caption for the program started as `program_path`: its
// file name without the extension.
std::string ApplicationName(const std::string& program_path);

#endif  // DIAGNOSTICS_REPORTER_H_
