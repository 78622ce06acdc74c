#include "support/test_support.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

extern char** environ;

namespace {

// The programs a test starts keep their single-instance claims in a directory
// of this test process, removed when it ends (not by a forked copy of it),
// instead of in /tmp.
const ScopedTempDir& LockParentOfThisTest() {
  struct Owned {
    ScopedTempDir* dir = new ScopedTempDir;
    pid_t owner = ::getpid();
    ~Owned() {
      if (::getpid() == owner) delete dir;
    }
  };
  static const Owned owned;
  return *owned.dir;
}

}  // namespace

std::string TestHome() { return LockParentOfThisTest().Join("home"); }

namespace {

// Every process whose parents lead to this one, as /proc has them.
std::vector<pid_t> Descendants() {
  std::map<pid_t, pid_t> parent_of;
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator("/proc", ignored)) {
    const std::string name = entry.path().filename();
    if (!std::isdigit(static_cast<unsigned char>(name[0]))) continue;
    std::ifstream stat(entry.path() / "stat");
    std::string line;
    std::getline(stat, line);
    const size_t end_of_name = line.rfind(") ");
    if (end_of_name == std::string::npos) continue;
    // The state, then the parent's id.
    parent_of[std::atoi(name.c_str())] = std::atoi(line.c_str() + end_of_name + 4);
  }
  std::vector<pid_t> found;
  for (const auto& [pid, parent] : parent_of) {
    for (pid_t up = parent; up > 1; up = parent_of.count(up) != 0 ? parent_of[up] : 0) {
      if (up == ::getpid()) {
        found.push_back(pid);
        break;
      }
    }
  }
  return found;
}

// The deadline of the test that armed it last; never destroyed, as its
// thread waits on it to the end of the process.
struct Deadline {
  std::mutex mutex;
  std::condition_variable armed;
  const ::testing::TestInfo* test = nullptr;  // null: none runs
  std::chrono::steady_clock::time_point at;

  // Waits for each deadline; past one whose test still runs, ends the test.
  void Watch() {
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
      if (test == nullptr) {
        armed.wait(lock);
      } else if (armed.wait_until(lock, at) == std::cv_status::timeout &&
                 std::chrono::steady_clock::now() >= at) {
        const ::testing::TestInfo* running =
            ::testing::UnitTest::GetInstance()->current_test_info();
        if (running == test) Overrun(*test);
        test = nullptr;
      }
    }
  }

  [[noreturn]] static void Overrun(const ::testing::TestInfo& test) {
    std::fprintf(stderr, "%s.%s: still running %d s after it started a process; ending it\n",
                 test.test_suite_name(), test.name(), kTestDeadlineSeconds);
    for (const pid_t pid : Descendants()) {
      if (::getpgid(pid) == pid) ::kill(-pid, SIGKILL);
      ::kill(pid, SIGKILL);
    }
    std::_Exit(1);
  }
};

}  // namespace

void ArmTestDeadline() {
  const ::testing::TestInfo* running = ::testing::UnitTest::GetInstance()->current_test_info();
  if (running == nullptr) return;
  static Deadline* const deadline = [] {
    Deadline* made = new Deadline;
    std::thread([made] { made->Watch(); }).detach();
    return made;
  }();
  std::lock_guard<std::mutex> lock(deadline->mutex);
  if (deadline->test == running) return;
  deadline->test = running;
  deadline->at = std::chrono::steady_clock::now() + std::chrono::seconds(kTestDeadlineSeconds);
  deadline->armed.notify_all();
}

namespace {

std::vector<std::string> MergedEnvironment(const std::map<std::string, std::string>& overrides) {
  std::map<std::string, std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    const char* eq = std::strchr(*e, '=');
    if (eq != nullptr) env[std::string(*e, static_cast<size_t>(eq - *e))] = eq + 1;
  }
  env[kTestLockParentVariable] = LockParentOfThisTest().path();
  // A home of the test's own: the user's configuration, data and state
  // folders of a started program are never the machine user's.
  env["HOME"] = TestHome();
  for (const char* base : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME"})
    env.erase(base);
  for (const auto& [key, value] : overrides) {
    if (value == "\x01unset") {
      env.erase(key);
    } else {
      env[key] = value;
    }
  }
  std::vector<std::string> result;
  for (const auto& [key, value] : env) result.push_back(key + "=" + value);
  return result;
}

}  // namespace

