#ifndef TESTS_SUPPORT_TEST_SUPPORT_H_
#define TESTS_SUPPORT_TEST_SUPPORT_H_

#include <map>
#include <string>
#include <vector>

#include "app/platform_services.h"

// A fresh directory under /tmp, removed with everything in it at the end.
class ScopedTempDir {
 public:
  ScopedTempDir();
  ~ScopedTempDir();
  // The directory with a trailing "/".
  const std::string& path() const { return path_; }
  std::string Join(const std::string& name) const { return path_ + name; }

 private:
  std::string path_;
};

std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);
bool Exists(const std::string& path);

// Records trace lines instead of showing them.
class FakeConsole : public Console {
 public:
  void Open() override { ++opened; }
  void Write(const std::string& text) override { written += text; }
  void Close() override { ++closed; }
  std::string written;
  int opened = 0;
  int closed = 0;
};

// Records the boxes it was asked to show.
class FakeMessageBoxes : public MessageBoxes {
 public:
  struct Box {
    bool error;
    std::string caption;
    std::string text;
  };
  void ShowInfo(const std::string& caption, const std::string& text) override {
    boxes.push_back({false, caption, text});
  }
  void ShowError(const std::string& caption, const std::string& text) override {
    boxes.push_back({true, caption, text});
  }
  std::vector<Box> boxes;
};

// Records the file its setting was given (the copy, if any); answers `failure`
// ("" = success, the copy taken). Wants copies in `copy_folder` ("" = none).
class FakeDesktop : public Desktop {
 public:
  std::string CopyFolder() override { return copy_folder; }
  WallpaperOutcome SetWallpaper(const std::string& bitmap, const std::string& copy) override {
    wallpapers.push_back(copy.empty() ? bitmap : copy);
    return {failure, failure.empty() && !copy.empty()};
  }
  std::vector<std::string> wallpapers;
  std::string failure;
  std::string copy_folder;
};

// A platform of fakes for console, boxes and desktop, with the real
// Internet and picture codec unless replaced.
struct FakePlatform {
  FakeConsole console;
  FakeMessageBoxes boxes;
  FakeDesktop desktop;
  Platform Get();
  Internet* internet = nullptr;      // null: the system's
  PictureCodec* pictures = nullptr;  // null: the system's
};

// The outcome of running a program to its end.
struct ProgramResult {
  int exit_code = -1;  // -1 when it did not end normally (signal, time-out)
  bool timed_out = false;
  std::string out;
  std::string err;
};

// A program started in the background, its output collected by Wait.
class ChildProcess {
 public:
  ChildProcess() = default;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ~ChildProcess();  // kills a child still running
  // See RunProgram for the arguments. Returns false when it cannot start.
  bool Start(const std::vector<std::string>& argv, const std::string& cwd,
             const std::map<std::string, std::string>& env_overrides = {});
  // Collects the output until the child ends; kills it after `timeout_ms`.
  ProgramResult Wait(int timeout_ms = 60000);
  // Sends `signal` to the child's whole process group.
  void Kill(int signal);
  int pid() const { return pid_; }

 private:
  int pid_ = -1;
  int out_fd_ = -1;
  int err_fd_ = -1;
};

// The test hook of the single-instance guard: the directory in which a
// started program keeps its per-user directory of claims instead of /tmp.
// Every program a test starts gets a private one unless the test says
// otherwise.
constexpr char kTestLockParentVariable[] = "WALLPAPER_FETCHER_TEST_LOCK_PARENT";

// Runs `argv` (argv[0] is the program's path as passed to it) in `cwd`, with
// `env_overrides` added to (or, with an empty value "\x01unset", removed from)
// this process's environment, standard input from /dev/null. Kills it after
// `timeout_ms`.
ProgramResult RunProgram(const std::vector<std::string>& argv, const std::string& cwd,
                         const std::map<std::string, std::string>& env_overrides = {},
                         int timeout_ms = 60000);

// The built wallpaper-fetcher, copied into `dir` so that its program
// directory (and so its single-instance name) is the test's own. Returns the
// copy's full path.
std::string CopyFetcherInto(const std::string& dir);

#endif  // TESTS_SUPPORT_TEST_SUPPORT_H_
