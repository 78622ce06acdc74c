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
};

MessageBoxes& SystemMessageBoxes();

#endif  // PLATFORM_CONSOLE_MESSAGE_BOX_H_
