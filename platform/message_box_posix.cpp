#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <vector>

#include "platform/message_box.h"

extern char** environ;

namespace {

bool HasDisplay() {
  const char* x = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (x != nullptr && *x != '\0') || (wayland != nullptr && *wayland != '\0');
}

bool OnPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  if (path == nullptr) return false;
  std::string dirs = path;
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    std::string dir = dirs.substr(start, end - start);
    if (dir.empty()) dir = ".";
    const std::string candidate = dir + "/" + program;
    if (::access(candidate.c_str(), X_OK) == 0) return true;
    start = end + 1;
  }
  return false;
}

// Runs a dialog program and waits for it, as a modal box waits. True only
// when it ends with status 0 (the box was shown and closed with OK): a
// program that could not open the display fails with a status of its own,
// and its message must not be lost.
bool RunDialog(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  pid_t pid;
  // The dialog gets the standard streams and nothing else of ours.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
  const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return false;
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return false;
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// zenity, else kdialog, when a display exists; else a line on standard error.
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

 private:
  // True when a box was shown and closed. `tried`: a dialog program ran
  // (whatever became of it), so the user may have seen the box already.
  static bool Show(const std::string& caption, const std::string& text, bool error, bool* tried) {
    if (!HasDisplay()) return false;
    const bool zenity = OnPath("zenity");
    if (!zenity && !OnPath("kdialog")) return false;
    *tried = true;
    if (zenity) {
      return RunDialog({"zenity", error ? "--error" : "--info", "--no-markup", "--title=" + caption,
                        "--text=" + text});
    }
    return RunDialog({"kdialog", "--title", caption, error ? "--error" : "--msgbox", text});
  }
};

}  // namespace

MessageBoxes& SystemMessageBoxes() {
  static DialogMessageBoxes boxes;
  return boxes;
}
