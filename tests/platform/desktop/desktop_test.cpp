#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/desktop/desktop_posix.h"
#include "support/test_support.h"

namespace {

TEST(DetectDesktopTest, NamesFromTheSessionVariables) {
  struct Case {
    const char* current;
    const char* session;
    DesktopKind kind;
  };
  const Case cases[] = {
      {"GNOME", "", DesktopKind::kGnome},        {"ubuntu:GNOME", "ubuntu", DesktopKind::kGnome},
      {"Budgie:GNOME", "", DesktopKind::kGnome}, {"Unity", "", DesktopKind::kGnome},
      {"Pantheon", "", DesktopKind::kGnome},     {"X-Cinnamon", "cinnamon", DesktopKind::kCinnamon},
      {"MATE", "", DesktopKind::kMate},          {"KDE", "plasmawayland", DesktopKind::kKde},
      {"XFCE", "", DesktopKind::kXfce},          {"LXDE", "", DesktopKind::kLxde},
      {"LXQt", "", DesktopKind::kLxqt},          {"sway", "", DesktopKind::kSway},
      {"river", "", DesktopKind::kWlroots},      {"", "plasma", DesktopKind::kKde},
      {"", "xfce", DesktopKind::kXfce},          {"i3", "i3", DesktopKind::kUnknown},
      {"", "", DesktopKind::kUnknown},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.kind, DetectDesktop(c.current, c.session)) << c.current << " / " << c.session;
  }
}

// The composition drawn as text, '#' for the picture's colour and '.' for the
// background, rows joined by '|'. Fit rounds its scaled side to the nearest
// pixel; a monitor partly off the screen is drawn only where the screen is.
TEST(ComposeWallpaperTest, FitRoundsAndMonitorsStopAtTheScreensEdges) {
  const auto composed = [](int width, int height, WallpaperStyle style, int screen_width,
                           int screen_height, const std::vector<PixelRect>& monitors) {
    const Pixels picture{width, height, std::vector<uint32_t>(width * height, 0xFFFFFF)};
    Pixels canvas{screen_width, screen_height,
                  std::vector<uint32_t>(screen_width * screen_height, 0)};
    ComposeWallpaper(picture, {style, 0x336699}, monitors, &canvas);
    std::string text;
    for (size_t i = 0; i < canvas.data.size(); ++i) {
      text += canvas.data[i] == 0xFFFFFF ? '#' : canvas.data[i] == 0x336699 ? '.' : '?';
      if ((i + 1) % screen_width == 0) text += '|';
    }
    return text;
  };
  // 4 x 2.67 and 2.67 x 4 pixels.
  EXPECT_EQ("####|####|####|....|", composed(3, 2, WallpaperStyle::kFit, 4, 4, {}));
  EXPECT_EQ("###.|###.|###.|###.|", composed(2, 3, WallpaperStyle::kFit, 4, 4, {}));
  // Off the right, the left and the bottom edge.
  EXPECT_EQ("...##|..#..|###..|", composed(2, 2, WallpaperStyle::kStretch, 5, 3,
                                           {{3, 0, 4, 1}, {-2, 2, 4, 1}, {2, 1, 1, 4}}));
}

