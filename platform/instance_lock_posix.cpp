// Single instance on POSIX: an exclusive flock on a lock file named after the
// program's absolute path. The kernel drops the lock when the process ends,
// however it ends, so no stale claim survives a crash or kill -9. A second,
// blocking lock plays the named mutex: the first instance writes its process
// id while holding it, so a later one never reads a half-written id.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
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
#include <string>
#include <thread>

#include "platform/instance_lock.h"
#include "platform/owned_handle.h"

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

std::string LockDirectory() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  struct stat st;
  if (runtime != nullptr && *runtime == '/' && ::stat(runtime, &st) == 0 && S_ISDIR(st.st_mode)) {
    return std::string(runtime) + "/";
  }
  return "/tmp/";
}

int OpenLockFile(const std::string& path) {
  return ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
}

bool ProcessAlive(pid_t pid) { return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM); }

pid_t ReadPid(int fd) {
  char buffer[32] = {0};
  const ssize_t n = ::pread(fd, buffer, sizeof buffer - 1, 0);
  if (n <= 0) return 0;
  return static_cast<pid_t>(std::strtol(buffer, nullptr, 10));
}

pid_t ParentOf(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string content;
  std::getline(stat, content);
  const size_t close = content.rfind(')');
  if (close == std::string::npos) return 0;
  char state = 0;
  int parent = 0;
  if (std::sscanf(content.c_str() + close + 1, " %c %d", &state, &parent) != 2) return 0;
  return parent;
}

// A top-level window whose _NET_WM_PID is `pid` or a child process of it
// (an open message box); 0 when none.
Window FindWindowOf(Display* display, pid_t pid) {
  const Atom pid_atom = XInternAtom(display, "_NET_WM_PID", True);
  if (pid_atom == None) return 0;
  Window root = DefaultRootWindow(display), parent = 0, *children = nullptr;
  unsigned count = 0;
  if (!XQueryTree(display, root, &root, &parent, &children, &count)) return 0;
  const Owned<Window, XFree> owned_children(children);
  Window found = 0;
  for (unsigned i = 0; i < count && found == 0; ++i) {
    // Window managers reparent clients: look one level down as well.
    Window candidates[64];
    unsigned n = 0;
    candidates[n++] = children[i];
    Window r, p, *grand = nullptr;
    unsigned grand_count = 0;
    if (XQueryTree(display, children[i], &r, &p, &grand, &grand_count)) {
      const Owned<Window, XFree> owned_grand(grand);
      for (unsigned j = 0; j < grand_count && n < 64; ++j) candidates[n++] = grand[j];
    }
    for (unsigned k = 0; k < n && found == 0; ++k) {
      Atom type;
      int format;
      unsigned long items, after;
      unsigned char* data = nullptr;
      if (XGetWindowProperty(display, candidates[k], pid_atom, 0, 1, False, XA_CARDINAL, &type,
                             &format, &items, &after, &data) == Success &&
          data != nullptr) {
        const Owned<unsigned char, XFree> owned_data(data);
        if (items == 1 && format == 32) {
          const pid_t window_pid = static_cast<pid_t>(*reinterpret_cast<unsigned long*>(data));
          if (window_pid == pid || ParentOf(window_pid) == pid) found = candidates[k];
        }
      }
    }
  }
  return found;
}

void Activate(Display* display, Window window) {
  const Atom active = XInternAtom(display, "_NET_ACTIVE_WINDOW", False);
  XEvent event;
  std::memset(&event, 0, sizeof event);
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = active;
  event.xclient.format = 32;
  event.xclient.data.l[0] = 2;  // a request from a pager-like tool
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(display, DefaultRootWindow(display), False,
             SubstructureRedirectMask | SubstructureNotifyMask, &event);
  XRaiseWindow(display, window);
  XSetInputFocus(display, window, RevertToPointerRoot, CurrentTime);
  XFlush(display);
}

int IgnoreXErrors(Display*, XErrorEvent*) { return 0; }

void BringForward(pid_t pid) {
  const char* name = std::getenv("DISPLAY");
  if (name == nullptr || *name == '\0') return;
  const Owned<Display, XCloseDisplay> owned_display(XOpenDisplay(nullptr));
  Display* display = owned_display.get();
  if (display == nullptr) return;
  XErrorHandler previous = XSetErrorHandler(IgnoreXErrors);
  Window window = FindWindowOf(display, pid);
  if (window == 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    window = FindWindowOf(display, pid);
  }
  if (window != 0) Activate(display, window);
  XSync(display, False);
  XSetErrorHandler(previous);
}

}  // namespace

bool ClaimSingleInstance(const std::string& program_path, const std::string& unique_name) {
  const std::string suffix = unique_name.empty() ? DerivedName(AbsoluteProgramPath(program_path))
                                                 : DerivedName(unique_name);
  const std::string base = LockDirectory() + "wallpaper-fetcher-" +
                           std::to_string(static_cast<long>(::getuid())) + "-" + suffix;

  // The mutex: held while the claim is made or examined.
  OwnedFd mutex(OpenLockFile(base + ".mutex"));
  if (mutex.valid()) {
    while (::flock(mutex.get(), LOCK_EX) != 0 && errno == EINTR) {
    }
  }
  OwnedFd lock(OpenLockFile(base + ".lock"));
  // Without a lock file nothing can be checked: run as the first instance.
  if (!lock.valid()) return true;
  if (::flock(lock.get(), LOCK_EX | LOCK_NB) == 0) {
    const std::string pid = std::to_string(static_cast<long>(::getpid())) + "\n";
    if (::ftruncate(lock.get(), 0) == 0) {
      ssize_t ignored = ::pwrite(lock.get(), pid.data(), pid.size(), 0);
      (void)ignored;
    }
    lock.Release();  // stays open, and locked, for the life of the process
    return true;
  }

  // Another instance holds the claim. Its id is written under the mutex; a
  // claim made without the mutex may need a moment.
  pid_t other = ReadPid(lock.get());
  mutex.Close();
  for (int i = 0; i < 20 && !ProcessAlive(other); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    other = ReadPid(lock.get());
  }
  lock.Close();
  if (ProcessAlive(other)) BringForward(other);
  return false;
}
