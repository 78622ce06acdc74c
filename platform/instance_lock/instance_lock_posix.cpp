// Single instance on POSIX: an exclusive flock on a lock file named after the
// program's absolute path. The kernel drops the lock when the process ends,
// however it ends, so no stale claim survives a crash or kill -9. A second,
// blocking lock plays the named mutex: the first instance writes its process
// id while holding it, so a later one never reads a half-written id.
//
// The lock files of one user live in one directory, /tmp/wallpaper-fetcher-UID,
// whatever the environment: a start from cron (no XDG_RUNTIME_DIR) and one from
// the desktop session must find each other's claim. /tmp is on this machine
// (flock is dependable there, and process ids mean something only here, unlike
// a home directory shared over NFS) and exists for every user at every hour,
// unlike /run/user/UID. Only a directory that is ours and 0700 is trusted, and
// in it only regular files of ours, never through a symbolic link: a claim
// planted by another user can neither stop our runs nor lead us to another
// file. When the claim cannot be checked (the directory is missing, foreign or
// open to others, a lock fails for another reason than being held), the
// program runs rather than skipping every run, and says why in the trace.
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "platform/desktop/process_window.h"
#include "platform/instance_lock/instance_lock.h"
#include "platform/owned_handle.h"
#include "platform/system_error.h"

namespace {

std::string AbsoluteProgramPath(const std::string& program_path) {
  char resolved[PATH_MAX];
  // The file actually running identifies the program best; argv[0] is the
  // fallback where /proc is missing.
  ssize_t n = ::readlink("/proc/self/exe", resolved, sizeof resolved - 1);
  if (n > 0) return std::string(resolved, static_cast<size_t>(n));
  if (::realpath(program_path.c_str(), resolved) != nullptr) return resolved;
  return program_path;
}

// A name with no "/" that every start of the same program file forms alike.
std::string DerivedName(const std::string& text) {
  uint64_t hash = 1469598103934665603ull;  // FNV-1a
  for (unsigned char c : text) {
    hash ^= c;
    hash *= 1099511628211ull;
  }
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
  return hex;
}

// Test hook, set by the test suite only: the directory that holds the
// per-user directory instead of /tmp, so that tests keep their lock files in
// their own temporary directories. Every check below applies the same way.
constexpr char kTestLockParentVariable[] = "WALLPAPER_FETCHER_TEST_LOCK_PARENT";

// Opens our directory of claims, creating it 0700 when missing. -1, with
// `*problem` set, when it cannot be had or is not to be trusted.
int OpenClaimDirectory(std::string* shown, std::string* problem) {
  std::string parent = "/tmp";
  const char* hook = ::secure_getenv(kTestLockParentVariable);
  if (hook != nullptr && hook[0] == '/') parent = hook;
  while (parent.size() > 1 && parent.back() == '/') parent.pop_back();
  const uid_t uid = ::geteuid();
  const std::string name = "wallpaper-fetcher-" + std::to_string(static_cast<long>(uid));
  *shown = (parent == "/" ? "" : parent) + "/" + name;

  const OwnedFd parent_fd(::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (parent_fd.get() < 0) {
    *problem = parent + ": " + ErrnoText(errno);
    return -1;
  }
  const bool created = ::mkdirat(parent_fd.get(), name.c_str(), 0700) == 0;
  if (!created && errno != EEXIST) {
    *problem = "cannot create " + *shown + ": " + ErrnoText(errno);
    return -1;
  }
  // Never through a symbolic link, and only a directory.
  OwnedFd dir(
      ::openat(parent_fd.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (dir.get() < 0) {
    const int error = errno;
    *problem = *shown + (error == ELOOP || error == ENOTDIR
                             ? std::string(" is not a directory (a symbolic link or a file)")
                             : ": " + ErrnoText(error));
    return -1;
  }
  struct stat st;
  if (::fstat(dir.get(), &st) != 0) {
    *problem = *shown + ": " + ErrnoText(errno);
    return -1;
  }
  if (!S_ISDIR(st.st_mode) || st.st_uid != uid) {
    *problem = *shown + " belongs to user " + std::to_string(static_cast<long>(st.st_uid));
    return -1;
  }
  // A directory just made may have lost bits to the umask.
  if (created && (st.st_mode & 07777) != 0700 && ::fchmod(dir.get(), 0700) == 0) {
    st.st_mode = (st.st_mode & ~07777) | 0700;
  }
  if ((st.st_mode & 07777) != 0700) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
    *problem = *shown + " has mode " + mode + ", not 0700";
    return -1;
  }
  // Cleaners of /tmp (systemd-tmpfiles) leave a directory alone while it is
  // flocked: the claim of a long run is not aged away under it.
  ::flock(dir.get(), LOCK_SH | LOCK_NB);
  return dir.Release();
}

// Opens (creating it) the lock file `name` in our directory: only a regular
// file of ours, never through a symbolic link. -1, with `*problem` set, else.
int OpenLockFile(int dir_fd, const std::string& shown_dir, const std::string& name,
                 std::string* problem) {
  const std::string shown = shown_dir + "/" + name;
  OwnedFd fd(::openat(dir_fd, name.c_str(),
                      O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK, 0600));
  if (fd.get() < 0) {
    const int error = errno;
    *problem =
        shown + (error == ELOOP ? std::string(" is a symbolic link") : ": " + ErrnoText(error));
    return -1;
  }
  struct stat st;
  if (::fstat(fd.get(), &st) != 0) {
    *problem = shown + ": " + ErrnoText(errno);
    return -1;
  }
  if (!S_ISREG(st.st_mode)) {
    *problem = shown + " is not a regular file";
    return -1;
  }
  if (st.st_uid != ::geteuid()) {
    *problem = shown + " belongs to user " + std::to_string(static_cast<long>(st.st_uid));
    return -1;
  }
  // A file just made may have lost bits to the umask; later starts open it
  // for writing too.
  if ((st.st_mode & 0600) != 0600) ::fchmod(fd.get(), 0600);
  return fd.Release();
}

// The claim could not be checked: the job runs rather than being skipped at
// every start.
bool RunUnchecked(std::string* problem) {
  *problem += "; running without a single-instance claim";
  return true;
}

int FlockRetryingInterrupts(int fd, int operation) {
  int result;
  while ((result = ::flock(fd, operation)) != 0 && errno == EINTR) {
  }
  return result;
}

bool ProcessAlive(pid_t pid) { return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM); }

// When process `pid` started, 0 when it cannot be told: its start in clock
// ticks after boot (/proc/PID/stat, the 22nd field) and the boot's time
// (/proc/stat, btime).
std::time_t ProcessStartTime(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(static_cast<long>(pid)) + "/stat");
  std::string text;
  if (!std::getline(stat, text)) return 0;
  // The command name, in parentheses, may hold blanks: count from after it.
  const size_t name_end = text.rfind(')');
  if (name_end == std::string::npos) return 0;
  std::istringstream fields(text.substr(name_end + 1));
  std::string field;
  unsigned long long ticks = 0;
  for (int number = 3; number <= 22 && fields >> field; ++number) {
    if (number == 22) ticks = std::strtoull(field.c_str(), nullptr, 10);
  }
  std::ifstream system_stat("/proc/stat");
  std::string line;
  long long boot = 0;
  while (std::getline(system_stat, line)) {
    if (line.rfind("btime ", 0) == 0) boot = std::atoll(line.c_str() + 6);
  }
  const long ticks_per_second = ::sysconf(_SC_CLK_TCK);
  if (ticks == 0 || boot <= 0 || ticks_per_second <= 0) return 0;
  return static_cast<std::time_t>(boot + static_cast<long long>(ticks / ticks_per_second));
}

pid_t ReadPid(int fd) {
  char buffer[32] = {0};
  const ssize_t n = ::pread(fd, buffer, sizeof buffer - 1, 0);
  if (n <= 0) return 0;
  return static_cast<pid_t>(std::strtol(buffer, nullptr, 10));
}

}  // namespace