// A directory of stand-ins for the desktops' tools: each records its name
// and arguments (one <...> each) as a line of calls.log, may print a text,
// and ends with the given status.
class DesktopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(0, ::mkdir(bin_.c_str(), 0755));
    ASSERT_EQ(0, ::mkdir(pictures_.c_str(), 0755));
  }
  void TearDown() override {
    if (pcmanfm_desktop_ > 0) {
      ::kill(pcmanfm_desktop_, SIGKILL);
      ::waitpid(pcmanfm_desktop_, nullptr, 0);
    }
  }

  // A process that looks like "pcmanfm --desktop" on the display
  // Display(), until the test ends.
  void StartPcmanfmDesktop() {
    const std::string display = "DISPLAY=" + Display();
    std::vector<std::string> args = {"pcmanfm", "-c", "read line", "--desktop"};
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    char* env[] = {const_cast<char*>(display.c_str()), nullptr};
    ASSERT_EQ(0, ::pipe(keep_open_));
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, keep_open_[0], STDIN_FILENO);
    ASSERT_EQ(0, posix_spawn(&pcmanfm_desktop_, "/bin/sh", &actions, nullptr, argv.data(), env));
    posix_spawn_file_actions_destroy(&actions);
    // posix_spawn may return before the program runs.
    const std::string cmdline = "/proc/" + std::to_string(pcmanfm_desktop_) + "/cmdline";
    for (int i = 0; i < 500 && ReadFileBytes(cmdline).find("--desktop") == std::string::npos; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  // A display name no other test uses.
  std::string Display() const { return ":pcmanfm-test-" + std::to_string(::getpid()); }

  void StandIn(const std::string& name, int status = 0, const std::string& script = "") {
    const std::string file = bin_ + "/" + name;
    std::ofstream(file) << "#!/bin/sh\n"
                        << "{ printf '%s' \"${0##*/}\"; for a in \"$@\"; do printf ' <%s>' \"$a\"; "
                           "done; printf '\\n'; } >> '"
                        << Log() << "'\n"
                        << script << "\nexit " << status << "\n";
    ASSERT_EQ(0, ::chmod(file.c_str(), 0755));
  }

  std::string Set(const std::string& current_desktop, std::vector<std::string> extra = {}) {
    extra.push_back("PATH=" + bin_);
    extra.push_back("XDG_CURRENT_DESKTOP=" + current_desktop);
    PosixDesktop desktop(extra);
    desktop.set_command_timeout_ms(timeout_ms_);
    return desktop.SetWallpaper(Bitmap(), "", look_).failure;
  }

  std::string Log() const { return dir_.Join("calls.log"); }
  std::string Calls() const { return ReadFileBytes(Log()); }
  std::string Bitmap() const { return pictures_ + "/Walp.bmp"; }
  std::string Uri() const { return "file://" + dir_.path() + "my%20pics/Walp.bmp"; }

  ScopedTempDir dir_;
  const std::string bin_ = dir_.Join("bin");
  const std::string pictures_ = dir_.Join("my pics");
  int timeout_ms_ = 10000;
  WallpaperLook look_;
  pid_t pcmanfm_desktop_ = -1;
  int keep_open_[2] = {-1, -1};
};

TEST_F(DesktopTest, GsettingsDesktopsClearThenSetTheirKeys) {
  StandIn("gsettings");
  EXPECT_EQ("", Set("GNOME"));
  const std::string schema = "gsettings <set> <org.gnome.desktop.background> ";
  EXPECT_EQ(schema + "<picture-uri> <''>\n" + schema + "<picture-uri> <'" + Uri() + "'>\n" +
                schema + "<picture-uri-dark> <''>\n" + schema + "<picture-uri-dark> <'" + Uri() +
                "'>\n",
            Calls());

  std::remove(Log().c_str());
  EXPECT_EQ("", Set("X-Cinnamon"));
  EXPECT_EQ(
      "gsettings <set> <org.cinnamon.desktop.background> <picture-uri> <''>\n"
      "gsettings <set> <org.cinnamon.desktop.background> <picture-uri> <'" +
          Uri() + "'>\n",
      Calls());

  std::remove(Log().c_str());
  EXPECT_EQ("", Set("MATE"));
  EXPECT_EQ(
      "gsettings <set> <org.mate.background> <picture-filename> <''>\n"
      "gsettings <set> <org.mate.background> <picture-filename> <'" +
          Bitmap() + "'>\n",
      Calls());

  // A quote in the path stays inside the GVariant string.
  std::remove(Log().c_str());
  PosixDesktop desktop({"PATH=" + bin_, "XDG_CURRENT_DESKTOP=MATE"});
  EXPECT_EQ("", desktop.SetWallpaper("/pics/it's/Walp.bmp", "", {}).failure);
  EXPECT_NE(std::string::npos, Calls().find("<'/pics/it\\'s/Walp.bmp'>"));
}

