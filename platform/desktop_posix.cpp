#include "platform/desktop_posix.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/filesystem.h"
#include "platform/x11_root_posix.h"

extern char** environ;

namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool Contains(const std::string& text, const char* part) {
  return text.find(part) != std::string::npos;
}

// "NAME=value" strings, as a process is given them.
class Environment {
 public:
  explicit Environment(std::vector<std::string> variables) : variables_(std::move(variables)) {
    for (std::string& variable : variables_) pointers_.push_back(variable.data());
    pointers_.push_back(nullptr);
  }
  Environment(const Environment&) = delete;
  Environment& operator=(const Environment&) = delete;

  // The value, "" when unset.
  std::string Get(const std::string& name) const {
    for (const std::string& variable : variables_) {
      if (variable.size() > name.size() && variable.compare(0, name.size(), name) == 0 &&
          variable[name.size()] == '=') {
        return variable.substr(name.size() + 1);
      }
    }
    return "";
  }
  char* const* envp() const { return pointers_.data(); }

 private:
  std::vector<std::string> variables_;
  std::vector<char*> pointers_;
};

std::vector<std::string> ProcessEnvironment() {
  std::vector<std::string> variables;
  for (char** e = environ; e != nullptr && *e != nullptr; ++e) variables.emplace_back(*e);
  return variables;
}

// file:// and the path with everything outside the unreserved characters
// percent-encoded.
std::string FileUri(const std::string& path) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string uri = "file://";
  for (unsigned char c : path) {
    if (std::isalnum(c) || c == '/' || c == '-' || c == '.' || c == '_' || c == '~') {
      uri += static_cast<char>(c);
    } else {
      uri += '%';
      uri += kHex[c >> 4];
      uri += kHex[c & 15];
    }
  }
  return uri;
}

// A text in single quotes with \ and ' escaped: a GVariant string for
// gsettings, a string literal for Plasma's scripts.
std::string SingleQuoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\\' || c == '\'') quoted += '\\';
    quoted += c;
  }
  return quoted + "'";
}

// A word of a sway command, which swaymsg joins with blanks.
std::string SwayQuoted(const std::string& text) {
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') quoted += '\\';
    quoted += c;
  }
  return quoted + "\"";
}

// Runs the desktops' tools: no shell, found on the PATH of the environment
// given, standard input and error on /dev/null, killed at the time limit.
class ToolRunner {
 public:
  ToolRunner(const Environment& environment, int timeout_ms)
      : environment_(environment), timeout_ms_(timeout_ms) {}

