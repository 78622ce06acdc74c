#include "platform/desktop/desktop_posix.h"

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

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
  Tools(const ProcessRunner& runner, std::vector<std::string>* notes)
      : runner_(runner), notes_(notes) {}

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
  void Note(const std::string& note) const { notes_->push_back(note); }

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
  std::vector<std::string>* notes_;
};

// GNOME and Cinnamon take a file URI, MATE a plain path. The key is cleared
// first: the desktop keeps showing what it has for an unchanged value, and
// the file behind it is new.
std::string SetThroughGsettings(const Tools& tools, const char* schema, const char* key,
                                const std::string& value) {
  const std::string cleared = tools.Run({"gsettings", "set", schema, key, "''"}).message();
  if (Contains(cleared, ": not found")) return cleared;
  return tools.Run({"gsettings", "set", schema, key, SingleQuoted(value)}).message();
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
    return tools
        .Run({"dbus-send", "--session", "--type=method_call", "--dest=org.kde.plasmashell",
              "/PlasmaShell", "org.kde.PlasmaShell.evaluateScript", "string:" + script})
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
    const std::string set =
        tools.Run({"xfconf-query", "-c", "xfce4-desktop", "-p", property, "-s", path}).message();
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

std::string SetSway(const Tools& tools, const std::string& path, const char* mode,
                    uint32_t background) {
  std::vector<std::string> command = {"swaymsg", "output",         "*",
                                      "bg",      SwayQuoted(path), mode == nullptr ? "fill" : mode};
  if (mode != nullptr) command.push_back(BackgroundColourText(background));
  const std::string failure = tools.Run(command).message();
  if (failure.empty()) return "";
  const std::string started = StartSwaybg(tools, path, mode, background);
  return started.empty() ? "" : failure + "; " + started;
}

// True when a pcmanfm desktop (pcmanfm --desktop) of this user runs for
// `display`: without one, pcmanfm --set-wallpaper waits for ever.
bool PcmanfmDesktopRuns(const std::string& display) {
  const Owned<DIR, closedir> proc(::opendir("/proc"));
  if (!proc) return false;
  while (const dirent* entry = ::readdir(proc.get())) {
    const std::string pid = entry->d_name;
    if (pid.empty() || !std::isdigit(static_cast<unsigned char>(pid[0]))) continue;
    struct stat info;
    if (::stat(("/proc/" + pid).c_str(), &info) != 0 || info.st_uid != ::getuid()) continue;
    std::ifstream cmdline("/proc/" + pid + "/cmdline");
    bool pcmanfm = false;
    bool desktop = false;
    for (std::string arg; std::getline(cmdline, arg, '\0');) {
      const std::string leaf = arg.substr(arg.rfind('/') + 1);
      pcmanfm = pcmanfm || leaf == "pcmanfm";
      desktop = desktop || (pcmanfm && arg.rfind("--desktop", 0) == 0);
    }
    if (!desktop) continue;
    std::ifstream environ("/proc/" + pid + "/environ");
    std::string its_display;
    for (std::string variable; std::getline(environ, variable, '\0');) {
      if (variable.rfind("DISPLAY=", 0) == 0) its_display = variable.substr(8);
    }
    if (its_display.empty() || its_display == display) return true;
  }
  return false;
}

// The wallpaper mode pcmanfm-qt shows now ([Desktop] WallpaperMode of its
// LXQt profile), "" when unknown.
std::string PcmanfmQtMode(const Tools& tools) {
  std::string config = tools.Variable("XDG_CONFIG_HOME");
  if (config.empty() && !tools.Variable("HOME").empty())
    config = tools.Variable("HOME") + "/.config";
  std::ifstream settings(config + "/pcmanfm-qt/lxqt/settings.conf");
  bool in_desktop = false;
  for (std::string line; std::getline(settings, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line[0] == '[') in_desktop = line == "[Desktop]";
    if (in_desktop && line.rfind("WallpaperMode=", 0) == 0) return line.substr(14);
  }
  return "";
}

std::string SetLxqt(const Tools& tools, const std::string& path, const char* mode) {
  std::string chosen = mode != nullptr ? mode : PcmanfmQtMode(tools);
  if (chosen.empty() || chosen == "none") {
    tools.Note("pcmanfm-qt's own mode is " + (chosen.empty() ? std::string("unknown") : chosen) +
               ": asked for zoom");
    chosen = "zoom";
  }
  return tools.Run({"pcmanfm-qt", "--set-wallpaper", path, "--wallpaper-mode", chosen}).message();
}

// The tools resolve a relative name against their own working directory,
// and a file URI must be absolute.
std::string AbsolutePath(std::string path) {
  while (path.compare(0, 2, "./") == 0) path.erase(0, 2);
  if (!IsAbsolutePath(path)) path = GetCurrentDir() + path;
  return path;
}

// sway's user services have SWAYSOCK but no XDG_CURRENT_DESKTOP.
DesktopKind KindOf(const ProcessRunner& tools) {
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

std::string SetLxde(const Tools& tools, const std::string& path, const char* mode) {
  if (!PcmanfmDesktopRuns(tools.Variable("DISPLAY")))
    return "pcmanfm: no pcmanfm desktop runs for this display";
  if (mode == nullptr) return tools.Run({"pcmanfm", "--set-wallpaper", path}).message();
  return tools.Run({"pcmanfm", "--set-wallpaper", path, std::string("--wallpaper-mode=") + mode})
      .message();
}

// Sets `file` as the wallpaper of desktop `kind` in its own words for the
// style; "" when done, else why not.
std::string AskDesktop(const Tools& tools, DesktopKind kind, const std::string& file,
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
// `*no_session` is set when there was no X display to fall back on, or it
// did not answer.
std::string DrawOnRootWindow(const ProcessRunner& runner, const std::string& path,
                             const WallpaperLook& look, const std::string& failure,
                             std::vector<std::string>* notes, bool* no_session) {
  if (IsWayland(runner)) return failure + "; a Wayland session shows no X root window";
  const std::string display = runner.Variable("DISPLAY");
  if (display.empty()) {
    *no_session = true;
    return failure + "; no X display";
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

std::string PosixDesktop::CopyFolder() {
  const ProcessRunner tools(Environment());
  if (KindOf(tools) == DesktopKind::kUnknown) return "";
  return UserDataDirFor(tools.Variable("XDG_DATA_HOME"), tools.Variable("HOME"));
}

WallpaperOutcome PosixDesktop::SetWallpaper(const std::string& bitmap, const std::string& copy,
                                            const WallpaperLook& look) {
  WallpaperOutcome outcome;
  std::vector<std::string>& notes = outcome.notes;
  const std::string path = AbsolutePath(bitmap);
  ProcessRunner runner(WithSessionBus(Environment(), &notes));
  runner.set_timeout_ms(command_timeout_ms_);
  const Tools tools(runner, &notes);
  const DesktopKind kind = KindOf(runner);
  notes.insert(notes.begin(), std::string("desktop: ") + KindName(kind));
  notes.push_back(StyleNote(kind, look));
  // The desktop's setting names its copy when it has one, else Walp.bmp.
  const std::string file = copy.empty() ? path : AbsolutePath(copy);
  const std::string failure = AskDesktop(tools, kind, file, look);
  if (failure.empty()) {
    outcome.copy_taken = !copy.empty();
    return outcome;
  }
  // The desktop's setting still names an earlier copy: the new one is not
  // taken.
  outcome.failure =
      DrawOnRootWindow(runner, path, look, failure, &notes, &outcome.no_session_reached);
  return outcome;
}

std::vector<std::string> PosixDesktop::Describe(const WallpaperLook& look) {
  std::vector<std::string> lines;
  const ProcessRunner runner(WithSessionBus(Environment(), &lines));
  const DesktopKind kind = KindOf(runner);
  lines.insert(lines.begin(), std::string("desktop: ") + KindName(kind));
  if (kind != DesktopKind::kUnknown) {
    lines.push_back(StyleNote(kind, look));
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