TEST_F(DesktopTest, KdeUsesItsToolElseScriptsPlasmaOverDbus) {
  StandIn("plasma-apply-wallpaperimage");
  EXPECT_EQ("", Set("KDE"));
  EXPECT_EQ("plasma-apply-wallpaperimage <" + Bitmap() + ">\n", Calls());

  // With qdbus the image is cleared first, so that Plasma reads the file again.
  StandIn("qdbus");
  std::remove(Log().c_str());
  EXPECT_EQ("", Set("KDE"));
  const std::string prefix =
      "qdbus <org.kde.plasmashell> </PlasmaShell> "
      "<org.kde.PlasmaShell.evaluateScript> <var all = desktops();";
  std::string calls = Calls();
  ASSERT_EQ(0u, calls.find(prefix)) << calls;
  EXPECT_NE(std::string::npos, calls.find("d.writeConfig('Image', ''); }>\n"));
  EXPECT_NE(std::string::npos, calls.find("\nplasma-apply-wallpaperimage <" + Bitmap() + ">\n"));

  // The tool failing: the script sets the image itself.
  StandIn("plasma-apply-wallpaperimage", 1);
  std::remove(Log().c_str());
  EXPECT_EQ("", Set("KDE"));
  calls = Calls();
  EXPECT_EQ(3, std::count(calls.begin(), calls.end(), '\n')) << calls;
  EXPECT_NE(std::string::npos,
            calls.find("d.wallpaperPlugin = 'org.kde.image'; d.currentConfigGroup = "
                       "Array('Wallpaper', 'org.kde.image', 'General'); d.writeConfig('Image', '" +
                       Uri() + "'); }>\n"))
      << calls;

  // dbus-send where qdbus is missing.
  std::remove((bin_ + "/qdbus").c_str());
  std::remove((bin_ + "/plasma-apply-wallpaperimage").c_str());
  StandIn("dbus-send");
  std::remove(Log().c_str());
  EXPECT_EQ("", Set("KDE"));
  calls = Calls();
  EXPECT_EQ(0u, calls.find("dbus-send <--session> <--type=method_call> "
                           "<--dest=org.kde.plasmashell> </PlasmaShell> "
                           "<org.kde.PlasmaShell.evaluateScript> <string:var all = desktops();"))
      << calls;
  EXPECT_NE(std::string::npos, calls.find("d.writeConfig('Image', '" + Uri() + "'); }>\n"));
}

TEST_F(DesktopTest, XfceSetsEveryBackdropImageProperty) {
  StandIn(
      "xfconf-query", 0,
      "case \"$*\" in *' -l') printf '%s\\n' /backdrop/screen0/monitor0/workspace0/color-style "
      "/backdrop/screen0/monitor0/workspace0/last-image /backdrop/screen0/monitorHDMI-1/image-path "
      "/desktop-icons/style;; esac");
  EXPECT_EQ("", Set("XFCE"));
  const std::string query = "xfconf-query <-c> <xfce4-desktop> ";
  EXPECT_EQ(query + "<-l>\n" + query +
                "<-p> </backdrop/screen0/monitor0/workspace0/last-image> <-s> <>\n" + query +
                "<-p> </backdrop/screen0/monitor0/workspace0/last-image> <-s> <" + Bitmap() +
                ">\n" + query + "<-p> </backdrop/screen0/monitorHDMI-1/image-path> <-s> <>\n" +
                query + "<-p> </backdrop/screen0/monitorHDMI-1/image-path> <-s> <" + Bitmap() +
                ">\n",
            Calls());

  // No backdrop yet: nothing to set, and said so.
  StandIn("xfconf-query");
  EXPECT_EQ("xfconf-query: no backdrop image properties; no X display", Set("XFCE"));
}

