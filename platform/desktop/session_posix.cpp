#include "platform/desktop/session_posix.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include "platform/owned_handle.h"

namespace {

// The programs that make up a desktop session. `flag`, when set, must be
// among the arguments (pcmanfm is a file manager too); `not_flag` must not
// (caja --no-desktop draws nothing).
struct KnownComponent {
  const char* name;
  DesktopKind kind;
  bool draws;
  const char* flag;
  const char* not_flag;
};
constexpr KnownComponent kKnownComponents[] = {
    {"xfdesktop", DesktopKind::kXfce, true, nullptr, nullptr},
    {"xfce4-session", DesktopKind::kXfce, false, nullptr, nullptr},
    {"xfce4-panel", DesktopKind::kXfce, false, nullptr, nullptr},
    {"xfwm4", DesktopKind::kXfce, false, nullptr, nullptr},
    {"pcmanfm", DesktopKind::kLxde, true, "--desktop", nullptr},
    {"lxsession", DesktopKind::kLxde, false, nullptr, nullptr},
    {"lxpanel", DesktopKind::kLxde, false, nullptr, nullptr},
    {"pcmanfm-qt", DesktopKind::kLxqt, true, "--desktop", nullptr},
    {"lxqt-session", DesktopKind::kLxqt, false, nullptr, nullptr},
    {"lxqt-panel", DesktopKind::kLxqt, false, nullptr, nullptr},
    {"caja", DesktopKind::kMate, true, nullptr, "--no-desktop"},
    {"mate-session", DesktopKind::kMate, false, nullptr, nullptr},
    {"mate-panel", DesktopKind::kMate, false, nullptr, nullptr},
    {"gnome-shell", DesktopKind::kGnome, true, nullptr, nullptr},
    {"gnome-flashback", DesktopKind::kGnome, true, nullptr, nullptr},
    {"nautilus-desktop", DesktopKind::kGnome, true, nullptr, nullptr},
    {"nautilus", DesktopKind::kGnome, false, nullptr, nullptr},
    {"budgie-wm", DesktopKind::kGnome, true, nullptr, nullptr},
    {"gala", DesktopKind::kGnome, true, nullptr, nullptr},
    {"compiz", DesktopKind::kGnome, true, nullptr, nullptr},
    {"gnome-session-binary", DesktopKind::kGnome, false, nullptr, nullptr},
    {"plasmashell", DesktopKind::kKde, true, nullptr, nullptr},
    {"ksmserver", DesktopKind::kKde, false, nullptr, nullptr},
    {"cinnamon", DesktopKind::kCinnamon, true, nullptr, nullptr},
    {"cinnamon-session", DesktopKind::kCinnamon, false, nullptr, nullptr},
    {"sway", DesktopKind::kSway, true, nullptr, nullptr},
    {"swaybg", DesktopKind::kWlroots, true, nullptr, nullptr},
};

constexpr const char* kSessionVariables[] = {
    "DISPLAY",         "WAYLAND_DISPLAY",     "SWAYSOCK", "DBUS_SESSION_BUS_ADDRESS",
    "XDG_RUNTIME_DIR", "XDG_CURRENT_DESKTOP",
};

std::string ValueIn(const std::vector<std::string>& variables, const std::string& name) {
  const std::string prefix = name + "=";
  for (const std::string& variable : variables) {
    if (variable.compare(0, prefix.size(), prefix) == 0) return variable.substr(prefix.size());
  }
  return "";
}

std::vector<std::string> ReadNulSeparated(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::string> items;
  for (std::string item; std::getline(in, item, '\0');) items.push_back(item);
  return items;
}

std::string Leaf(const std::string& path) { return path.substr(path.rfind('/') + 1); }

// The known component `pid` runs as, nullptr for any other program. The
// file name of argv[0] first (comm is cut at 15 characters), else comm.
const KnownComponent* Recognise(const std::string& proc, const std::string& pid,
                                const std::vector<std::string>& args) {
  // No command line: a kernel thread, or a program that has ended and not
  // yet been waited for (a zombie), which draws nothing.
  if (args.empty()) return nullptr;
  std::string comm;
  std::getline(std::ifstream(proc + "/" + pid + "/comm"), comm);
  const std::string leaf = Leaf(args[0]);
  for (const KnownComponent& known : kKnownComponents) {
    if (leaf != known.name && comm != known.name) continue;
    const auto has = [&args](const char* flag) {
      return std::any_of(args.begin() + 1, args.end(),
                         [flag](const std::string& arg) { return arg.rfind(flag, 0) == 0; });
    };
    if (known.flag != nullptr && !has(known.flag)) return nullptr;
    if (known.not_flag != nullptr && has(known.not_flag)) return nullptr;
    return &known;
  }
  return nullptr;
}

// --profile NAME or --profile=NAME.
std::string ProfileOf(const std::vector<std::string>& args) {
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--profile" && i + 1 < args.size()) return args[i + 1];
    if (args[i].rfind("--profile=", 0) == 0) return args[i].substr(10);
  }
  return "";
}