bool ClaimSingleInstance(const std::string& program_path, const std::string& unique_name,
                         std::string* problem, RunningCopy* running) {
  problem->clear();
  const std::string suffix = unique_name.empty() ? DerivedName(AbsoluteProgramPath(program_path))
                                                 : DerivedName(unique_name);
  std::string shown_dir;
  OwnedFd dir(OpenClaimDirectory(&shown_dir, problem));
  if (dir.get() < 0) return RunUnchecked(problem);

  // The mutex: held while the claim is made or examined. Without it the
  // claim still holds; only the process id may be read too early.
  std::string mutex_problem;
  OwnedFd mutex_fd(OpenLockFile(dir.get(), shown_dir, suffix + ".mutex", &mutex_problem));
  if (mutex_fd.get() >= 0 && FlockRetryingInterrupts(mutex_fd.get(), LOCK_EX) != 0) {
    mutex_problem = "cannot lock " + shown_dir + "/" + suffix + ".mutex: " + ErrnoText(errno);
  }
  OwnedFd lock_fd(OpenLockFile(dir.get(), shown_dir, suffix + ".lock", problem));
  if (lock_fd.get() < 0) return RunUnchecked(problem);
  if (FlockRetryingInterrupts(lock_fd.get(), LOCK_EX | LOCK_NB) == 0) {
    const std::string pid = std::to_string(static_cast<long>(::getpid())) + "\n";
    if (::ftruncate(lock_fd.get(), 0) == 0) {
      ssize_t ignored = ::pwrite(lock_fd.get(), pid.data(), pid.size(), 0);
      (void)ignored;
    }
    if (!mutex_problem.empty()) *problem = mutex_problem + "; claimed without the mutex";
    // The lock file and the directory stay open, and locked, for the life of
    // the process.
    lock_fd.Release();
    dir.Release();
    return true;
  }
  if (errno != EWOULDBLOCK) {
    *problem = "cannot lock " + shown_dir + "/" + suffix + ".lock: " + ErrnoText(errno);
    return RunUnchecked(problem);  // not held by another instance as far as we know
  }
  dir.Close();

  // Another instance of ours holds the claim. Its id is written under the
  // mutex; a claim made without the mutex may need a moment.
  pid_t other = ReadPid(lock_fd.get());
  mutex_fd.Close();
  for (int i = 0; i < 20 && !ProcessAlive(other); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    other = ReadPid(lock_fd.get());
  }
  if (ProcessAlive(other)) {
    if (running != nullptr) {
      running->pid = static_cast<unsigned long>(other);
      running->started = ProcessStartTime(other);
    }
    BringWindowOfProcessForward(static_cast<unsigned long>(other));
  }
  return false;
}
