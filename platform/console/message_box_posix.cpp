#include <unistd.h>

#include <iostream>
#include <vector>

#include "platform/console/message_box.h"
#include "platform/process/process_runner_posix.h"

namespace {

// zenity, else kdialog, when a display exists and the program was not
// started from a terminal; else a line on standard error, where it was typed.
class DialogMessageBoxes : public MessageBoxes {
 public:
  void ShowInfo(const std::string& caption, const std::string& text) override {
    bool tried = false;
    if (Show(caption, text, /*error=*/false, &tried)) return;
    std::cerr << caption << ": " << text << std::endl;
    if (!tried && ::isatty(STDIN_FILENO)) {
      std::string line;
      std::getline(std::cin, line);  // the pause a box would make
    }
  }
  void ShowError(const std::string& caption, const std::string& text) override {
    bool tried = false;
    if (Show(caption, text, /*error=*/true, &tried)) return;
    std::cerr << caption << ": " << text << std::endl;
  }
  void ShowErrorWithHint(const std::string& caption, const std::string& text,
                         const std::string& hint) override {
    ShowError(caption, text);
    std::cerr << hint << std::endl;
  }

 private:
  // True when a box was shown and closed. `tried`: a dialog program ran
  // (whatever became of it), so the user may have seen the box already.
  // The dialog program is waited for, as a modal box waits, and gets our
  // standard streams. Only its status 0 means the box was shown and closed
  // with OK: a program that could not open the display fails with a status
  // of its own, and the message must not be lost.
  static bool Show(const std::string& caption, const std::string& text, bool error, bool* tried) {
    // Typed at a prompt: the answer belongs there, and a box would leave
    // the prompt (or a script) waiting for a click.
    if (::isatty(STDERR_FILENO)) return false;
    ProcessRunner runner(CurrentEnvironment());
    if (runner.Variable("DISPLAY").empty() && runner.Variable("WAYLAND_DISPLAY").empty())
      return false;
    runner.set_share_standard_streams(true);
    const bool zenity = !runner.Find("zenity").empty();
    if (!zenity && runner.Find("kdialog").empty()) return false;
    *tried = true;
    if (zenity) {
      return runner
          .Run({"zenity", error ? "--error" : "--info", "--no-markup", "--title=" + caption,
                "--text=" + text})
          .ok();
    }
    return runner.Run({"kdialog", "--title", caption, error ? "--error" : "--msgbox", text}).ok();
  }
};

}  // namespace

MessageBoxes& SystemMessageBoxes() {
  static DialogMessageBoxes boxes;
  return boxes;
}
