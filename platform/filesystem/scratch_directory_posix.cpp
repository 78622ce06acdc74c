#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/filesystem/scratch_directory.h"
#include "platform/system_error.h"

namespace {

// What the signal handler needs, set before it is installed. Everything the
// handler calls is a plain system call, safe inside a handler.
constexpr size_t kPathCapacity = 4096;
char g_path[kPathCapacity];
int g_dir_fd = -1;
pid_t g_owner = 0;
volatile sig_atomic_t g_active = 0;

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction g_previous[sizeof kSignals / sizeof kSignals[0]];

// Removes every entry of the directory, then the directory. A file created
// meanwhile by another thread (a download in flight) makes the directory
// non-empty again; the passes repeat until it is gone.
void RemoveScratch() {
  if (!g_active) return;
  for (int pass = 0; pass < 100; ++pass) {
    ::lseek(g_dir_fd, 0, SEEK_SET);
    alignas(8) char entries[4096];
    for (;;) {
      const long n = ::syscall(SYS_getdents64, g_dir_fd, entries, sizeof entries);
      if (n <= 0) break;
      for (long at = 0; at < n;) {
        // struct linux_dirent64: inode (8), offset (8), length (2), type (1), name.
        unsigned short length;
        std::memcpy(&length, entries + at + 16, sizeof length);
        const char* name = entries + at + 19;
        const bool dot = name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
        if (!dot) ::unlinkat(g_dir_fd, name, 0);
        at += length;
      }
    }
    if (::rmdir(g_path) == 0 || errno == ENOENT) break;
  }
  g_active = 0;
}

void OnSignal(int signal) {
  if (::getpid() == g_owner) RemoveScratch();
  // Then the signal ends the process as it would have without us.
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = SIG_DFL;
  ::sigaction(signal, &action, nullptr);
  ::raise(signal);
}

void RemoveAtExit() {
  if (::getpid() == g_owner) RemoveScratch();
}

}  // namespace

ScratchDirectory::ScratchDirectory() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = base != nullptr && base[0] == '/' ? base : "/tmp";
  if (pattern.back() != '/') pattern += '/';
  pattern += "wallpaper-fetcher-check-XXXXXX";
  if (g_active) {
    outcome_ = Outcome::Error("another one is in use");
    return;
  }
  if (pattern.size() >= kPathCapacity) {
    outcome_ = PosixError(pattern, ENAMETOOLONG);
    return;
  }
  std::memcpy(g_path, pattern.c_str(), pattern.size() + 1);
  if (::mkdtemp(g_path) == nullptr) {  // made with mode 0700
    outcome_ = PosixError(pattern, errno);
    return;
  }
  g_dir_fd = ::open(g_path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (g_dir_fd < 0) {
    outcome_ = PosixError(g_path, errno);
    ::rmdir(g_path);
    return;
  }
  g_owner = ::getpid();
  g_active = 1;
  static bool at_exit_registered = false;
  if (!at_exit_registered) at_exit_registered = std::atexit(RemoveAtExit) == 0;
  for (size_t i = 0; i < sizeof kSignals / sizeof kSignals[0]; ++i) {
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(kSignals[i], &action, &g_previous[i]);
  }
  path_ = std::string(g_path) + "/";
}

ScratchDirectory::~ScratchDirectory() {
  if (path_.empty()) return;
  RemoveScratch();  // before the handlers go: an interruption now finds it gone
  for (size_t i = 0; i < sizeof kSignals / sizeof kSignals[0]; ++i)
    ::sigaction(kSignals[i], &g_previous[i], nullptr);
  ::close(g_dir_fd);
  g_dir_fd = -1;
}
