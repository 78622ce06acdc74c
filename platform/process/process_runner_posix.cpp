#include "platform/process/process_runner_posix.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <optional>
#include <thread>

#include "platform/owned_handle.h"
#include "platform/system_error.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

// The arguments as a program is given them.
std::vector<char*> Argv(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  return argv;
}

// What the spawned program gets besides its arguments.
class SpawnSetup {
 public:
  // `stdout_fd` >= 0 becomes its standard output. Shared streams stay ours;
  // the others are on /dev/null.
  SpawnSetup(bool share_streams, int stdout_fd, bool own_group, bool new_session) {
    posix_spawn_file_actions_init(&actions_);
    if (!share_streams) {
      posix_spawn_file_actions_addopen(&actions_, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
      if (stdout_fd < 0)
        posix_spawn_file_actions_addopen(&actions_, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
      posix_spawn_file_actions_addopen(&actions_, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    }
    if (stdout_fd >= 0) posix_spawn_file_actions_adddup2(&actions_, stdout_fd, STDOUT_FILENO);
    posix_spawn_file_actions_addclosefrom_np(&actions_, STDERR_FILENO + 1);

    posix_spawnattr_init(&attributes_);
    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;  // what we ignore or catch, the program gets as usual
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGTERM);
    short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
    if (new_session) {
      flags |= POSIX_SPAWN_SETSID;
    } else if (own_group) {
      flags |= POSIX_SPAWN_SETPGROUP;
      posix_spawnattr_setpgroup(&attributes_, 0);
    }
    posix_spawnattr_setsigmask(&attributes_, &none);
    posix_spawnattr_setsigdefault(&attributes_, &defaults);
    posix_spawnattr_setflags(&attributes_, flags);
  }
  ~SpawnSetup() {
    posix_spawn_file_actions_destroy(&actions_);
    posix_spawnattr_destroy(&attributes_);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;

  // 0 or the error number.
  int Spawn(pid_t* pid, const std::string& program, const std::vector<char*>& argv,
            char* const* envp) const {
    return posix_spawn(pid, program.c_str(), &actions_, &attributes_, argv.data(), envp);
  }

 private:
  posix_spawn_file_actions_t actions_;
  posix_spawnattr_t attributes_;
};

// A pipe's two ends, closed on exec; invalid when it could not be made.
struct Pipe {
  Pipe() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return;
    read_end = OwnedFd(fds[0]);
    write_end = OwnedFd(fds[1]);
  }
  OwnedFd read_end;
  OwnedFd write_end;
};

void Reap(pid_t pid, int* status) {
  while (::waitpid(pid, status, 0) < 0 && errno == EINTR) {
  }
}

// Collects output (when `fd` >= 0) until the child has ended. False at the
// deadline, if there is one.
bool WaitFor(pid_t pid, int fd, std::string* output, std::optional<Clock::time_point> deadline,
             int* status) {
  if (fd < 0 && !deadline) {
    Reap(pid, status);
    return true;
  }
  bool exited = false;
  bool eof = fd < 0;
  int pause_ms = 1;
  while (!(exited && eof)) {
    int left = 20;
    if (deadline) {
      const auto now = Clock::now();
      if (now >= *deadline) return false;
      left = static_cast<int>(std::min<long long>(
          left, std::chrono::duration_cast<std::chrono::milliseconds>(*deadline - now).count()));
    }
    if (!eof) {
      struct pollfd poll_fd = {fd, POLLIN, 0};
      const int ready = ::poll(&poll_fd, 1, left);
      if (ready > 0) {
        char chunk[4096];
        const ssize_t n = ::read(fd, chunk, sizeof(chunk));
        if (n > 0) {
          output->append(chunk, static_cast<size_t>(n));
          continue;
        }
        if (n == 0 || errno != EINTR) eof = true;
      } else if (exited) {
        eof = true;  // something it left behind holds the pipe; enough
      }
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(std::min(pause_ms, left)));
      pause_ms = std::min(pause_ms * 2, 20);
    }
    if (!exited) {
      const pid_t done = ::waitpid(pid, status, WNOHANG);
      if (done == pid || (done < 0 && errno != EINTR)) exited = true;
    }
  }
  return true;
}

}  // namespace