  // The full path of `name` on PATH, "" when it is not there.
  std::string Find(const std::string& name) const {
    std::string dirs = environment_.Get("PATH");
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

  // Runs `args` to its end. Returns "" when it exits with status 0, else
  // what went wrong, starting with the program's name. With `output`, its
  // standard output is collected there.
  std::string Run(const std::vector<std::string>& args, std::string* output = nullptr) const {
    const std::string program = Find(args[0]);
    if (program.empty()) return args[0] + ": not found";
    int out_pipe[2] = {-1, -1};
    if (output != nullptr && ::pipe2(out_pipe, O_CLOEXEC) != 0) return args[0] + ": no pipe";

    posix_spawn_file_actions_t actions;
    InitFileActions(&actions, output != nullptr ? out_pipe[1] : -1);
    posix_spawnattr_t attributes;
    InitAttributes(&attributes, /*new_session=*/false);

    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int spawned = posix_spawnp(&pid, program.c_str(), &actions, &attributes, argv.data(),
                                     environment_.envp());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (output != nullptr) ::close(out_pipe[1]);
    if (spawned != 0) {
      if (output != nullptr) ::close(out_pipe[0]);
      return args[0] + ": " + std::strerror(spawned);
    }

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms_);
    int status = 0;
    const bool ended =
        WaitFor(pid, output != nullptr ? out_pipe[0] : -1, output, deadline, &status);
    if (output != nullptr) ::close(out_pipe[0]);
    if (!ended) {
      ::kill(-pid, SIGKILL);  // the tool and anything it started
      ::kill(pid, SIGKILL);
      while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
      return args[0] + ": killed after " + std::to_string(timeout_ms_) + " ms";
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return "";
    if (WIFEXITED(status)) return args[0] + ": exit status " + std::to_string(WEXITSTATUS(status));
    return args[0] + ": ended by signal " + std::to_string(WTERMSIG(status));
  }

  // Starts `args` in a session of its own and does not wait for it (a
  // program that keeps showing the wallpaper). Returns its process id, or
  // -1 when it could not be started.
  pid_t StartDetached(const std::vector<std::string>& args) const {
    const std::string program = Find(args[0]);
    if (program.empty()) return -1;
    int id_pipe[2];
    if (::pipe2(id_pipe, O_CLOEXEC) != 0) return -1;
    // An intermediate child starts it and ends at once, so that it becomes
    // init's child and never lingers as our zombie.
    const pid_t middle = ::fork();
    if (middle < 0) {
      ::close(id_pipe[0]);
      ::close(id_pipe[1]);
      return -1;
    }
    if (middle == 0) {
      posix_spawn_file_actions_t actions;
      InitFileActions(&actions, -1);
      posix_spawnattr_t attributes;
      InitAttributes(&attributes, /*new_session=*/true);
      std::vector<char*> argv;
      for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
      argv.push_back(nullptr);
      pid_t pid = -1;
      if (posix_spawnp(&pid, program.c_str(), &actions, &attributes, argv.data(),
                       environment_.envp()) != 0) {
        pid = -1;
      }
      (void)!::write(id_pipe[1], &pid, sizeof(pid));
      ::_exit(0);
    }
    ::close(id_pipe[1]);
    pid_t pid = -1;
    if (::read(id_pipe[0], &pid, sizeof(pid)) != static_cast<ssize_t>(sizeof(pid))) pid = -1;
    ::close(id_pipe[0]);
    int status = 0;
    while (::waitpid(middle, &status, 0) < 0 && errno == EINTR) {
    }
    return pid;
  }

  const Environment& environment() const { return environment_; }

 private:
  // Standard input and error on /dev/null, standard output on `stdout_fd`
  // (/dev/null for -1), and no other descriptor of ours: log.log must not
  // stay open in a tool, least of all in one that outlives the run.
  static void InitFileActions(posix_spawn_file_actions_t* actions, int stdout_fd) {
    posix_spawn_file_actions_init(actions);
    posix_spawn_file_actions_addopen(actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (stdout_fd >= 0) {
      posix_spawn_file_actions_adddup2(actions, stdout_fd, STDOUT_FILENO);
    } else {
      posix_spawn_file_actions_addopen(actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    }
    posix_spawn_file_actions_addopen(actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addclosefrom_np(actions, STDERR_FILENO + 1);
  }

  static void InitAttributes(posix_spawnattr_t* attributes, bool new_session) {
    posix_spawnattr_init(attributes);
    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGTERM);
    short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
    if (new_session) {
      flags |= POSIX_SPAWN_SETSID;
    } else {
      // A group of its own, so that a time-out ends what it started too.
      flags |= POSIX_SPAWN_SETPGROUP;
      posix_spawnattr_setpgroup(attributes, 0);
    }
    posix_spawnattr_setsigmask(attributes, &none);
    posix_spawnattr_setsigdefault(attributes, &defaults);
    posix_spawnattr_setflags(attributes, flags);
  }

  // Collects output (when `fd` >= 0) until the child has ended. False at
  // the deadline.
  static bool WaitFor(pid_t pid, int fd, std::string* output,
                      std::chrono::steady_clock::time_point deadline, int* status) {
    bool exited = false;
    bool eof = fd < 0;
    int pause_ms = 1;
    while (!(exited && eof)) {
      const auto now = std::chrono::steady_clock::now();
      if (now >= deadline) return false;
      const int left = static_cast<int>(
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count());
      if (!eof) {
        struct pollfd poll_fd = {fd, POLLIN, 0};
        const int ready = ::poll(&poll_fd, 1, std::min(left, 20));
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

  const Environment& environment_;
  int timeout_ms_;
};

// GNOME and Cinnamon take a file URI, MATE a plain path. The key is cleared
// first: the desktop keeps showing what it has for an unchanged value, and
// the file behind it is new.
std::string SetThroughGsettings(const ToolRunner& tools, const char* schema, const char* key,
                                const std::string& value) {
  const std::string cleared = tools.Run({"gsettings", "set", schema, key, "''"});
  if (Contains(cleared, ": not found")) return cleared;
  return tools.Run({"gsettings", "set", schema, key, SingleQuoted(value)});
}

std::string SetGnome(const ToolRunner& tools, const std::string& path) {
  const std::string uri = FileUri(path);
  const std::string failure =
      SetThroughGsettings(tools, "org.gnome.desktop.background", "picture-uri", uri);
  if (!failure.empty()) return failure;
  // The dark style's picture; older GNOME has no such key.
  SetThroughGsettings(tools, "org.gnome.desktop.background", "picture-uri-dark", uri);
  return "";
}

// Plasma's scripting: every desktop gets the image plugin and `image`.
std::string PlasmaScript(const std::string& image) {
  return "var all = desktops(); for (var i = 0; i < all.length; ++i) { var d = all[i]; "
         "d.wallpaperPlugin = 'org.kde.image'; "
         "d.currentConfigGroup = Array('Wallpaper', 'org.kde.image', 'General'); "
         "d.writeConfig('Image', " +
         SingleQuoted(image) + "); }";
}

std::string EvaluatePlasmaScript(const ToolRunner& tools, const std::string& tool,
                                 const std::string& script) {
  if (tool == "dbus-send") {
    return tools.Run({"dbus-send", "--session", "--type=method_call", "--dest=org.kde.plasmashell",
                      "/PlasmaShell", "org.kde.PlasmaShell.evaluateScript", "string:" + script});
  }
  return tools.Run(
      {tool, "org.kde.plasmashell", "/PlasmaShell", "org.kde.PlasmaShell.evaluateScript", script});
}

// Plasma keeps showing the picture it has for an unchanged path, so where
// its scripting can be reached the image is cleared first.
std::string SetKde(const ToolRunner& tools, const std::string& path) {
  std::string dbus_tool;
  for (const char* tool : {"qdbus6", "qdbus-qt6", "qdbus", "dbus-send"}) {
    if (!tools.Find(tool).empty()) {
      dbus_tool = tool;
      break;
    }
  }
  if (!dbus_tool.empty()) EvaluatePlasmaScript(tools, dbus_tool, PlasmaScript(""));
  std::string failure;
  if (!tools.Find("plasma-apply-wallpaperimage").empty()) {
    failure = tools.Run({"plasma-apply-wallpaperimage", path});
    if (failure.empty()) return "";
  }
  if (dbus_tool.empty()) {
    return failure.empty() ? "plasma-apply-wallpaperimage: not found; no D-Bus tool found"
                           : failure;
  }
  const std::string scripted = EvaluatePlasmaScript(tools, dbus_tool, PlasmaScript(FileUri(path)));
  if (scripted.empty()) return "";
  return failure.empty() ? scripted : failure + "; " + scripted;
}

// Every backdrop of every monitor and workspace that names an image.
std::string SetXfce(const ToolRunner& tools, const std::string& path) {
  std::string listing;
  const std::string listed = tools.Run({"xfconf-query", "-c", "xfce4-desktop", "-l"}, &listing);
  if (!listed.empty()) return listed;
  std::vector<std::string> properties;
  std::istringstream lines(listing);
  for (std::string line; std::getline(lines, line);) {
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.pop_back();
    const auto ends_with = [&line](const std::string& end) {
      return line.size() >= end.size() &&
             line.compare(line.size() - end.size(), end.size(), end) == 0;
    };
    if (line.rfind("/backdrop/", 0) == 0 &&
        (ends_with("/last-image") || ends_with("/image-path"))) {
      properties.push_back(line);
    }
  }
  if (properties.empty()) return "xfconf-query: no backdrop image properties";
  std::string failure;
  bool any = false;
  for (const std::string& property : properties) {
    tools.Run({"xfconf-query", "-c", "xfce4-desktop", "-p", property, "-s", ""});
    const std::string set =
        tools.Run({"xfconf-query", "-c", "xfce4-desktop", "-p", property, "-s", path});
    if (set.empty())
      any = true;
    else
      failure = set;
  }
  return any ? "" : failure;
}

// swaybg keeps running to show the picture. The one started last time is
// ended once the new one runs; its id is kept in the user's runtime
// directory.
std::string StartSwaybg(const ToolRunner& tools, const std::string& path) {
  const pid_t pid = tools.StartDetached({"swaybg", "-i", path, "-m", "fill"});
  if (pid <= 0) return tools.Find("swaybg").empty() ? "swaybg: not found" : "swaybg: cannot start";
  const std::string runtime_dir = tools.environment().Get("XDG_RUNTIME_DIR");
  if (runtime_dir.empty()) return "";
  const std::string id_file = runtime_dir + "/wallpaper-fetcher-swaybg.pid";
  long previous = 0;
  {
    std::ifstream in(id_file);
    in >> previous;
  }
  if (previous > 0 && previous != pid) {
    std::ifstream comm("/proc/" + std::to_string(previous) + "/comm");
    std::string name;
    std::getline(comm, name);
    if (name == "swaybg") ::kill(static_cast<pid_t>(previous), SIGTERM);
  }
  std::ofstream(id_file, std::ios::trunc) << pid << "\n";
  return "";
}

std::string SetSway(const ToolRunner& tools, const std::string& path) {
  const std::string failure = tools.Run({"swaymsg", "output", "*", "bg", SwayQuoted(path), "fill"});
  if (failure.empty()) return "";
  const std::string started = StartSwaybg(tools, path);
  return started.empty() ? "" : failure + "; " + started;
}

}  // namespace

DesktopKind DetectDesktop(const std::string& current_desktop, const std::string& session) {
  for (const std::string& hint : {Lower(current_desktop), Lower(session)}) {
    if (hint.empty()) continue;
    if (Contains(hint, "cinnamon")) return DesktopKind::kCinnamon;
    if (Contains(hint, "mate")) return DesktopKind::kMate;
    if (Contains(hint, "kde") || Contains(hint, "plasma")) return DesktopKind::kKde;
    if (Contains(hint, "xfce")) return DesktopKind::kXfce;
    if (Contains(hint, "lxqt")) return DesktopKind::kLxqt;
    if (Contains(hint, "lxde")) return DesktopKind::kLxde;
    if (Contains(hint, "sway")) return DesktopKind::kSway;
    for (const char* name : {"gnome", "unity", "budgie", "pantheon", "ubuntu"}) {
      if (Contains(hint, name)) return DesktopKind::kGnome;
    }
    for (const char* name : {"wlroots", "river", "wayfire", "labwc", "hyprland"}) {
      if (Contains(hint, name)) return DesktopKind::kWlroots;
    }
  }
  return DesktopKind::kUnknown;
}

std::string PosixDesktop::SetWallpaper(const std::string& bitmap) {
  // The tools resolve a relative name against their own working directory,
  // and a file URI must be absolute.
  std::string path = bitmap;
  while (path.compare(0, 2, "./") == 0) path.erase(0, 2);
  if (!IsAbsolutePathRule(path)) path = CurrentDirectory() + path;
  const Environment environment(environment_ ? *environment_ : ProcessEnvironment());
  const ToolRunner tools(environment, command_timeout_ms_);
  std::string failure;
  switch (
      DetectDesktop(environment.Get("XDG_CURRENT_DESKTOP"), environment.Get("DESKTOP_SESSION"))) {
    case DesktopKind::kGnome:
      failure = SetGnome(tools, path);
      break;
    case DesktopKind::kCinnamon:
      failure = SetThroughGsettings(tools, "org.cinnamon.desktop.background", "picture-uri",
                                    FileUri(path));
      break;
    case DesktopKind::kMate:
      failure = SetThroughGsettings(tools, "org.mate.background", "picture-filename", path);
      break;
    case DesktopKind::kKde:
      failure = SetKde(tools, path);
      break;
    case DesktopKind::kXfce:
      failure = SetXfce(tools, path);
      break;
    case DesktopKind::kLxde:
      failure = tools.Run({"pcmanfm", "--set-wallpaper", path});
      break;
    case DesktopKind::kLxqt:
      failure = tools.Run({"pcmanfm-qt", "--set-wallpaper", path});
      break;
    case DesktopKind::kSway:
      failure = SetSway(tools, path);
      break;
    case DesktopKind::kWlroots:
      failure = StartSwaybg(tools, path);
      break;
    case DesktopKind::kUnknown:
      failure = "no desktop recognised";
      break;
  }
  if (failure.empty()) return "";
  // Any X server shows a root window background, whoever else draws.
  const std::string display = environment.Get("DISPLAY");
  if (display.empty()) return failure + "; no X display";
  const std::string root = SetRootWindowBackground(display, path);
  return root.empty() ? "" : failure + "; X11 root window: " + root;
}

Desktop& SystemDesktop() {
  static PosixDesktop desktop;
  return desktop;
}
