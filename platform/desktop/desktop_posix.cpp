#include "platform/desktop/desktop_posix.h"

#include <signal.h>

#include <cctype>
#include <fstream>
#include <sstream>

#include "platform/desktop/x11_root_posix.h"
#include "platform/filesystem/filesystem.h"
#include "platform/filesystem/user_files_posix.h"
#include "platform/process/process_runner_posix.h"

namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

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

// GNOME and Cinnamon take a file URI, MATE a plain path. The key is cleared
// first: the desktop keeps showing what it has for an unchanged value, and
// the file behind it is new.
std::string SetThroughGsettings(const ProcessRunner& tools, const char* schema, const char* key,
                                const std::string& value) {
  const std::string cleared = tools.Run({"gsettings", "set", schema, key, "''"}).message();
  if (Contains(cleared, ": not found")) return cleared;
  return tools.Run({"gsettings", "set", schema, key, SingleQuoted(value)}).message();
}

std::string SetGnome(const ProcessRunner& tools, const std::string& path) {
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

std::string EvaluatePlasmaScript(const ProcessRunner& tools, const std::string& tool,
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
std::string SetKde(const ProcessRunner& tools, const std::string& path) {
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
    failure = tools.Run({"plasma-apply-wallpaperimage", path}).message();
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
std::string SetXfce(const ProcessRunner& tools, const std::string& path) {
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

// swaybg keeps running to show the picture. The one started last time is
// ended once the new one runs; its id is kept in the user's runtime
// directory.
std::string StartSwaybg(const ProcessRunner& tools, const std::string& path) {
  const pid_t pid = tools.StartDetached({"swaybg", "-i", path, "-m", "fill"});
  if (pid <= 0) return tools.Find("swaybg").empty() ? "swaybg: not found" : "swaybg: cannot start";
  const std::string runtime_dir = tools.Variable("XDG_RUNTIME_DIR");
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

std::string SetSway(const ProcessRunner& tools, const std::string& path) {
  const std::string failure =
      tools.Run({"swaymsg", "output", "*", "bg", SwayQuoted(path), "fill"}).message();
  if (failure.empty()) return "";
  const std::string started = StartSwaybg(tools, path);
  return started.empty() ? "" : failure + "; " + started;
}

// The tools resolve a relative name against their own working directory,
// and a file URI must be absolute.
std::string AbsolutePath(std::string path) {
  while (path.compare(0, 2, "./") == 0) path.erase(0, 2);
  if (!IsAbsolutePath(path)) path = GetCurrentDir() + path;
  return path;
}

DesktopKind KindOf(const ProcessRunner& tools) {
  return DetectDesktop(tools.Variable("XDG_CURRENT_DESKTOP"), tools.Variable("DESKTOP_SESSION"));
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

WallpaperOutcome PosixDesktop::SetWallpaper(const std::string& bitmap, const std::string& copy) {
  const std::string path = AbsolutePath(bitmap);
  ProcessRunner tools(Environment());
  tools.set_timeout_ms(command_timeout_ms_);
  const DesktopKind kind = KindOf(tools);
  // The desktop's setting names its copy when it has one, else Walp.bmp.
  const std::string file = copy.empty() ? path : AbsolutePath(copy);
  std::string failure;
  switch (kind) {
    case DesktopKind::kGnome:
      failure = SetGnome(tools, file);
      break;
    case DesktopKind::kCinnamon:
      failure = SetThroughGsettings(tools, "org.cinnamon.desktop.background", "picture-uri",
                                    FileUri(file));
      break;
    case DesktopKind::kMate:
      failure = SetThroughGsettings(tools, "org.mate.background", "picture-filename", file);
      break;
    case DesktopKind::kKde:
      failure = SetKde(tools, file);
      break;
    case DesktopKind::kXfce:
      failure = SetXfce(tools, file);
      break;
    case DesktopKind::kLxde:
      failure = tools.Run({"pcmanfm", "--set-wallpaper", file}).message();
      break;
    case DesktopKind::kLxqt:
      failure = tools.Run({"pcmanfm-qt", "--set-wallpaper", file}).message();
      break;
    case DesktopKind::kSway:
      failure = SetSway(tools, file);
      break;
    case DesktopKind::kWlroots:
      failure = StartSwaybg(tools, file);
      break;
    case DesktopKind::kUnknown:
      failure = "no desktop recognised";
      break;
  }
  if (failure.empty()) return {"", !copy.empty()};
  // Any X server shows a root window background, whoever else draws. The
  // desktop's setting still names an earlier copy: the new one is not taken.
  const std::string display = tools.Variable("DISPLAY");
  if (display.empty()) return {failure + "; no X display", false};
  const std::string root = SetRootWindowBackground(display, path);
  return {root.empty() ? "" : failure + "; X11 root window: " + root, false};
}

Desktop& SystemDesktop() {
  static PosixDesktop desktop;
  return desktop;
}