ChildProcess::~ChildProcess() {
  if (pid_ > 0) {
    Kill(SIGKILL);
    Wait(5000);
  }
}

void ChildProcess::Kill(int signal) {
  if (pid_ > 0) {
    ::kill(-pid_, signal);
    ::kill(pid_, signal);
  }
}

bool ChildProcess::Start(const std::vector<std::string>& argv, const std::string& cwd,
                         const std::map<std::string, std::string>& env_overrides) {
  ArmTestDeadline();
  int out_pipe[2], err_pipe[2];
  if (::pipe2(out_pipe, O_CLOEXEC) != 0) return false;
  if (::pipe2(err_pipe, O_CLOEXEC) != 0) {
    ::close(out_pipe[0]);
    ::close(out_pipe[1]);
    return false;
  }
  const std::vector<std::string> env = MergedEnvironment(env_overrides);
  std::vector<char*> env_ptrs, arg_ptrs;
  for (const std::string& e : env) env_ptrs.push_back(const_cast<char*>(e.c_str()));
  env_ptrs.push_back(nullptr);
  for (const std::string& a : argv) arg_ptrs.push_back(const_cast<char*>(a.c_str()));
  arg_ptrs.push_back(nullptr);

  const pid_t pid = ::fork();
  if (pid == 0) {
    ::setpgid(0, 0);
    const int devnull = ::open("/dev/null", O_RDONLY);
    ::dup2(devnull, STDIN_FILENO);
    ::dup2(out_pipe[1], STDOUT_FILENO);
    ::dup2(err_pipe[1], STDERR_FILENO);
    if (!cwd.empty() && ::chdir(cwd.c_str()) != 0) ::_exit(126);
    // argv[0] as given; the file run is argv[0] resolved against cwd.
    ::execve(arg_ptrs[0], arg_ptrs.data(), env_ptrs.data());
    ::_exit(127);
  }
  ::close(out_pipe[1]);
  ::close(err_pipe[1]);
  if (pid < 0) {
    ::close(out_pipe[0]);
    ::close(err_pipe[0]);
    return false;
  }
  ::setpgid(pid, pid);
  pid_ = pid;
  out_fd_ = out_pipe[0];
  err_fd_ = err_pipe[0];
  return true;
}

ProgramResult ChildProcess::Wait(int timeout_ms) {
  ProgramResult result;
  if (pid_ <= 0) return result;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  pollfd fds[2] = {{out_fd_, POLLIN, 0}, {err_fd_, POLLIN, 0}};
  int open_count = 2;
  while (open_count > 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    if (left <= 0) {
      result.timed_out = true;
      Kill(SIGKILL);
      break;
    }
    if (::poll(fds, 2, static_cast<int>(left)) < 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd >= 0 && (fds[i].revents & (POLLIN | POLLHUP | POLLERR))) {
        char buffer[65536];
        const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
        if (n <= 0) {
          ::close(fds[i].fd);
          fds[i].fd = -1;
          --open_count;
        } else {
          (i == 0 ? result.out : result.err).append(buffer, static_cast<size_t>(n));
        }
      }
    }
  }
  for (pollfd& p : fds)
    if (p.fd >= 0) ::close(p.fd);
  out_fd_ = err_fd_ = -1;
  int status = 0;
  ::waitpid(pid_, &status, 0);
  pid_ = -1;
  result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

ProgramResult RunProgram(const std::vector<std::string>& argv, const std::string& cwd,
                         const std::map<std::string, std::string>& env_overrides, int timeout_ms) {
  ChildProcess child;
  if (!child.Start(argv, cwd, env_overrides)) return ProgramResult();
  return child.Wait(timeout_ms);
}

std::set<std::string> Listing(const std::string& dir) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    names.insert(entry.path().filename());
  return names;
}

std::string CopyFetcherInto(const std::string& dir) {
  const std::string target = dir + "wallpaper-fetcher";
  std::filesystem::copy_file(FETCHER_BINARY, target,
                             std::filesystem::copy_options::overwrite_existing);
  std::filesystem::permissions(target, std::filesystem::perms::owner_all);
  return target;
}
