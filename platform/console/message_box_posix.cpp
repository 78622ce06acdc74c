#include <unistd.h>

#include <iostream>
#include <vector>

#include "platform/console/message_box.h"
#include "platform/process/process_runner_posix.h"

namespace {

// What became of a box asked of a dialog program.
enum class Shown {
  kNot,           // no dialog program ran, or it failed
  kClosed,        // shown and closed with OK
  kClosedItself,  // shown, and closed by itself: nobody answered it
};

// The dialog program a box is shown with: zenity, else kdialog, when a
// display exists and the program was not started from a terminal; "" when
// the box is to be a line on standard error.
std::string DialogProgram(const ProcessRunner& runner) {
  // Typed at a prompt: the answer belongs there, and a box would leave
  // the prompt (or a script) waiting for a click.
  if (::isatty(STDERR_FILENO)) return "";
  if (runner.Variable("DISPLAY").empty() && runner.Variable("WAYLAND_DISPLAY").empty()) return "";
  if (!runner.Find("zenity").empty()) return "zenity";
  if (!runner.Find("kdialog").empty()) return "kdialog";
  return "";
}

// zenity, else kdialog, when a display exists and the program was not
// started from a terminal; else a line on standard error, where it was typed.
class DialogMessageBoxes : public MessageBoxes {
 public:
  void ShowInfo(const std::string& caption, const std::string& text) override {
    bool tried = false;
    if (Show(caption, text, /*error=*/false, &tried) != Shown::kNot) return;
    std::cerr << caption << ": " << text << std::endl;
    if (!tried && ::isatty(STDIN_FILENO)) {
      std::string line;
      std::getline(std::cin, line);  // the pause a box would make
    }
  }
  void ShowError(const std::string& caption, const std::string& text) override {
    bool tried = false;
    const Shown shown = Show(caption, text, /*error=*/true, &tried);
    last_error_box_failed_ = tried && shown == Shown::kNot;
    // A box that closed by itself was read by nobody: the message goes where
    // an unattended run's output is kept (the journal of a timer's service).
    if (shown == Shown::kClosed) return;
    std::cerr << caption << ": " << text << std::endl;
  }
  void ShowErrorWithHint(const std::string& caption, const std::string& text,
                         const std::string& hint) override {
    ShowError(caption, text);
    std::cerr << hint << std::endl;
  }
  bool ShowsWindows() override {
    return !DialogProgram(ProcessRunner(CurrentEnvironment())).empty();
  }
  bool LastErrorBoxFailed() const override { return last_error_box_failed_; }

 private:
  // `tried`: a dialog program ran (whatever became of it), so the user may
  // have seen the box already. The dialog program is waited for, as a modal
  // box waits, up to kBoxTimeoutSeconds (zenity closes itself then; kdialog,
  // which cannot, is ended a little later, as is a zenity that did not), and
  // gets our standard streams. Only its status 0 means the box was shown and
  // closed with OK, and zenity's 5 that it closed by itself: a program that
  // could not open the display fails with a status of its own, and the
  // message must not be lost.
  static Shown Show(const std::string& caption, const std::string& text, bool error, bool* tried) {
    ProcessRunner runner(CurrentEnvironment());
    const std::string program = DialogProgram(runner);
    if (program.empty()) return Shown::kNot;
    runner.set_share_standard_streams(true);
    runner.set_keep_process_group(true);  // a run that is killed takes its box along
    *tried = true;
    constexpr int kGraceSeconds = 30;
    if (program == "zenity") {
      runner.set_timeout_ms((kBoxTimeoutSeconds + kGraceSeconds) * 1000);
      const Outcome closed = runner.Run({"zenity", error ? "--error" : "--info", "--no-markup",
                                         "--timeout=" + std::to_string(kBoxTimeoutSeconds),
                                         "--title=" + caption, "--text=" + text});
      if (closed.ok()) return Shown::kClosed;
      return closed.message() == "zenity: exit status 5" ||
                     closed.message().rfind("zenity: killed after", 0) == 0
                 ? Shown::kClosedItself
                 : Shown::kNot;
    }
    runner.set_timeout_ms(kBoxTimeoutSeconds * 1000);
    const Outcome closed =
        runner.Run({"kdialog", "--title", caption, error ? "--error" : "--msgbox", text});
    if (closed.ok()) return Shown::kClosed;
    return closed.message().rfind("kdialog: killed after", 0) == 0 ? Shown::kClosedItself
                                                                   : Shown::kNot;
  }

  bool last_error_box_failed_ = false;
};

}  // namespace

MessageBoxes& SystemMessageBoxes() {
  static DialogMessageBoxes boxes;
  return boxes;
}
