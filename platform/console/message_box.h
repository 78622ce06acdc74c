#ifndef PLATFORM_CONSOLE_MESSAGE_BOX_H_
#define PLATFORM_CONSOLE_MESSAGE_BOX_H_

#include <string>

// How long a box waits for its click: one that nobody answers (a run
// started by a timer on a screen nobody watches) closes by itself after
// this long, and the run goes on to its end.
constexpr int kBoxTimeoutSeconds = 15 * 60;

// Modal message boxes. Abstract so the rules of which message reaches the
// user can be tested without a desktop. The real one is SystemMessageBoxes().
class MessageBoxes {
 public:
  virtual ~MessageBoxes() = default;
  // An informational box with one OK button; returns when it is closed, by
  // the user or by itself after kBoxTimeoutSeconds.
  virtual void ShowInfo(const std::string& caption, const std::string& text) = 0;
  // An error box with the error icon; returns when it is closed, as above.
  virtual void ShowError(const std::string& caption, const std::string& text) = 0;
  // The same error followed by `hint`, what the user can do next: a second
  // line in the box (Windows); the POSIX boxes keep the error alone in the
  // box and write the hint as a line of its own on standard error.
  virtual void ShowErrorWithHint(const std::string& caption, const std::string& text,
                                 const std::string& hint) {
    ShowError(caption, text + "\n" + hint);
  }
  // True when a box would be a window that waits for its click (and closes
  // by itself after kBoxTimeoutSeconds), false when it would be a line on
  // standard error.
  virtual bool ShowsWindows() { return false; }
  // True when the last error box was to be a window but none could be shown
  // (the dialog program could not reach the display), so that its message
  // went to standard error instead.
  virtual bool LastErrorBoxFailed() const { return false; }
};

MessageBoxes& SystemMessageBoxes();

#endif  // PLATFORM_CONSOLE_MESSAGE_BOX_H_
