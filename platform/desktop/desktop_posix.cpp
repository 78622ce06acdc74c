#include "platform/desktop/desktop_posix.h"

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include "platform/desktop/session_posix.h"
#include "platform/desktop/x11_root_posix.h"
#include "platform/filesystem/filesystem.h"
#include "platform/filesystem/user_files_posix.h"
#include "platform/owned_handle.h"
#include "platform/process/process_runner_posix.h"
#include "platform/text_case.h"

namespace {

bool Contains(const std::string& text, const char* part) {
  return text.find(part) != std::string::npos;
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

// The desktop's tools, each run noted with its result for --check and the
// run's record.
class Tools {
 public:
  Tools(const ProcessRunner& runner, const Session* session, const SessionFinder& find_sessions,
        int settle_ms, std::vector<std::string>* notes)
      : runner_(runner),
        session_(session),
        find_sessions_(find_sessions),
        settle_ms_(settle_ms),
        notes_(notes) {}

  Outcome Run(const std::vector<std::string>& args, std::string* output = nullptr) const {
    Outcome outcome = runner_.Run(args, output);
    // The reason starts with the program's name, which the command shows.
    std::string result = outcome.ok() ? "ok" : outcome.message();
    if (result.compare(0, args[0].size() + 2, args[0] + ": ") == 0)
      result.erase(0, args[0].size() + 2);
    notes_->push_back(Shown(args) + ": " + result);
    return outcome;
  }
  pid_t StartDetached(const std::vector<std::string>& args) const {
    const pid_t pid = runner_.StartDetached(args);
    notes_->push_back(Shown(args) + (pid > 0 ? ": started" : ": not started"));
    return pid;
  }
  std::string Find(const std::string& name) const { return runner_.Find(name); }
  std::string Variable(const std::string& name) const { return runner_.Variable(name); }
  const ProcessRunner& runner() const { return runner_; }
  void Note(const std::string& note) const { notes_->push_back(note); }
  // The graphical session found for this run, nullptr when none was.
  const Session* session() const { return session_; }
  // How long a desktop may take to save or show what it was told.
  int settle_ms() const { return settle_ms_; }
  // This user's sessions as they are now.
  std::vector<Session> FindSessionsNow() const { return find_sessions_(); }
  // The key of the session this run reaches (SessionKeyOf).
  std::string SessionKey() const {
    std::vector<std::string> variables;
    for (const char* name : {"SWAYSOCK", "WAYLAND_DISPLAY", "XDG_RUNTIME_DIR", "DISPLAY"})
      variables.push_back(std::string(name) + "=" + Variable(name));
    return SessionKeyOf(variables);
  }

 private:
  // The command as a person would type it, long words (Plasma's scripts)
  // shortened.
  static std::string Shown(const std::vector<std::string>& args) {
    std::string shown;
    for (const std::string& arg : args) {
      if (!shown.empty()) shown += ' ';
      shown += arg.size() > 72 ? arg.substr(0, 69) + "..." : arg;
    }
    return shown;
  }

  const ProcessRunner& runner_;
  const Session* session_;
  const SessionFinder& find_sessions_;
  int settle_ms_;
  std::vector<std::string>* notes_;
};

std::string Trimmed(std::string text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.pop_back();
  return text;
}

// Asks `done` every 100 ms until it holds or `wait_ms` pass: a desktop
// saves its setting, or starts its drawing program, a moment after it was
// asked.
bool WaitFor(const std::function<bool()>& done, int wait_ms) {
  for (int waited = 0;; waited += 100) {
    if (done()) return true;
    if (waited >= wait_ms) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}

// GNOME and Cinnamon take a file URI, MATE a plain path. The key is cleared
// first: the desktop keeps showing what it has for an unchanged value, and
// the file behind it is new. The value is read back: gsettings ends with
// status 0 when dconf cannot be reached and nothing was changed.
std::string SetThroughGsettings(const Tools& tools, const char* schema, const char* key,
                                const std::string& value) {
  const std::string cleared = tools.Run({"gsettings", "set", schema, key, "''"}).message();
  if (Contains(cleared, ": not found")) return cleared;
  const std::string set =
      tools.Run({"gsettings", "set", schema, key, SingleQuoted(value)}).message();
  if (!set.empty()) return set;
  std::string read;
  const std::string got = tools.Run({"gsettings", "get", schema, key}, &read).message();
  if (!got.empty()) return got;
  if (Trimmed(read) != SingleQuoted(value)) {
    return std::string("gsettings: ") + key + " reads " + Trimmed(read) +
           " after it was set (no dconf reached through the session bus)";
  }
  return "";
}

// picture-options, when a style is chosen, before the picture: the new
// picture is drawn in it at once.
void SetPictureOptions(const Tools& tools, const char* schema, const char* word) {
  if (word != nullptr) (void)tools.Run({"gsettings", "set", schema, "picture-options", word});
}

std::string SetGnome(const Tools& tools, const std::string& path, const char* word) {
  SetPictureOptions(tools, "org.gnome.desktop.background", word);
  const std::string uri = FileUri(path);
  const std::string failure =
      SetThroughGsettings(tools, "org.gnome.desktop.background", "picture-uri", uri);
  if (!failure.empty()) return failure;
  // The dark style's picture; older GNOME has no such key.
  SetThroughGsettings(tools, "org.gnome.desktop.background", "picture-uri-dark", uri);
  return "";
}

// Plasma's scripting: every desktop gets the image plugin and `image`, and
// the fill mode `fill_mode` when one is given.
std::string PlasmaScript(const std::string& image, const char* fill_mode) {
  const std::string mode =
      fill_mode == nullptr ? "" : std::string("d.writeConfig('FillMode', ") + fill_mode + "); ";
  return "var all = desktops(); for (var i = 0; i < all.length; ++i) { var d = all[i]; "
         "d.wallpaperPlugin = 'org.kde.image'; "
         "d.currentConfigGroup = Array('Wallpaper', 'org.kde.image', 'General'); " +
         mode + "d.writeConfig('Image', " + SingleQuoted(image) + "); }";
}

std::string EvaluatePlasmaScript(const Tools& tools, const std::string& tool,
                                 const std::string& script) {
  if (tool == "dbus-send") {
    // Without --print-reply dbus-send does not wait for the answer, and an
    // absent plasmashell is no failure.
    return tools
        .Run({"dbus-send", "--session", "--print-reply", "--type=method_call",
              "--dest=org.kde.plasmashell", "/PlasmaShell", "org.kde.PlasmaShell.evaluateScript",
              "string:" + script})
        .message();
  }
  return tools
      .Run({tool, "org.kde.plasmashell", "/PlasmaShell", "org.kde.PlasmaShell.evaluateScript",
            script})
      .message();
}

// Plasma keeps showing the picture it has for an unchanged path, so where
// its scripting can be reached the image is cleared first.
std::string SetKde(const Tools& tools, const std::string& path, const char* fill_mode) {
  std::string dbus_tool;
  for (const char* tool : {"qdbus6", "qdbus-qt6", "qdbus", "dbus-send"}) {
    if (!tools.Find(tool).empty()) {
      dbus_tool = tool;
      break;
    }
  }
  if (!dbus_tool.empty()) EvaluatePlasmaScript(tools, dbus_tool, PlasmaScript("", fill_mode));
  if (fill_mode != nullptr && dbus_tool.empty())
    tools.Note("the fill mode is not set: no D-Bus tool found");
  std::string failure;
  if (!tools.Find("plasma-apply-wallpaperimage").empty()) {
    failure = tools.Run({"plasma-apply-wallpaperimage", path}).message();
    if (failure.empty()) return "";
  }
  if (dbus_tool.empty()) {
    return failure.empty() ? "plasma-apply-wallpaperimage: not found; no D-Bus tool found"
                           : failure;
  }
  const std::string scripted =
      EvaluatePlasmaScript(tools, dbus_tool, PlasmaScript(FileUri(path), fill_mode));
  if (scripted.empty()) return "";
  return failure.empty() ? scripted : failure + "; " + scripted;
}

// Every backdrop of every monitor and workspace that names an image.
std::string SetXfce(const Tools& tools, const std::string& path, const char* image_style) {
  std::string listing;
  const std::string listed =
      tools.Run({"xfconf-query", "-c", "xfce4-desktop", "-l"}, &listing).message();
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
    if (image_style != nullptr) {
      const std::string style_property = property.substr(0, property.rfind('/')) + "/image-style";
      (void)tools.Run({"xfconf-query", "-c", "xfce4-desktop", "-p", style_property, "-n", "-t",
                       "int", "-s", image_style});
    }
    (void)tools.Run({"xfconf-query", "-c", "xfce4-desktop", "-p", property, "-s", ""});
    std::string set =
        tools.Run({"xfconf-query", "-c", "xfce4-desktop", "-p", property, "-s", path}).message();
    std::string read;
    if (set.empty())
      set = tools.Run({"xfconf-query", "-c", "xfce4-desktop", "-p", property}, &read).message();
    if (set.empty() && Trimmed(read) != path)
      set = "xfconf-query: " + property + " reads \"" + Trimmed(read) + "\" after it was set";
    if (set.empty())
      any = true;
    else
      failure = set;
  }
  return any ? "" : failure;
}

// True while process `pid` runs as `name` (not yet ended, not a zombie).
bool Runs(long pid, const std::string& name) {
  std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
  std::string comm_name;
  std::getline(comm, comm_name);
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string stat_line;
  std::getline(stat, stat_line);
  const size_t state = stat_line.rfind(") ");
  return comm_name == name && state != std::string::npos && stat_line.size() > state + 2 &&
         stat_line[state + 2] != 'Z';
}

// swaybg keeps running to show the picture. The one started last time is
// ended only once the new one is seen running a while later (a swaybg that
// cannot reach the compositor ends at once); its id is kept in the user's
// runtime directory.
std::string StartSwaybg(const Tools& tools, const std::string& path, const char* mode,
                        uint32_t background) {
  const pid_t pid =
      tools.StartDetached({"swaybg", "-i", path, "-m", mode == nullptr ? "fill" : mode, "-c",
                           BackgroundColourText(background)});
  if (pid <= 0) return tools.Find("swaybg").empty() ? "swaybg: not found" : "swaybg: cannot start";
  std::this_thread::sleep_for(std::chrono::milliseconds(kSwaybgSettleMs));
  if (!Runs(pid, "swaybg")) return "swaybg: ended at once";
  const std::string runtime_dir = tools.Variable("XDG_RUNTIME_DIR");
  if (runtime_dir.empty()) return "";
  const std::string id_file = runtime_dir + "/wallpaper-fetcher-swaybg.pid";
  long previous = 0;
  {
    std::ifstream in(id_file);
    in >> previous;
  }
  if (previous > 0 && previous != pid && Runs(previous, "swaybg")) {
    ::kill(static_cast<pid_t>(previous), SIGTERM);
    tools.Note("the previous swaybg (" + std::to_string(previous) + ") is ended");
  }
  std::ofstream(id_file, std::ios::trunc) << pid << "\n";
  return "";
}

// The swaybg programs of this run's session: those showing `path` when
// `showing`, else all the others.
std::vector<long> SwaybgsOfSession(const Tools& tools, const std::string& path, bool showing) {
  std::vector<long> pids;
  const std::string key = tools.SessionKey();
  for (const Session& session : tools.FindSessionsNow()) {
    if (session.key != key) continue;
    for (const SessionComponent& component : session.components) {
      if (component.name != "swaybg") continue;
      const bool shows = std::find(component.arguments.begin(), component.arguments.end(), path) !=
                         component.arguments.end();
      if (shows == showing) pids.push_back(component.pid);
    }
  }
  return pids;
}

// sway answers once it has taken the command, and shows the picture
// through a swaybg of its own: that one must come up and stay. Then any
// other swaybg of the session (the user's own, started from sway's
// configuration, or one an earlier run started) is ended: it would be
// drawn over the new one.
std::string SetSway(const Tools& tools, const std::string& path, const char* mode,
                    uint32_t background) {
  std::vector<std::string> command = {"swaymsg", "output",         "*",
                                      "bg",      SwayQuoted(path), mode == nullptr ? "fill" : mode};
  if (mode != nullptr) command.push_back(BackgroundColourText(background));
  std::string failure = tools.Run(command).message();
  if (failure.empty()) {
    const auto shown = [&] { return !SwaybgsOfSession(tools, path, true).empty(); };
    if (WaitFor(shown, tools.settle_ms())) {
      std::this_thread::sleep_for(std::chrono::milliseconds(kSwaybgSettleMs));
      if (shown()) {
        for (long pid : SwaybgsOfSession(tools, path, false)) {
          ::kill(static_cast<pid_t>(pid), SIGTERM);
          tools.Note("the swaybg showing another picture (" + std::to_string(pid) + ") is ended");
        }
        return "";
      }
    }
    failure = "swaymsg: taken, but no swaybg of sway shows the picture";
  }
  const std::string started = StartSwaybg(tools, path, mode, background);
  return started.empty() ? "" : failure + "; " + started;
}

// The settings file `file` of pcmanfm or pcmanfm-qt (`program`) in the
// profile its desktop runs with, in that desktop's configuration folder.
std::string PcmanfmSettings(const SessionComponent& desktop, const char* program,
                            const char* default_profile, const char* file) {
  std::string config = desktop.Variable("XDG_CONFIG_HOME");
  if (config.empty()) config = desktop.Variable("HOME") + "/.config";
  const std::string profile = desktop.profile.empty() ? default_profile : desktop.profile;
  return config + "/" + program + "/" + profile + "/" + file;
}

// The value of `key` in `section` ("" for any) of an ini-style file.
std::string IniValue(const std::string& file, const std::string& section, const std::string& key) {
  std::ifstream settings(file);
  bool in_section = section.empty();
  for (std::string line; std::getline(settings, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line[0] == '[') in_section = section.empty() || line == section;
    if (in_section && line.rfind(key + "=", 0) == 0) return line.substr(key.size() + 1);
  }
  return "";
}

// The desktop program of `kind` running in this run's session; when none
// does, *failure says so.
const SessionComponent* DesktopProgram(const Tools& tools, DesktopKind kind, const char* shown,
                                       std::string* failure) {
  const SessionComponent* drawer =
      tools.session() == nullptr ? nullptr : tools.session()->Drawer(kind);
  if (drawer != nullptr) return drawer;
  // A compositor's own environment names no display (gnome-shell on
  // Wayland): one of this user running counts for the session. pcmanfm's
  // desktops always name theirs.
  const bool x_client = kind == DesktopKind::kLxde || kind == DesktopKind::kLxqt;
  for (const Session& session : x_client ? std::vector<Session>() : tools.FindSessionsNow()) {
    const SessionComponent* keyless =
        session.key.empty() && SharesHome(session, tools.Variable("HOME")) ? session.Drawer(kind)
                                                                           : nullptr;
    if (keyless != nullptr) {
      tools.Note(keyless->name + " (" + std::to_string(keyless->pid) +
                 ") runs, on a display it does not name");
      return nullptr;
    }
  }
  *failure = std::string("no ") + shown + " runs for this session";
  return nullptr;
}

// pcmanfm and pcmanfm-qt save the picture in their profile once they have
// taken it.
std::string ReadBackPcmanfm(const Tools& tools, const std::string& settings,
                            const std::string& section, const std::string& key,
                            const std::string& path) {
  if (WaitFor([&] { return IniValue(settings, section, key) == path; }, tools.settle_ms()))
    return "";
  return "the desktop's settings (" + settings + ") do not name the picture";
}

// pcmanfm-qt answers ok when no desktop of it runs, and does not change its
// mode to zoom; it is asked only while its desktop runs.
std::string SetLxqt(const Tools& tools, const std::string& path, const char* mode) {
  std::string failure;
  const SessionComponent* desktop =
      DesktopProgram(tools, DesktopKind::kLxqt, "pcmanfm-qt desktop", &failure);
  if (desktop == nullptr) return "pcmanfm-qt: " + failure;
  const std::string settings = PcmanfmSettings(*desktop, "pcmanfm-qt", "default", "settings.conf");
  std::string chosen = mode != nullptr ? mode : IniValue(settings, "[Desktop]", "WallpaperMode");
  if (chosen.empty() || chosen == "none") {
    tools.Note("pcmanfm-qt's own mode is " + (chosen.empty() ? std::string("unknown") : chosen) +
               ": asked for zoom");
    chosen = "zoom";
  }
  failure =
      tools.Run({"pcmanfm-qt", "--set-wallpaper", path, "--wallpaper-mode", chosen}).message();
  if (!failure.empty()) return failure;
  return ReadBackPcmanfm(tools, settings, "[Desktop]", "Wallpaper", path);
}

// The tools resolve a relative name against their own working directory,
// and a file URI must be absolute.
std::string AbsolutePath(std::string path) {
  while (path.compare(0, 2, "./") == 0) path.erase(0, 2);
  if (!IsAbsolutePath(path)) path = GetCurrentDir() + path;
  return path;
}

// The desktop whose program draws in the session when one does (a run from
// cron names none, and a name may be wrong: what draws is what shows),
// else the one named. sway's user services have SWAYSOCK but no
// XDG_CURRENT_DESKTOP.
DesktopKind KindOf(const ProcessRunner& tools, const Session* session) {
  if (session != nullptr && session->DrawingKind() != DesktopKind::kUnknown)
    return session->DrawingKind();
  const DesktopKind kind =
      DetectDesktop(tools.Variable("XDG_CURRENT_DESKTOP"), tools.Variable("DESKTOP_SESSION"));
  if (kind == DesktopKind::kUnknown && !tools.Variable("SWAYSOCK").empty())
    return DesktopKind::kSway;
  return kind;
}

// A Wayland session shows no X root window: Xwayland's is seen by nobody.
bool IsWayland(const ProcessRunner& tools) {
  return !tools.Variable("WAYLAND_DISPLAY").empty() ||
         Lower(tools.Variable("XDG_SESSION_TYPE")) == "wayland";
}

const char* KindName(DesktopKind kind) {
  switch (kind) {
    case DesktopKind::kGnome:
      return "GNOME";
    case DesktopKind::kCinnamon:
      return "Cinnamon";
    case DesktopKind::kMate:
      return "MATE";
    case DesktopKind::kKde:
      return "KDE Plasma";
    case DesktopKind::kXfce:
      return "XFCE";
    case DesktopKind::kLxde:
      return "LXDE";
    case DesktopKind::kLxqt:
      return "LXQt";
    case DesktopKind::kSway:
      return "sway";
    case DesktopKind::kWlroots:
      return "a wlroots compositor";
    case DesktopKind::kUnknown:
      break;
  }
  return "none recognised";
}

// The style in the desktop's own words, in the order fill, fit, stretch,
// center, tile, span; "" where it has none (the closest is the first).
struct StyleWords {
  const char* setting;  // what the words are values of
  const char* words[6];
};

const StyleWords* WordsOf(DesktopKind kind) {
  static const StyleWords kGsettings = {
      "picture-options", {"zoom", "scaled", "stretched", "centered", "wallpaper", "spanned"}};
  static const StyleWords kXfce = {"image-style", {"5", "4", "3", "1", "2", "6"}};
  static const StyleWords kLxde = {"--wallpaper-mode",
                                   {"crop", "fit", "stretch", "center", "tile", "screen"}};
  static const StyleWords kLxqt = {"--wallpaper-mode",
                                   {"zoom", "fit", "stretch", "center", "tile", ""}};
  static const StyleWords kKde = {"FillMode", {"2", "1", "0", "6", "3", ""}};
  static const StyleWords kSway = {"mode", {"fill", "fit", "stretch", "center", "tile", ""}};
  switch (kind) {
    case DesktopKind::kGnome:
    case DesktopKind::kCinnamon:
    case DesktopKind::kMate:
      return &kGsettings;
    case DesktopKind::kXfce:
      return &kXfce;
    case DesktopKind::kLxde:
      return &kLxde;
    case DesktopKind::kLxqt:
      return &kLxqt;
    case DesktopKind::kKde:
      return &kKde;
    case DesktopKind::kSway:
    case DesktopKind::kWlroots:
      return &kSway;
    case DesktopKind::kUnknown:
      break;
  }
  return nullptr;
}

// The word for `style` on `kind`, nullptr for kDesktops or a desktop with
// no words; *closest says it stands for a style the desktop lacks.
const char* StyleWord(DesktopKind kind, WallpaperStyle style, bool* closest) {
  *closest = false;
  const StyleWords* words = WordsOf(kind);
  if (words == nullptr || style == WallpaperStyle::kDesktops) return nullptr;
  const char* word = words->words[static_cast<int>(style) - 1];
  if (*word != '\0') return word;
  *closest = true;
  return words->words[0];
}

// One line on how `look` is asked of `kind`.
std::string StyleNote(DesktopKind kind, const WallpaperLook& look) {
  if (look.style == WallpaperStyle::kDesktops) {
    return kind == DesktopKind::kUnknown ? "style: fill (WallpaperStyle not set)"
                                         : "style: the desktop's own (WallpaperStyle not set)";
  }
  const std::string name = WallpaperStyleName(look.style);
  bool closest = false;
  const char* word = StyleWord(kind, look.style, &closest);
  if (word == nullptr) return "style: " + name + ", drawn by this program";
  return "style: " + name + ", asked as " + WordsOf(kind)->setting + " " + word +
         (closest ? std::string(" (the closest: ") + KindName(kind) + " has no " + name + ")" : "");
}

// Without a pcmanfm desktop for the display pcmanfm --set-wallpaper waits
// for ever; it finds the desktop by a socket named after the display as the
// desktop was given it, in the session's runtime directory.
std::string SetLxde(const Tools& tools, const std::string& path, const char* mode) {
  std::string failure;
  const SessionComponent* desktop =
      DesktopProgram(tools, DesktopKind::kLxde, "pcmanfm desktop", &failure);
  if (desktop == nullptr) return "pcmanfm: " + failure;
  std::vector<std::string> command = {"pcmanfm", "--set-wallpaper", path};
  if (mode != nullptr) command.push_back(std::string("--wallpaper-mode=") + mode);
  failure = tools.Run(command).message();
  if (!failure.empty()) return failure;
  return ReadBackPcmanfm(tools,
                         PcmanfmSettings(*desktop, "pcmanfm", "default", "desktop-items-0.conf"),
                         "", "wallpaper", path);
}

// Sets `file` as the wallpaper of desktop `kind` in its own words for the
// style; "" when done, else why not.
std::string AskDesktopTools(const Tools& tools, DesktopKind kind, const std::string& file,
                            const WallpaperLook& look);

// The program that shows the background of a desktop that is only told a
// setting; nullptr for those whose own functions look for it.
const char* SettingReader(DesktopKind kind) {
  switch (kind) {
    case DesktopKind::kGnome:
      return "gnome-shell";
    case DesktopKind::kCinnamon:
      return "cinnamon";
    case DesktopKind::kMate:
      return "caja desktop";
    case DesktopKind::kKde:
      return "plasmashell";
    case DesktopKind::kXfce:
      return "xfdesktop";
    default:
      return nullptr;
  }
}

// The desktop's tools, then whether anything shows what they set: a
// setting that no running program reads is not on the screen (it is kept
// for the next log-in).
std::string AskDesktop(const Tools& tools, DesktopKind kind, const std::string& file,
                       const WallpaperLook& look) {
  const std::string failure = AskDesktopTools(tools, kind, file, look);
  const char* reader = SettingReader(kind);
  if (!failure.empty() || reader == nullptr) return failure;
  std::string missing;
  DesktopProgram(tools, kind, reader, &missing);
  return missing.empty() ? "" : "set, but " + missing;
}

std::string AskDesktopTools(const Tools& tools, DesktopKind kind, const std::string& file,
                            const WallpaperLook& look) {
  bool closest = false;
  const char* word = StyleWord(kind, look.style, &closest);
  switch (kind) {
    case DesktopKind::kGnome:
      return SetGnome(tools, file, word);
    case DesktopKind::kCinnamon:
      SetPictureOptions(tools, "org.cinnamon.desktop.background", word);
      return SetThroughGsettings(tools, "org.cinnamon.desktop.background", "picture-uri",
                                 FileUri(file));
    case DesktopKind::kMate:
      SetPictureOptions(tools, "org.mate.background", word);
      return SetThroughGsettings(tools, "org.mate.background", "picture-filename", file);
    case DesktopKind::kKde:
      return SetKde(tools, file, word);
    case DesktopKind::kXfce:
      return SetXfce(tools, file, word);
    case DesktopKind::kLxde:
      return SetLxde(tools, file, word);
    case DesktopKind::kLxqt:
      return SetLxqt(tools, file, word);
    case DesktopKind::kSway:
      return SetSway(tools, file, word, look.background);
    case DesktopKind::kWlroots:
      return StartSwaybg(tools, file, word, look.background);
    case DesktopKind::kUnknown:
      break;
  }
  return "no desktop recognised";
}

// After the desktop failed with `failure`: any X server shows a root window
// background, whoever else draws; not so Xwayland's. The run's failure, ""
// when the root window shows `path`.
// `*no_session` is set when the picture reached no screen for want of a
// session or a desktop to reach: no X display to fall back on, one that did
// not answer, or a root window that no one sees (Wayland's, or one under the
// desktop's own window, whose desktop the tool could not reach).
std::string DrawOnRootWindow(const ProcessRunner& runner, const std::string& path,
                             const WallpaperLook& look, const std::string& failure,
                             std::vector<std::string>* notes, bool* no_session) {
  if (IsWayland(runner)) {
    *no_session = true;
    return failure + "; a Wayland session shows no X root window";
  }
  const std::string display = runner.Variable("DISPLAY");
  if (display.empty()) {
    *no_session = true;
    return failure + "; no X display";
  }
  const std::string cover = RootWindowCover(display);
  if (Contains(cover, "desktop window")) {
    notes->push_back("X11 root window of " + display + ": not drawn, " + cover + " covers it");
    *no_session = true;
    return failure + "; the X11 root window is covered by " + cover;
  }
  notes->push_back("fallback: the X11 root window of " + display);
  const std::string root = SetRootWindowBackground(display, path, look);
  notes->push_back(root.empty() ? "X11 root window: drawn" : "X11 root window: " + root);
  *no_session = root.rfind("cannot open X display", 0) == 0;
  return root.empty() ? "" : failure + "; X11 root window: " + root;
}

// The user's session bus when none is named (a run from cron): the
// desktops' settings reach the running desktop only through it.
std::vector<std::string> WithSessionBus(std::vector<std::string> environment,
                                        std::vector<std::string>* notes) {
  std::string runtime_dir;
  for (const std::string& variable : environment) {
    if (variable.rfind("DBUS_SESSION_BUS_ADDRESS=", 0) == 0 && variable.size() > 25)
      return environment;
    if (variable.rfind("XDG_RUNTIME_DIR=", 0) == 0) runtime_dir = variable.substr(16);
  }
  while (runtime_dir.size() > 1 && runtime_dir.back() == '/') runtime_dir.pop_back();
  if (runtime_dir.empty()) runtime_dir = "/run/user/" + std::to_string(::getuid());
  const std::string bus = runtime_dir + "/bus";
  struct stat info;
  if (::stat(bus.c_str(), &info) != 0 || !S_ISSOCK(info.st_mode)) return environment;
  environment.push_back("DBUS_SESSION_BUS_ADDRESS=unix:path=" + bus);
  notes->push_back("session bus: " + bus + " (none was named)");
  return environment;
}

// Why `kind` cannot show `look` itself, so that the picture is composed
// here and handed over to be shown as it is; nullptr when it can.
// `own_mode` is pcmanfm-qt's mode now, for a style left to the desktop.
const char* WhyCompose(DesktopKind kind, const WallpaperLook& look, const std::string& own_mode) {
  const bool bars = look.style == WallpaperStyle::kFit || look.style == WallpaperStyle::kCenter;
  switch (kind) {
    case DesktopKind::kLxqt:
      // pcmanfm-qt 1.2 keeps its mode when asked for zoom, and has no span.
      if (look.style == WallpaperStyle::kFill || look.style == WallpaperStyle::kSpan ||
          (look.style == WallpaperStyle::kDesktops &&
           (own_mode.empty() || own_mode == "none" || own_mode == "zoom"))) {
        return "pcmanfm-qt does not zoom";
      }
      return bars ? "the desktop keeps its own background colour" : nullptr;
    case DesktopKind::kGnome:
    case DesktopKind::kCinnamon:
    case DesktopKind::kMate:
    case DesktopKind::kXfce:
    case DesktopKind::kLxde:
      return bars ? "the desktop keeps its own background colour" : nullptr;
    default:
      return nullptr;
  }
}

// The mode pcmanfm-qt's desktop in this session shows now, "" when unknown.
std::string PcmanfmQtOwnMode(const Tools& tools) {
  const SessionComponent* desktop =
      tools.session() == nullptr ? nullptr : tools.session()->Drawer(DesktopKind::kLxqt);
  if (desktop == nullptr) return "";
  return IniValue(PcmanfmSettings(*desktop, "pcmanfm-qt", "default", "settings.conf"), "[Desktop]",
                  "WallpaperMode");
}

// Where the desktop cannot show the style (WhyCompose), the picture is
// composed for the session's X screen into the desktop's copy and the
// desktop is asked to stretch it (span it, across several monitors), which
// shows it as it is. Returns the look to ask for.
WallpaperLook ComposeWhereNeeded(const Tools& tools, DesktopKind kind, const std::string& path,
                                 const std::string& copy, const WallpaperLook& look) {
  const std::string own_mode = kind == DesktopKind::kLxqt && look.style == WallpaperStyle::kDesktops
                                   ? PcmanfmQtOwnMode(tools)
                                   : "";
  const char* why = WhyCompose(kind, look, own_mode);
  if (why == nullptr || copy.empty()) return look;
  const std::string display = tools.Variable("DISPLAY");
  if (IsWayland(tools.runner()) || display.empty()) {
    tools.Note(std::string(why) + ", but there is no X screen to compose for");
    return look;
  }
  WallpaperLook composed = look;
  if (composed.style == WallpaperStyle::kDesktops) composed.style = WallpaperStyle::kFill;
  std::string monitors;
  const std::string failure = ComposeForScreen(display, path, composed, copy, &monitors);
  if (!failure.empty()) {
    tools.Note(std::string(why) + "; composing failed: " + failure);
    return look;
  }
  // One picture for the whole screen: stretched into the one monitor, or
  // spanned across several (stretch would put all of it on each). LXQt has
  // no span; its desktop draws each screen on its own.
  const bool several = monitors.find(", ") != std::string::npos && kind != DesktopKind::kLxqt;
  tools.Note(std::string("composed here (") + why + "): " + WallpaperStyleName(composed.style) +
             " on " + BackgroundColourText(look.background) + " for monitors " + monitors +
             (several ? ", asked as span" : ", asked as stretch"));
  composed.style = several ? WallpaperStyle::kSpan : WallpaperStyle::kStretch;
  return composed;
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

std::vector<std::string> PosixDesktop::Environment() const {
  return environment_ ? *environment_ : CurrentEnvironment();
}

std::vector<Session> PosixDesktop::Sessions() const {
  return find_sessions_ ? find_sessions_() : FindSessions();
}

std::vector<std::string> PosixDesktop::SessionEnvironment(std::vector<Session>* sessions,
                                                          const Session** chosen,
                                                          std::vector<std::string>* notes) const {
  std::vector<std::string> environment = Environment();
  *sessions = Sessions();
  std::string note;
  *chosen = ChooseSession(*sessions, environment, &note);
  if (!note.empty()) notes->push_back(note);
  if (*chosen != nullptr) environment = WithSession(std::move(environment), **chosen);
  return WithSessionBus(std::move(environment), notes);
}

std::string PosixDesktop::CopyFolder() {
  std::vector<Session> sessions;
  const Session* session = nullptr;
  std::vector<std::string> notes;
  const ProcessRunner tools(SessionEnvironment(&sessions, &session, &notes));
  if (KindOf(tools, session) == DesktopKind::kUnknown) return "";
  return UserDataDirFor(tools.Variable("XDG_DATA_HOME"), tools.Variable("HOME"));
}

WallpaperOutcome PosixDesktop::SetWallpaper(const std::string& bitmap, const std::string& copy,
                                            const WallpaperLook& look) {
  WallpaperOutcome outcome;
  std::vector<std::string>& notes = outcome.notes;
  const std::string path = AbsolutePath(bitmap);
  std::vector<Session> sessions;
  const Session* session = nullptr;
  ProcessRunner runner(SessionEnvironment(&sessions, &session, &notes));
  runner.set_timeout_ms(command_timeout_ms_);
  const SessionFinder find_sessions = [this] { return Sessions(); };
  const Tools tools(runner, session, find_sessions, settle_ms_, &notes);
  const DesktopKind kind = KindOf(runner, session);
  notes.insert(notes.begin(), std::string("desktop: ") + KindName(kind));
  notes.push_back(StyleNote(kind, look));
  // The desktop's setting names its copy when it has one, else Walp.bmp.
  const std::string file = copy.empty() ? path : AbsolutePath(copy);
  const WallpaperLook asked = ComposeWhereNeeded(tools, kind, path, copy.empty() ? "" : file, look);
  const std::string failure = AskDesktop(tools, kind, file, asked);
  if (failure.empty()) {
    outcome.copy_taken = !copy.empty();
    return outcome;
  }
  // The desktop's setting still names an earlier copy: the new one is not
  // taken.
  notes.push_back("not shown by the desktop: " + failure);
  outcome.failure =
      DrawOnRootWindow(runner, path, look, failure, &notes, &outcome.no_session_reached);
  return outcome;
}

std::vector<std::string> PosixDesktop::Describe(const WallpaperLook& look) {
  std::vector<std::string> lines;
  std::vector<Session> sessions;
  const Session* session = nullptr;
  const ProcessRunner runner(SessionEnvironment(&sessions, &session, &lines));
  const DesktopKind kind = KindOf(runner, session);
  lines.insert(lines.begin(), std::string("desktop: ") + KindName(kind));
  if (kind != DesktopKind::kUnknown) {
    const char* reader = SettingReader(kind);
    const bool keyless_drawer =
        std::any_of(sessions.begin(), sessions.end(), [kind, &runner](const Session& s) {
          return s.key.empty() && SharesHome(s, runner.Variable("HOME")) &&
                 s.Drawer(kind) != nullptr;
        });
    if (reader != nullptr && (session == nullptr || session->Drawer(kind) == nullptr) &&
        !keyless_drawer) {
      lines.push_back(std::string("no ") + reader +
                      " runs for this session: a run would set it for the next log-in and draw "
                      "the X11 root window where nothing covers it");
    }
    lines.push_back(StyleNote(kind, look));
    const char* why = WhyCompose(kind, look, "");
    if (why != nullptr && !IsWayland(runner) && !runner.Variable("DISPLAY").empty()) {
      lines.push_back(std::string("composed by this program for the screen (") + why +
                      ") and handed over as stretch");
    }
    return lines;
  }
  const std::string display = runner.Variable("DISPLAY");
  if (IsWayland(runner)) {
    lines.push_back("a Wayland session with no desktop recognised: a run would fail");
  } else if (display.empty()) {
    lines.push_back("no X display: a run would fail");
  } else {
    lines.push_back(StyleNote(kind, look) + ", on the X11 root window of " + display);
    lines.push_back("monitors: " + DescribeRootMonitors(display));
  }
  return lines;
}

Desktop& SystemDesktop() {
  static PosixDesktop desktop;
  return desktop;
}
