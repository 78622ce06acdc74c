// Message boxes with MessageBoxA: no owner window, one OK button; the error
// box adds the error icon.
#include <windows.h>

#include "platform/console/message_box.h"

namespace {

class Win32MessageBoxes : public MessageBoxes {
 public:
  void ShowInfo(const std::string& caption, const std::string& text) override {
    ::MessageBoxA(nullptr, text.c_str(), caption.c_str(), MB_OK);
  }
  void ShowError(const std::string& caption, const std::string& text) override {
    ::MessageBoxA(nullptr, text.c_str(), caption.c_str(), MB_OK | MB_ICONERROR);
  }
};

}  // namespace

MessageBoxes& SystemMessageBoxes() {
  static Win32MessageBoxes boxes;
  return boxes;
}