TEST_F(DesktopTest, PcmanfmAndSway) {
  StandIn("pcmanfm");
  StandIn("pcmanfm-qt");
  // No pcmanfm desktop for the display: pcmanfm would wait for ever.
  EXPECT_EQ("pcmanfm: no pcmanfm desktop runs for this display; no X display", Set("LXDE"));
  StartPcmanfmDesktop();
  EXPECT_EQ("", Set("LXDE", {"DISPLAY=" + Display()}));
  // pcmanfm-qt always gets a mode: its own, unless that shows nothing.
  EXPECT_EQ("", Set("LXQt", {"XDG_CONFIG_HOME=" + dir_.path()}));
  ASSERT_EQ(0, ::mkdir(dir_.Join("pcmanfm-qt").c_str(), 0755));
  ASSERT_EQ(0, ::mkdir(dir_.Join("pcmanfm-qt/lxqt").c_str(), 0755));
  WriteFileBytes(dir_.Join("pcmanfm-qt/lxqt/settings.conf"), "[Desktop]\nWallpaperMode=fit\n");
  EXPECT_EQ("", Set("LXQt", {"XDG_CONFIG_HOME=" + dir_.path()}));
  WriteFileBytes(dir_.Join("pcmanfm-qt/lxqt/settings.conf"), "[Desktop]\nWallpaperMode=none\n");
  EXPECT_EQ("", Set("LXQt", {"XDG_CONFIG_HOME=" + dir_.path()}));
  const std::string qt = "pcmanfm-qt <--set-wallpaper> <" + Bitmap() + "> <--wallpaper-mode> ";
  EXPECT_EQ("pcmanfm <--set-wallpaper> <" + Bitmap() + ">\n" + qt + "<zoom>\n" + qt + "<fit>\n" +
                qt + "<zoom>\n",
            Calls());

  // sway, also known by SWAYSOCK alone (its user services).
  StandIn("swaymsg");
  std::remove(Log().c_str());
  EXPECT_EQ("", Set("sway"));
  EXPECT_EQ("", Set("", {"SWAYSOCK=/run/user/1/sway-ipc.sock"}));
  const std::string swaymsg = "swaymsg <output> <*> <bg> <\"" + Bitmap() + "\"> <fill>\n";
  EXPECT_EQ(swaymsg + swaymsg, Calls());
  // An unknown Wayland compositor: Xwayland's root window would be seen by nobody.
  EXPECT_EQ("no desktop recognised; a Wayland session shows no X root window",
            Set("", {"WAYLAND_DISPLAY=wayland-1", "DISPLAY=:0"}));
}

