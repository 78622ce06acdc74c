#ifndef PLATFORM_CONSOLE_MESSAGE_BOX_H_
#define PLATFORM_CONSOLE_MESSAGE_BOX_H_

#include <string>

// Modal message boxes. Abstract so the rules of which message reaches the
// user can be tested without a desktop. The real one is SystemMessageBoxes().
class MessageBoxes {
 public:
  virtual ~MessageBoxes() = default;
  // An informational box with one OK button; returns when it is closed.
  virtual void ShowInfo(const std::string& caption, const std::string& text) = 0;
  // An error box with the error icon; returns when it is closed.
  virtual void ShowError(const std::string& caption, const std::string& text) = 0;
  // The same error followed by `hint`, what the user can do next: a second
  // line in the box (Windows); the POSIX boxes keep the error alone in the
  // box and write the hint as a line of its own on standard error.
  virtual void ShowErrorWithHint(const std::string& caption, const std::string& text,
                                 const std::string& hint) {
    ShowError(caption, text + "\n" + hint);
  }
};

MessageBoxes& SystemMessageBoxes();

#endif  // PLATFORM_CONSOLE_MESSAGE_BOX_H_