double StartedOf(const std::string& proc, const std::string& pid) {
  std::string stat;
  std::getline(std::ifstream(proc + "/" + pid + "/stat"), stat);
  const size_t end = stat.rfind(") ");
  if (end == std::string::npos) return 0;
  std::istringstream fields(stat.substr(end + 2));
  std::string field;
  // starttime is field 22; the text after the name starts at field 3.
  for (int i = 3; i <= 22 && fields >> field; ++i) {
  }
  return std::atof(field.c_str()) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

// sway names its socket sway-ipc.UID.PID.sock in its runtime directory
// and sets SWAYSOCK only for the programs it starts.
std::string SwaySocketOf(long pid, const std::string& runtime_dir) {
  if (runtime_dir.empty()) return "";
  const Owned<DIR, closedir> dir(::opendir(runtime_dir.c_str()));
  if (!dir) return "";
  const std::string end = "." + std::to_string(pid) + ".sock";
  while (const dirent* entry = ::readdir(dir.get())) {
    const std::string name = entry->d_name;
    if (name.rfind("sway-ipc.", 0) == 0 && name.size() > end.size() &&
        name.compare(name.size() - end.size(), end.size(), end) == 0) {
      return runtime_dir + "/" + name;
    }
  }
  return "";
}

std::string KeyOf(const std::string& swaysock, const std::string& wayland_display,
                  const std::string& runtime_dir, const std::string& display) {
  if (!swaysock.empty()) return "sway:" + swaysock;
  if (!wayland_display.empty()) {
    return "wayland:" +
           (wayland_display[0] == '/' ? wayland_display : runtime_dir + "/" + wayland_display);
  }
  if (!display.empty()) return "x:" + NormalizedDisplay(display);
  return "";
}

std::string KeyOfVariables(const std::vector<std::string>& variables) {
  return KeyOf(ValueIn(variables, "SWAYSOCK"), ValueIn(variables, "WAYLAND_DISPLAY"),
               ValueIn(variables, "XDG_RUNTIME_DIR"), ValueIn(variables, "DISPLAY"));
}

}  // namespace

std::string SessionComponent::Variable(const std::string& variable) const {
  return ValueIn(variables, variable);
}

std::string Session::Variable(const std::string& variable) const {
  for (const SessionComponent& component : components) {
    const std::string value = component.Variable(variable);
    if (!value.empty()) return value;
  }
  return "";
}

const SessionComponent* Session::Drawer(DesktopKind kind) const {
  for (const SessionComponent& component : components) {
    if (component.draws && component.kind == kind) return &component;
  }
  return nullptr;
}

DesktopKind Session::DrawingKind() const {
  // sway shows the background itself, through the swaybg it starts.
  for (const SessionComponent& component : components) {
    if (component.draws && component.kind != DesktopKind::kWlroots) return component.kind;
  }
  for (const SessionComponent& component : components) {
    if (component.draws) return component.kind;
  }
  return DesktopKind::kUnknown;
}

std::string Session::Described() const {
  const SessionComponent& first = components.front();
  std::string where = first.Variable("SWAYSOCK");
  if (where.empty()) where = first.Variable("WAYLAND_DISPLAY");
  if (where.empty()) where = first.Variable("DISPLAY");
  return first.name + " (" + std::to_string(first.pid) + ")" +
         (where.empty() ? ", display unknown" : " on " + where);
}

std::string NormalizedDisplay(const std::string& display) {
  std::string name = display;
  if (name.rfind("unix:", 0) == 0) name.erase(0, 4);
  const size_t colon = name.rfind(':');
  const size_t dot = name.rfind('.');
  if (colon != std::string::npos && dot != std::string::npos && dot > colon &&
      dot + 1 < name.size() &&
      std::all_of(name.begin() + static_cast<long>(dot) + 1, name.end(),
                  [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; })) {
    name.erase(dot);
  }
  return name;
}

std::string SessionKeyOf(const std::vector<std::string>& environment) {
  return KeyOfVariables(environment);
}