// swaymsg failing, swaybg shows the picture. The one shown before is ended
// only after the new one is seen running; one that ends at once (no
// compositor to reach) is a failure and leaves the earlier one alone.
TEST_F(DesktopTest, ANewSwaybgMustRunBeforeTheOldOneIsEnded) {
  StandIn("swaymsg", 1);
  const std::vector<std::string> runtime = {"XDG_RUNTIME_DIR=" + dir_.path()};
  const std::string id_file = dir_.Join("wallpaper-fetcher-swaybg.pid");
  const auto shown_by = [&] { return std::atol(ReadFileBytes(id_file).c_str()); };
  const auto alive = [](long pid) { return pid > 0 && ::kill(static_cast<pid_t>(pid), 0) == 0; };

  StandIn("swaybg", 0, "/bin/sleep 30");
  EXPECT_EQ("", Set("sway", runtime));
  const long first = shown_by();
  ASSERT_TRUE(alive(first));
  EXPECT_NE(std::string::npos,
            Calls().find("swaybg <-i> <" + Bitmap() + "> <-m> <fill> <-c> <#000000>\n"))
      << Calls();

  StandIn("swaybg", 0, "exit 1");
  EXPECT_EQ("swaymsg: exit status 1; swaybg: ended at once; no X display", Set("sway", runtime));
  EXPECT_EQ(first, shown_by());
  EXPECT_TRUE(alive(first));

  StandIn("swaybg", 0, "/bin/sleep 30");
  EXPECT_EQ("", Set("sway", runtime));
  const long second = shown_by();
  EXPECT_NE(first, second);
  EXPECT_TRUE(alive(second));
  for (int i = 0; i < 500 && alive(first); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_FALSE(alive(first));
  ::kill(static_cast<pid_t>(second), SIGKILL);
}

// Each style in each desktop's own words; where it has none, the closest.
TEST_F(DesktopTest, EachDesktopIsToldTheStyleInItsOwnWords) {
  for (const char* tool :
       {"gsettings", "pcmanfm", "pcmanfm-qt", "swaymsg", "qdbus", "plasma-apply-wallpaperimage"}) {
    StandIn(tool);
  }
  StandIn("xfconf-query", 0,
          "case \"$*\" in *' -l') echo /backdrop/screen0/monitor0/workspace0/last-image;; esac");
  StartPcmanfmDesktop();
  struct Words {
    WallpaperStyle style;
    const char *gnome, *xfce, *lxde, *lxqt, *kde, *sway;
  };
  const Words table[] = {
      {WallpaperStyle::kFill, "zoom", "5", "crop", "zoom", "2", "fill"},
      {WallpaperStyle::kFit, "scaled", "4", "fit", "fit", "1", "fit"},
      {WallpaperStyle::kStretch, "stretched", "3", "stretch", "stretch", "0", "stretch"},
      {WallpaperStyle::kCenter, "centered", "1", "center", "center", "6", "center"},
      {WallpaperStyle::kTile, "wallpaper", "2", "tile", "tile", "3", "tile"},
      {WallpaperStyle::kSpan, "spanned", "6", "screen", "zoom", "2", "fill"},
  };
  look_.background = 0x336699;
  for (const Words& w : table) {
    SCOPED_TRACE(WallpaperStyleName(w.style));
    look_.style = w.style;
    std::remove(Log().c_str());
    for (const char* desktop : {"GNOME", "X-Cinnamon", "MATE", "XFCE", "LXQt", "KDE", "sway"})
      EXPECT_EQ("", Set(desktop));
    EXPECT_EQ("", Set("LXDE", {"DISPLAY=" + Display()}));
    const std::string calls = Calls();
    for (const char* schema : {"org.gnome.desktop.background", "org.cinnamon.desktop.background",
                               "org.mate.background"}) {
      EXPECT_NE(std::string::npos, calls.find(std::string("gsettings <set> <") + schema +
                                              "> <picture-options> <" + w.gnome + ">\n"))
          << calls;
    }
    EXPECT_NE(
        std::string::npos,
        calls.find("xfconf-query <-c> <xfce4-desktop> <-p> "
                   "</backdrop/screen0/monitor0/workspace0/image-style> <-n> <-t> <int> <-s> <" +
                   std::string(w.xfce) + ">\n"));
    EXPECT_NE(std::string::npos, calls.find("pcmanfm <--set-wallpaper> <" + Bitmap() +
                                            "> <--wallpaper-mode=" + w.lxde + ">\n"));
    EXPECT_NE(std::string::npos, calls.find("pcmanfm-qt <--set-wallpaper> <" + Bitmap() +
                                            "> <--wallpaper-mode> <" + w.lxqt + ">\n"));
    EXPECT_NE(std::string::npos,
              calls.find("d.writeConfig('FillMode', " + std::string(w.kde) + "); "));
    EXPECT_NE(std::string::npos, calls.find("swaymsg <output> <*> <bg> <\"" + Bitmap() + "\"> <" +
                                            w.sway + "> <#336699>\n"));
  }
  // What --check says: the desktop, and the closest word where there is none.
  PosixDesktop kde({"PATH=" + bin_, "XDG_CURRENT_DESKTOP=KDE"});
  EXPECT_EQ((std::vector<std::string>{"desktop: KDE Plasma",
                                      "style: span, asked as FillMode 2 (the closest: KDE Plasma "
                                      "has no span)"}),
            kde.Describe(look_));
}

// A run from cron names no session bus: the user's own is used when it
// exists, so that the running desktop hears of the change.
TEST_F(DesktopTest, WithoutASessionBusAddressTheUsersBusIsUsed) {
  StandIn("gsettings", 0, "echo \"bus=$DBUS_SESSION_BUS_ADDRESS\" >> '" + Log() + "'");
  const std::string bus = dir_.Join("bus");
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  ASSERT_LT(bus.size(), sizeof address.sun_path);
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", bus.c_str());
  ASSERT_EQ(0, ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address));
  EXPECT_EQ("", Set("GNOME", {"XDG_RUNTIME_DIR=" + dir_.path()}));
  EXPECT_NE(std::string::npos, Calls().find("bus=unix:path=" + bus + "\n")) << Calls();
  std::remove(Log().c_str());
  EXPECT_EQ("", Set("GNOME", {"XDG_RUNTIME_DIR=" + dir_.path(),
                              "DBUS_SESSION_BUS_ADDRESS=unix:path=/elsewhere"}));
  EXPECT_NE(std::string::npos, Calls().find("bus=unix:path=/elsewhere\n")) << Calls();
  ::close(fd);
}