std::vector<std::string> CurrentEnvironment() {
  std::vector<std::string> variables;
  for (char** e = environ; e != nullptr && *e != nullptr; ++e) variables.emplace_back(*e);
  return variables;
}

ProcessRunner::ProcessRunner(std::vector<std::string> environment)
    : variables_(std::move(environment)) {
  for (std::string& variable : variables_) pointers_.push_back(variable.data());
  pointers_.push_back(nullptr);
}

std::string ProcessRunner::Variable(const std::string& name) const {
  for (const std::string& variable : variables_) {
    if (variable.size() > name.size() && variable.compare(0, name.size(), name) == 0 &&
        variable[name.size()] == '=') {
      return variable.substr(name.size() + 1);
    }
  }
  return "";
}

std::string ProcessRunner::Find(const std::string& name) const {
  std::string dirs = Variable("PATH");
  if (dirs.empty()) dirs = "/usr/local/bin:/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    std::string dir = dirs.substr(start, end - start);
    if (dir.empty()) dir = ".";
    const std::string candidate = dir + "/" + name;
    struct stat st;
    if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
        ::access(candidate.c_str(), X_OK) == 0) {
      return candidate;
    }
    start = end + 1;
  }
  return "";
}

Outcome ProcessRunner::Run(const std::vector<std::string>& args, std::string* output) const {
  const std::string program = Find(args[0]);
  if (program.empty()) return Outcome::Error(args[0] + ": not found");
  Pipe out;
  if (output != nullptr && !out.read_end.valid()) return Outcome::Error(args[0] + ": no pipe");
  pid_t pid = -1;
  int spawned;
  {
    const SpawnSetup setup(share_standard_streams_, output != nullptr ? out.write_end.get() : -1,
                           /*own_group=*/timeout_ms_ > 0 && !keep_process_group_,
                           /*new_session=*/false);
    spawned = setup.Spawn(&pid, program, Argv(args), pointers_.data());
  }
  out.write_end.Close();
  if (spawned != 0) return PosixError(args[0], spawned);

  std::optional<Clock::time_point> deadline;
  if (timeout_ms_ > 0) deadline = Clock::now() + std::chrono::milliseconds(timeout_ms_);
  int status = 0;
  if (!WaitFor(pid, output != nullptr ? out.read_end.get() : -1, output, deadline, &status)) {
    if (!keep_process_group_) ::kill(-pid, SIGKILL);  // the program and anything it started
    ::kill(pid, SIGKILL);
    Reap(pid, &status);
    return Outcome::Error(args[0] + ": killed after " + std::to_string(timeout_ms_) + " ms");
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return Outcome::Ok();
  if (WIFEXITED(status)) {
    return Outcome::Error(args[0] + ": exit status " + std::to_string(WEXITSTATUS(status)));
  }
  return Outcome::Error(args[0] + ": ended by signal " + std::to_string(WTERMSIG(status)));
}

pid_t ProcessRunner::StartDetached(const std::vector<std::string>& args) const {
  const std::string program = Find(args[0]);
  if (program.empty()) return -1;
  Pipe id;
  if (!id.read_end.valid()) return -1;
  // Made ready before the fork: the intermediate child only spawns.
  const SpawnSetup setup(/*share_streams=*/false, /*stdout_fd=*/-1, /*own_group=*/false,
                         /*new_session=*/true);
  const std::vector<char*> argv = Argv(args);
  // An intermediate child starts it and ends at once, so that it becomes
  // init's child and never lingers as our zombie.
  const pid_t middle = ::fork();
  if (middle < 0) return -1;
  if (middle == 0) {
    pid_t pid = -1;
    if (setup.Spawn(&pid, program, argv, pointers_.data()) != 0) pid = -1;
    (void)!::write(id.write_end.get(), &pid, sizeof(pid));
    ::_exit(0);
  }
  id.write_end.Close();
  pid_t pid = -1;
  if (::read(id.read_end.get(), &pid, sizeof(pid)) != static_cast<ssize_t>(sizeof(pid))) pid = -1;
  int status = 0;
  Reap(middle, &status);
  return pid;
}