std::vector<Session> FindSessions(const std::string& proc) {
  std::vector<Session> sessions;
  const Owned<DIR, closedir> dir(::opendir(proc.c_str()));
  if (!dir) return sessions;
  while (const dirent* entry = ::readdir(dir.get())) {
    const std::string pid = entry->d_name;
    if (pid.empty() || !std::all_of(pid.begin(), pid.end(), [](char c) {
          return std::isdigit(static_cast<unsigned char>(c)) != 0;
        })) {
      continue;
    }
    // Another user's environment is none of ours (and not readable).
    struct stat info;
    if (::stat((proc + "/" + pid).c_str(), &info) != 0 || info.st_uid != ::getuid()) continue;
    const std::vector<std::string> args = ReadNulSeparated(proc + "/" + pid + "/cmdline");
    const KnownComponent* known = Recognise(proc, pid, args);
    if (known == nullptr) continue;
    const std::vector<std::string> environ = ReadNulSeparated(proc + "/" + pid + "/environ");
    SessionComponent component;
    component.pid = std::atol(pid.c_str());
    component.name = known->name;
    component.kind = known->kind;
    component.draws = known->draws;
    component.arguments = args;
    if (component.kind == DesktopKind::kLxde || component.kind == DesktopKind::kLxqt)
      component.profile = ProfileOf(args);
    for (const char* name : kSessionVariables) {
      const std::string value = ValueIn(environ, name);
      if (!value.empty()) component.variables.push_back(std::string(name) + "=" + value);
    }
    for (const char* name : {"HOME", "XDG_CONFIG_HOME"}) {
      const std::string value = ValueIn(environ, name);
      if (!value.empty()) component.variables.push_back(std::string(name) + "=" + value);
    }
    if (component.kind == DesktopKind::kSway && component.Variable("SWAYSOCK").empty()) {
      const std::string socket = SwaySocketOf(component.pid, component.Variable("XDG_RUNTIME_DIR"));
      if (!socket.empty()) component.variables.push_back("SWAYSOCK=" + socket);
    }
    // A swaybg of a sway session belongs to sway.
    if (component.kind == DesktopKind::kWlroots && !component.Variable("SWAYSOCK").empty())
      component.kind = DesktopKind::kSway;
    component.started = StartedOf(proc, pid);
    const std::string key = KeyOfVariables(component.variables);
    // A Wayland compositor (gnome-shell) makes its display for the programs
    // it starts, and its own environment names none: its session has no
    // key, and is told apart from the others by that.
    auto session = std::find_if(sessions.begin(), sessions.end(),
                                [&key](const Session& s) { return s.key == key; });
    if (session == sessions.end()) {
      sessions.push_back({key, {}});
      session = sessions.end() - 1;
    }
    session->components.push_back(component);
  }
  const auto newest = [](const Session& session) {
    double started = 0;
    for (const SessionComponent& component : session.components)
      started = std::max(started, component.started);
    return started;
  };
  for (Session& session : sessions) {
    std::stable_sort(session.components.begin(), session.components.end(),
                     [](const SessionComponent& a, const SessionComponent& b) {
                       return a.draws != b.draws ? a.draws : a.started < b.started;
                     });
  }
  std::stable_sort(sessions.begin(), sessions.end(),
                   [&newest](const Session& a, const Session& b) { return newest(a) > newest(b); });
  return sessions;
}

bool SharesHome(const Session& session, const std::string& home) {
  const auto trimmed = [](std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
  };
  const std::string its_home = session.Variable("HOME");
  return home.empty() || its_home.empty() || trimmed(its_home) == trimmed(home);
}

const Session* ChooseSession(const std::vector<Session>& all,
                             const std::vector<std::string>& environment, std::string* note) {
  note->clear();
  std::vector<const Session*> sessions;
  for (const Session& session : all) {
    if (SharesHome(session, ValueIn(environment, "HOME"))) sessions.push_back(&session);
  }
  const std::string key = SessionKeyOf(environment);
  if (!key.empty()) {
    for (const Session* session : sessions) {
      if (session->key == key) {
        *note = "session: " + session->Described();
        return session;
      }
    }
    return nullptr;
  }
  if (sessions.empty()) return nullptr;
  const Session* chosen = sessions.front();
  for (const Session* session : sessions) {
    if (session->DrawingKind() != DesktopKind::kUnknown) {
      chosen = session;
      break;
    }
  }
  *note = "session: " + chosen->Described() + " (this run names no display";
  if (sessions.size() > 1) {
    *note += "; the newest with a desktop of " + std::to_string(sessions.size()) + ", the others:";
    for (const Session* session : sessions) {
      if (session != chosen) *note += " " + session->Described();
    }
  }
  *note += ")";
  return chosen;
}

std::vector<std::string> WithSession(std::vector<std::string> environment, const Session& session) {
  std::vector<const char*> names(std::begin(kSessionVariables), std::end(kSessionVariables));
  // Where the desktop keeps its settings, which are read back from there.
  names.push_back("XDG_CONFIG_HOME");
  for (const char* name : names) {
    const std::string value = session.Variable(name);
    if (value.empty()) continue;
    const std::string prefix = std::string(name) + "=";
    environment.erase(std::remove_if(environment.begin(), environment.end(),
                                     [&prefix](const std::string& variable) {
                                       return variable.compare(0, prefix.size(), prefix) == 0;
                                     }),
                      environment.end());
    environment.push_back(prefix + value);
  }
  return environment;
}