TEST_F(DesktopTest, FileDesktopsWantACopyInTheUsersDataDirectoryAndTheirToolsGetIt) {
  const auto copy_folder = [this](const std::string& current_desktop, const std::string& home) {
    return PosixDesktop({"PATH=" + bin_, "XDG_CURRENT_DESKTOP=" + current_desktop, home})
        .CopyFolder();
  };
  EXPECT_EQ(dir_.Join("data/wallpaper-fetcher/"),
            copy_folder("LXDE", "XDG_DATA_HOME=" + dir_.Join("data")));
  EXPECT_EQ("/home/u/.local/share/wallpaper-fetcher/", copy_folder("GNOME", "HOME=/home/u"));
  // No desktop recognised: the X root window draws the picture once.
  EXPECT_EQ("", copy_folder("i3", "HOME=/home/u"));

  const std::string copy = dir_.Join("data/wallpaper-fetcher/wallpaper-1.bmp");
  StandIn("pcmanfm");
  StartPcmanfmDesktop();
  PosixDesktop lxde({"PATH=" + bin_, "XDG_CURRENT_DESKTOP=LXDE", "DISPLAY=" + Display()});
  EXPECT_TRUE(lxde.SetWallpaper(Bitmap(), copy, {}).copy_taken);
  EXPECT_EQ("pcmanfm <--set-wallpaper> <" + copy + ">\n", Calls());
  // A desktop that refuses it keeps the earlier one.
  StandIn("pcmanfm", 1);
  EXPECT_FALSE(lxde.SetWallpaper(Bitmap(), copy, {}).copy_taken);
}

TEST_F(DesktopTest, ToolsGetAnAbsolutePathAndFailuresAreDescribed) {
  StandIn("pcmanfm");
  StartPcmanfmDesktop();
  PosixDesktop desktop({"PATH=" + bin_, "XDG_CURRENT_DESKTOP=LXDE", "DISPLAY=" + Display()});
  char cwd[4096];
  ASSERT_NE(nullptr, ::getcwd(cwd, sizeof cwd));
  // A bitmap beside a program started as ./wallpaper-fetcher, and one
  // started by its bare name.
  EXPECT_EQ("", desktop.SetWallpaper("./Walp.bmp", "", {}).failure);
  EXPECT_EQ("", desktop.SetWallpaper("pics/Walp.bmp", "", {}).failure);
  const std::string dir = std::string(cwd) == "/" ? "" : cwd;
  EXPECT_EQ("pcmanfm <--set-wallpaper> <" + dir +
                "/Walp.bmp>\n"
                "pcmanfm <--set-wallpaper> <" +
                dir + "/pics/Walp.bmp>\n",
            Calls());

  EXPECT_EQ("gsettings: not found; no X display", Set("GNOME"));
  EXPECT_EQ("no desktop recognised; no X display", Set("i3"));
  EXPECT_EQ("plasma-apply-wallpaperimage: not found; no D-Bus tool found; no X display",
            Set("KDE"));
  StandIn("gsettings", 1);
  EXPECT_EQ("gsettings: exit status 1; no X display", Set("GNOME"));
  // A tool out of time.
  StandIn("pcmanfm-qt", 0, "exec /bin/sleep 60");
  timeout_ms_ = 300;
  EXPECT_EQ("pcmanfm-qt: killed after 300 ms; no X display", Set("LXQt"));
  // What the run's record is told: the desktop, each tool and its result.
  const WallpaperOutcome outcome =
      PosixDesktop({"PATH=" + bin_, "XDG_CURRENT_DESKTOP=GNOME", "XDG_RUNTIME_DIR=/nonexistent"})
          .SetWallpaper(Bitmap(), "", {});
  ASSERT_EQ(4u, outcome.notes.size());
  EXPECT_EQ("desktop: GNOME", outcome.notes[0]);
  EXPECT_EQ("style: the desktop's own (WallpaperStyle not set)", outcome.notes[1]);
  EXPECT_EQ("gsettings set org.gnome.desktop.background picture-uri '': exit status 1",
            outcome.notes[2]);
  EXPECT_EQ(0u, outcome.notes[3].find("gsettings set org.gnome.desktop.background picture-uri "
                                      "'file://"));
}

}  // namespace
