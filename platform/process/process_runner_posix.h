#ifndef PLATFORM_PROCESS_PROCESS_RUNNER_POSIX_H_
#define PLATFORM_PROCESS_PROCESS_RUNNER_POSIX_H_

#include <sys/types.h>

#include <string>
#include <vector>

#include "platform/outcome.h"

// Helper programs (the desktops' tools, the dialog programs), started the
// same way everywhere: no shell, found on the PATH of the environment given
// and given exactly that environment, none of our descriptors beyond the
// standard streams (log.log must not stay open in a program, least of all
// in one that outlives the run), signals as a new program expects them.

// The process's own environment, as "NAME=value" strings.
std::vector<std::string> CurrentEnvironment();

class ProcessRunner {
 public:
  explicit ProcessRunner(std::vector<std::string> environment);
  ProcessRunner(const ProcessRunner&) = delete;
  ProcessRunner& operator=(const ProcessRunner&) = delete;

  // How long Run waits before it kills the program and all it started (it
  // runs in a process group of its own then). 0, the default: as long as
  // the program runs, in our process group (a dialog the user answers).
  void set_timeout_ms(int timeout_ms) { timeout_ms_ = timeout_ms; }
  // With a time limit, the program stays in our process group all the same,
  // and only it is killed at the limit: a dialog that must go when we are
  // stopped (a killed run takes its box with it).
  void set_keep_process_group(bool keep) { keep_process_group_ = keep; }
  // Standard input, output and error stay ours (a dialog's complaints reach
  // the user); by default they are on /dev/null.
  void set_share_standard_streams(bool share) { share_standard_streams_ = share; }

  // The value of the variable `name`, "" when unset.
  std::string Variable(const std::string& name) const;
  // The full path of the executable file `name` on PATH (a usual PATH when
  // it is empty), "" when there is none.
  std::string Find(const std::string& name) const;

  // Runs `args` to its end. Ok when it exits with status 0, else what went
  // wrong, starting with the program's name: "not found", "exit status N",
  // "ended by signal N", "killed after N ms", ... With `output`, its
  // standard output is collected there.
  Outcome Run(const std::vector<std::string>& args, std::string* output = nullptr) const;

  // Starts `args` in a session of its own, its standard streams on
  // /dev/null, and does not wait for it (a program that keeps showing the
  // wallpaper). Returns its process id, or -1 when it could not be started.
  pid_t StartDetached(const std::vector<std::string>& args) const;

 private:
  std::vector<std::string> variables_;
  std::vector<char*> pointers_;  // into variables_, as a process is given them
  int timeout_ms_ = 0;
  bool keep_process_group_ = false;
  bool share_standard_streams_ = false;
};

#endif  // PLATFORM_PROCESS_PROCESS_RUNNER_POSIX_H_
