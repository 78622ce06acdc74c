#ifndef TESTS_SUPPORT_TEST_SUPPORT_H_
#define TESTS_SUPPORT_TEST_SUPPORT_H_

#include <map>
#include <set>
#include <string>
#include <vector>

#include "support/shared_support.h"

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

// Every test that starts a process has this long, from its first start, to
// end: past it the test process kills every process it started (and theirs),
// says which test overran, and ends with status 1, so that a hung child fails
// the test instead of holding it until ctest's own time-out.
constexpr int kTestDeadlineSeconds = 120;
// Starts the running test's deadline unless it runs already. ChildProcess
// does; tests that start processes another way call it before they do.
void ArmTestDeadline();

// The test hook of the single-instance guard: the directory in which a
// started program keeps its per-user directory of claims instead of /tmp.
// Every program a test starts gets a private one unless the test says
// otherwise.
constexpr char kTestLockParentVariable[] = "WALLPAPER_FETCHER_TEST_LOCK_PARENT";

// The HOME every started program gets unless the test names another: a
// folder of this test process, removed with it (XDG_*_HOME unset, so the
// program's folders are under it).
std::string TestHome();

// Runs `argv` (argv[0] is the program's path as passed to it) in `cwd`, with
// `env_overrides` added to (or, with an empty value "\x01unset", removed from)
// this process's environment, standard input from /dev/null. Kills it after
// `timeout_ms`.
ProgramResult RunProgram(const std::vector<std::string>& argv, const std::string& cwd,
                         const std::map<std::string, std::string>& env_overrides = {},
                         int timeout_ms = 60000);

// The names in the directory `dir`; throws when it cannot be read.
std::set<std::string> Listing(const std::string& dir);

// The built wallpaper-fetcher, copied into `dir` so that its program
// directory (and so its single-instance name) is the test's own. Returns the
// copy's full path.
std::string CopyFetcherInto(const std::string& dir);

#endif  // TESTS_SUPPORT_TEST_SUPPORT_H_
