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
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/desktop/desktop_posix.h"
#include "platform/desktop/session_posix.h"
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
// and ends with the given status. Desktop programs are stood in for by
// processes that carry their names, arguments and session variables; the
// desktop looks only at the sessions of those.
class DesktopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(0, ::mkdir(bin_.c_str(), 0755));
    ASSERT_EQ(0, ::mkdir(pictures_.c_str(), 0755));
    ASSERT_EQ(0, ::pipe(keep_open_));
  }
  void TearDown() override {
    StopComponents();
    StopStartedSwaybgs();
    ::close(keep_open_[0]);
    ::close(keep_open_[1]);
  }
  // The swaybg programs the stand-in swaymsg started.
  std::vector<long> StartedSwaybgs() const {
    std::istringstream started(ReadFileBytes(dir_.Join("swaybg.pids")));
    std::vector<long> pids;
    for (long pid; started >> pid;) pids.push_back(pid);
    return pids;
  }
  void StopStartedSwaybgs() {
    for (long pid : StartedSwaybgs()) ::kill(static_cast<pid_t>(pid), SIGKILL);
    std::remove(dir_.Join("swaybg.pids").c_str());
  }

  // A process that looks like the desktop program `name` run with `args`
  // in an environment of `variables` (DISPLAY=Display(name) unless they
  // name a display or `with_display` is false), until it is stopped.
  // Returns its process id.
  pid_t StartComponent(const std::string& name, const std::vector<std::string>& args = {},
                       std::vector<std::string> variables = {}, bool with_display = true) {
    if (with_display && std::none_of(variables.begin(), variables.end(), [](const std::string& v) {
          return v.rfind("DISPLAY=", 0) == 0 || v.rfind("SWAYSOCK=", 0) == 0;
        })) {
      variables.push_back("DISPLAY=" + Display(name));
    }
    std::vector<std::string> argv_text = {name, "-c", "read line"};
    argv_text.insert(argv_text.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : argv_text) argv.push_back(arg.data());
    argv.push_back(nullptr);
    std::vector<char*> env;
    for (std::string& variable : variables) env.push_back(variable.data());
    env.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, keep_open_[0], STDIN_FILENO);
    pid_t pid = -1;
    EXPECT_EQ(0, posix_spawn(&pid, "/bin/sh", &actions, nullptr, argv.data(), env.data()));
    posix_spawn_file_actions_destroy(&actions);
    if (pid <= 0) return -1;
    components_.push_back(pid);
    // posix_spawn may return before the program runs.
    const std::string cmdline = "/proc/" + std::to_string(pid) + "/cmdline";
    for (int i = 0; i < 500 && ReadFileBytes(cmdline).find("read line") == std::string::npos; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return pid;
  }
  void StopComponents() {
    for (pid_t pid : components_) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
    }
    components_.clear();
  }
  // A display name no other test uses.
  std::string Display(const std::string& name = "pcmanfm") const {
    return ":" + name + "-test-" + std::to_string(::getpid());
  }
  // The sessions of the programs this test started, as the desktop finds them.
  std::vector<Session> OwnSessions() const {
    std::vector<Session> sessions = FindSessions();
    const std::vector<long> swaybgs = StartedSwaybgs();
    for (Session& session : sessions) {
      auto& components = session.components;
      components.erase(std::remove_if(components.begin(), components.end(),
                                      [this, &swaybgs](const SessionComponent& c) {
                                        return std::find(components_.begin(), components_.end(),
                                                         c.pid) == components_.end() &&
                                               std::find(swaybgs.begin(), swaybgs.end(), c.pid) ==
                                                   swaybgs.end();
                                      }),
                       components.end());
    }
    sessions.erase(std::remove_if(sessions.begin(), sessions.end(),
                                  [](const Session& s) { return s.components.empty(); }),
                   sessions.end());
    return sessions;
  }
  PosixDesktop Desktop(const std::vector<std::string>& environment) {
    PosixDesktop desktop(environment);
    desktop.set_command_timeout_ms(timeout_ms_);
    // The stand-ins save at once: a moment is plenty.
    desktop.set_settle_ms(500);
    desktop.set_session_finder([this] { return OwnSessions(); });
    return desktop;
  }

  void StandIn(const std::string& name, int status = 0, const std::string& script = "") {
    const std::string file = bin_ + "/" + name;
    std::ofstream(file) << "#!/bin/sh\n"
                        << "{ printf '%s' \"${0##*/}\"; for a in \"$@\"; do printf ' <%s>' \"$a\"; "
                           "done; printf '\\n'; } >> '"
                        << Log() << "'\n"
                        << script << "\nexit " << status << "\n";
    ASSERT_EQ(0, ::chmod(file.c_str(), 0755));
  }
  // gsettings keeping what it is set in files, as dconf does; with
  // `reachable` false it sets nothing and still ends with 0, as gsettings
  // does when dconf cannot be reached.
  void GsettingsStandIn(bool reachable = true) {
    const std::string store = dir_.Join("dconf.");
    StandIn("gsettings", 0,
            "case \"$1\" in set) " +
                std::string(reachable ? "printf '%s' \"$4\" > '" + store + "'\"$2.$3\"" : ":") +
                ";; get) /bin/cat '" + store +
                "'\"$2.$3\" 2>/dev/null || printf \"''\"; echo;; esac");
  }
  // pcmanfm or pcmanfm-qt saving the picture it was given in `settings`.
  void PcmanfmStandIn(const std::string& name, const std::string& settings,
                      const std::string& line) {
    StandIn(name, 0,
            "/bin/mkdir -p \"$(/usr/bin/dirname '" + settings + "')\"; printf '" + line +
                "\\n' \"$2\" > '" + settings + "'");
  }

  std::string Set(const std::string& current_desktop, std::vector<std::string> extra = {}) {
    extra.push_back("PATH=" + bin_);
    extra.push_back("XDG_CURRENT_DESKTOP=" + current_desktop);
    return Desktop(extra).SetWallpaper(Bitmap(), "", look_).failure;
  }

  std::string Log() const { return dir_.Join("calls.log"); }
  std::string Calls() const { return ReadFileBytes(Log()); }
  // The calls that changed something: without gsettings' and xfconf's reads.
  std::string Writes() const {
    std::istringstream lines(Calls());
    std::string writes;
    for (std::string line; std::getline(lines, line);) {
      const bool xfconf_read = line.rfind("xfconf-query", 0) == 0 &&
                               line.find("<-s>") == std::string::npos &&
                               line.find("<-l>") == std::string::npos;
      if (line.rfind("gsettings <get>", 0) != 0 && !xfconf_read) writes += line + "\n";
    }
    return writes;
  }
  std::string Bitmap() const { return pictures_ + "/Walp.bmp"; }
  std::string Uri() const { return "file://" + dir_.path() + "my%20pics/Walp.bmp"; }

  ScopedTempDir dir_;
  const std::string bin_ = dir_.Join("bin");
  const std::string pictures_ = dir_.Join("my pics");
  int timeout_ms_ = 10000;
  WallpaperLook look_;
  std::vector<pid_t> components_;
  int keep_open_[2] = {-1, -1};
};

TEST_F(DesktopTest, GsettingsDesktopsClearSetAndReadBackTheirKeys) {
  GsettingsStandIn();
  StartComponent("gnome-shell");
  StartComponent("cinnamon");
  StartComponent("caja", {"-n"});
  EXPECT_EQ("", Set("GNOME", {"DISPLAY=" + Display("gnome-shell")}));
  const std::string schema = "gsettings <set> <org.gnome.desktop.background> ";
  EXPECT_EQ(schema + "<picture-uri> <''>\n" + schema + "<picture-uri> <'" + Uri() + "'>\n" +
                schema + "<picture-uri-dark> <''>\n" + schema + "<picture-uri-dark> <'" + Uri() +
                "'>\n",
            Writes());
  EXPECT_NE(std::string::npos,
            Calls().find("gsettings <get> <org.gnome.desktop.background> <picture-uri>\n"));

  std::remove(Log().c_str());
  EXPECT_EQ("", Set("X-Cinnamon", {"DISPLAY=" + Display("cinnamon")}));
  EXPECT_EQ(
      "gsettings <set> <org.cinnamon.desktop.background> <picture-uri> <''>\n"
      "gsettings <set> <org.cinnamon.desktop.background> <picture-uri> <'" +
          Uri() + "'>\n",
      Writes());

  std::remove(Log().c_str());
  EXPECT_EQ("", Set("MATE", {"DISPLAY=" + Display("caja")}));
  EXPECT_EQ(
      "gsettings <set> <org.mate.background> <picture-filename> <''>\n"
      "gsettings <set> <org.mate.background> <picture-filename> <'" +
          Bitmap() + "'>\n",
      Writes());

  // A quote in the path stays inside the GVariant string.
  std::remove(Log().c_str());
  EXPECT_EQ("", Desktop({"PATH=" + bin_, "XDG_CURRENT_DESKTOP=MATE", "DISPLAY=" + Display("caja")})
                    .SetWallpaper("/pics/it's/Walp.bmp", "", {})
                    .failure);
  EXPECT_NE(std::string::npos, Calls().find("<'/pics/it\\'s/Walp.bmp'>"));

  // dconf out of reach: gsettings says nothing and ends with 0, the key
  // reads as before.
  GsettingsStandIn(/*reachable=*/false);
  const std::string display = "DISPLAY=" + Display("caja");
  EXPECT_EQ(
      "gsettings: picture-filename reads '/pics/it\\'s/Walp.bmp' after it was set (no dconf "
      "reached through the session bus); X11 root window: cannot open X display " +
          Display("caja"),
      Set("MATE", {display}));
  // The desktop named, but nothing of it draws: set for the next log-in.
  GsettingsStandIn();
  StopComponents();
  EXPECT_EQ("set, but no gnome-shell runs for this session; no X display", Set("GNOME"));
  // gnome-shell on Wayland names no display of its own: a run on its
  // display, which finds no session there, still counts it.
  const pid_t shell = StartComponent("gnome-shell", {}, {"XDG_SESSION_TYPE=wayland"}, false);
  const WallpaperOutcome outcome =
      Desktop({"PATH=" + bin_, "XDG_CURRENT_DESKTOP=GNOME", "WAYLAND_DISPLAY=wayland-0"})
          .SetWallpaper(Bitmap(), "", {});
  EXPECT_EQ("", outcome.failure);
  EXPECT_NE(
      std::find(outcome.notes.begin(), outcome.notes.end(),
                "gnome-shell (" + std::to_string(shell) + ") runs, on a display it does not name"),
      outcome.notes.end());
}

TEST_F(DesktopTest, KdeUsesItsToolElseScriptsPlasmaOverDbus) {
  StartComponent("plasmashell");
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

  // dbus-send where qdbus is missing, waiting for Plasma's answer.
  std::remove((bin_ + "/qdbus").c_str());
  std::remove((bin_ + "/plasma-apply-wallpaperimage").c_str());
  StandIn("dbus-send");
  std::remove(Log().c_str());
  EXPECT_EQ("", Set("KDE"));
  calls = Calls();
  EXPECT_EQ(0u, calls.find("dbus-send <--session> <--print-reply> <--type=method_call> "
                           "<--dest=org.kde.plasmashell> </PlasmaShell> "
                           "<org.kde.PlasmaShell.evaluateScript> <string:var all = desktops();"))
      << calls;
  EXPECT_NE(std::string::npos, calls.find("d.writeConfig('Image', '" + Uri() + "'); }>\n"));
  // No plasmashell on the bus: dbus-send --print-reply fails with
  // ServiceUnknown; and with none running at all the answer alone is not
  // believed.
  StandIn("dbus-send", 1);
  EXPECT_EQ(
      "dbus-send: exit status 1; X11 root window: cannot open X display " + Display("plasmashell"),
      Set("KDE"));
  StandIn("dbus-send");
  StopComponents();
  EXPECT_EQ("set, but no plasmashell runs for this session; no X display", Set("KDE"));
}

// xfconf-query keeping what it is set, listing the backdrops of one monitor
// and one named output.
TEST_F(DesktopTest, XfceSetsAndReadsBackEveryBackdropImageProperty) {
  const std::string store = dir_.Join("xfconf");
  StandIn("xfconf-query", 0,
          "case \"$*\" in *' -l') printf '%s\\n' /backdrop/screen0/monitor0/workspace0/color-style "
          "/backdrop/screen0/monitor0/workspace0/last-image "
          "/backdrop/screen0/monitorHDMI-1/image-path /desktop-icons/style; exit;; esac\n"
          "f='" +
              store +
              "'$(printf %s \"$4\" | /usr/bin/tr / _)\n"
              "if [ $# = 6 ]; then printf '%s' \"$6\" > \"$f\"; else /bin/cat \"$f\"; echo; fi");
  StartComponent("xfdesktop");
  EXPECT_EQ("", Set("XFCE"));
  const std::string query = "xfconf-query <-c> <xfce4-desktop> ";
  const std::string last = "</backdrop/screen0/monitor0/workspace0/last-image>";
  const std::string path = "</backdrop/screen0/monitorHDMI-1/image-path>";
  EXPECT_EQ(query + "<-l>\n" + query + "<-p> " + last + " <-s> <>\n" + query + "<-p> " + last +
                " <-s> <" + Bitmap() + ">\n" + query + "<-p> " + last + "\n" + query + "<-p> " +
                path + " <-s> <>\n" + query + "<-p> " + path + " <-s> <" + Bitmap() + ">\n" +
                query + "<-p> " + path + "\n",
            Calls());

  // A value that does not read back as set is no success.
  StandIn("xfconf-query", 0,
          "case \"$*\" in *' -l') echo /backdrop/screen0/monitor0/workspace0/last-image;; "
          "*' -s '*) ;; *) echo /old.png;; esac");
  EXPECT_EQ(
      "xfconf-query: /backdrop/screen0/monitor0/workspace0/last-image reads \"/old.png\" after it "
      "was set; X11 root window: cannot open X display " +
          Display("xfdesktop"),
      Set("XFCE"));
  // No backdrop yet: nothing to set, and said so.
  StandIn("xfconf-query");
  StopComponents();
  EXPECT_EQ("xfconf-query: no backdrop image properties; no X display", Set("XFCE"));
}

TEST_F(DesktopTest, PcmanfmAndSway) {
  const std::string config = dir_.Join("config");
  PcmanfmStandIn("pcmanfm", config + "/pcmanfm/LXDE/desktop-items-0.conf", "wallpaper=%s");
  PcmanfmStandIn("pcmanfm-qt", config + "/pcmanfm-qt/lxqt/settings.conf",
                 "[Desktop]\\nWallpaperMode=fit\\nWallpaper=%s");
  // No pcmanfm desktop for the display: pcmanfm would wait for ever; and
  // pcmanfm-qt would answer ok with nothing shown.
  EXPECT_EQ("pcmanfm: no pcmanfm desktop runs for this session; no X display", Set("LXDE"));
  EXPECT_EQ("pcmanfm-qt: no pcmanfm-qt desktop runs for this session; no X display", Set("LXQt"));
  StartComponent("pcmanfm", {"--desktop", "--profile", "LXDE"},
                 {"DISPLAY=" + Display() + ".0", "XDG_CONFIG_HOME=" + config});
  StartComponent("pcmanfm-qt", {"--desktop", "--profile=lxqt"},
                 {"DISPLAY=" + Display("qt"), "XDG_CONFIG_HOME=" + config});
  // The run's :N is the desktop's :N.0, and pcmanfm is given the desktop's own.
  StandIn("pcmanfm", 0,
          "echo \"display=$DISPLAY\" >> '" + Log() + "'; /bin/mkdir -p '" + config +
              "/pcmanfm/LXDE'; printf 'wallpaper=%s\\n' \"$2\" > '" + config +
              "/pcmanfm/LXDE/desktop-items-0.conf'");
  EXPECT_EQ("", Set("LXDE", {"DISPLAY=" + Display()}));
  // pcmanfm-qt always gets a mode: its own, unless that shows nothing.
  EXPECT_EQ("", Set("LXQt", {"DISPLAY=" + Display("qt")}));
  EXPECT_EQ("", Set("LXQt", {"DISPLAY=" + Display("qt")}));
  WriteFileBytes(config + "/pcmanfm-qt/lxqt/settings.conf", "[Desktop]\nWallpaperMode=none\n");
  EXPECT_EQ("", Set("LXQt", {"DISPLAY=" + Display("qt")}));
  const std::string qt = "pcmanfm-qt <--set-wallpaper> <" + Bitmap() + "> <--wallpaper-mode> ";
  EXPECT_EQ("pcmanfm <--set-wallpaper> <" + Bitmap() + ">\ndisplay=" + Display() + ".0\n" + qt +
                "<zoom>\n" + qt + "<fit>\n" + qt + "<zoom>\n",
            Calls());
  // A desktop that did not save the picture did not take it.
  StandIn("pcmanfm");
  WriteFileBytes(config + "/pcmanfm/LXDE/desktop-items-0.conf", "wallpaper=/old.png\n");
  EXPECT_EQ("the desktop's settings (" + config +
                "/pcmanfm/LXDE/desktop-items-0.conf) do not name the picture; X11 root window: "
                "cannot open X display " +
                Display() + ".0",
            Set("LXDE", {"DISPLAY=" + Display()}));

  // sway, also known by SWAYSOCK alone (its user services); the swaybg it
  // starts shows the picture.
  StopComponents();
  const std::string socket = "SWAYSOCK=" + dir_.Join("sway-ipc.0.1.sock");
  StartComponent("sway", {}, {socket});
  const pid_t users_own = StartComponent("swaybg", {"-i", "/old.png"}, {socket});
  std::ofstream(bin_ + "/start-swaybg")
      << "#!/bin/bash\nexec -a swaybg /bin/sh -c 'while :; do sleep 1; done' -i \"$1\" "
         "</dev/null >/dev/null 2>&1\n";
  ASSERT_EQ(0, ::chmod((bin_ + "/start-swaybg").c_str(), 0755));
  StandIn("swaymsg", 0,
          "p=${4#\\\"}; p=${p%\\\"}; start-swaybg \"$p\" & echo $! >> '" +
              dir_.Join("swaybg.pids") + "'");
  std::remove(Log().c_str());
  EXPECT_EQ("", Set("sway", {socket}));
  EXPECT_EQ("", Set("", {socket}));
  const std::string swaymsg = "swaymsg <output> <*> <bg> <\"" + Bitmap() + "\"> <fill>\n";
  EXPECT_EQ(swaymsg + swaymsg, Calls());
  // The user's own swaybg, drawn over sway's, is ended once the new one runs.
  int status = 0;
  EXPECT_EQ(users_own, ::waitpid(users_own, &status, 0));
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
  // Taken, but no swaybg came up (none installed): swaybg is started itself.
  StopStartedSwaybgs();
  StandIn("swaymsg");
  EXPECT_EQ(
      "swaymsg: taken, but no swaybg of sway shows the picture; swaybg: not found; a Wayland "
      "session shows no X root window",
      Set("sway", {socket, "WAYLAND_DISPLAY=wayland-1"}));
  // An unknown Wayland compositor: Xwayland's root window would be seen by nobody.
  EXPECT_EQ("no desktop recognised; a Wayland session shows no X root window",
            Set("", {"WAYLAND_DISPLAY=wayland-1", "DISPLAY=:0"}));
}

// Several sessions of one user: the run's own display picks its session,
// however the display is spelt; a run with none takes the newest that has a
// desktop and says which; the session's way to reach its desktop replaces a
// stale one of the run's.
TEST_F(DesktopTest, TheSessionIsFoundFromTheDesktopsProgramsOfThisUser) {
  EXPECT_EQ(":0", NormalizedDisplay(":0.0"));
  EXPECT_EQ(":0", NormalizedDisplay("unix:0"));
  EXPECT_EQ("host:10", NormalizedDisplay("host:10.1"));
  EXPECT_EQ(":a.b", NormalizedDisplay(":a.b"));

  const std::string bus = "DBUS_SESSION_BUS_ADDRESS=unix:path=/run/user/9/bus";
  const pid_t xfce = StartComponent(
      "xfdesktop", {}, {"DISPLAY=" + Display("a") + ".0", bus, "XDG_RUNTIME_DIR=/run/user/9"});
  StartComponent("xfce4-panel", {}, {"DISPLAY=" + Display("a"), "XDG_CURRENT_DESKTOP=XFCE"});
  // A panel alone on another display, started later (start times count in
  // hundredths of a second): no desktop draws there.
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  StartComponent("lxqt-panel", {}, {"DISPLAY=" + Display("b")});
  // pcmanfm without --desktop is a file manager, not a desktop.
  StartComponent("pcmanfm", {}, {"DISPLAY=" + Display("c")});
  const std::vector<Session> sessions = OwnSessions();
  ASSERT_EQ(2u, sessions.size());
  EXPECT_EQ("x:" + Display("b"), sessions[0].key);  // the newest first

  std::string note;
  const Session* chosen = ChooseSession(
      sessions, {"DISPLAY=" + Display("a"), "DBUS_SESSION_BUS_ADDRESS=unix:path=/gone"}, &note);
  ASSERT_NE(nullptr, chosen);
  EXPECT_EQ(DesktopKind::kXfce, chosen->DrawingKind());
  EXPECT_EQ("session: xfdesktop (" + std::to_string(xfce) + ") on " + Display("a") + ".0", note);
  const std::vector<std::string> environment = WithSession(
      {"HOME=/h", "DISPLAY=" + Display("a"), "DBUS_SESSION_BUS_ADDRESS=unix:path=/gone"}, *chosen);
  EXPECT_EQ((std::vector<std::string>{"HOME=/h", "DISPLAY=" + Display("a") + ".0", bus,
                                      "XDG_RUNTIME_DIR=/run/user/9", "XDG_CURRENT_DESKTOP=XFCE"}),
            environment);

  EXPECT_EQ(chosen, ChooseSession(sessions, {"HOME=/h"}, &note));
  EXPECT_EQ("session: xfdesktop (" + std::to_string(xfce) + ") on " + Display("a") +
                ".0 (this run names no display; the newest with a desktop of 2, the others: "
                "lxqt-panel (" +
                std::to_string(components_[2]) + ") on " + Display("b") + ")",
            note);
  EXPECT_EQ(nullptr, ChooseSession(sessions, {"DISPLAY=" + Display("c")}, &note));
  EXPECT_EQ("", note);

  // The newest desktop of all, but of another HOME: another log-in (or a
  // test) under the same user id, not this run's.
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  StartComponent("xfdesktop", {}, {"DISPLAY=" + Display("d"), "HOME=/other"});
  const std::vector<Session> more = OwnSessions();
  ASSERT_EQ(3u, more.size());
  chosen = ChooseSession(more, {"HOME=/h/"}, &note);
  ASSERT_NE(nullptr, chosen);
  EXPECT_EQ("x:" + Display("a"), chosen->key);
  EXPECT_EQ(nullptr, ChooseSession(more, {"HOME=/h", "DISPLAY=" + Display("d")}, &note));
  EXPECT_EQ("x:" + Display("d"),
            ChooseSession(more, {"HOME=/other", "DISPLAY=" + Display("d")}, &note)->key);

  // A desktop program that has ended but not been waited for (a zombie) has
  // its name and no command line: it is no session.
  const std::string proc = dir_.Join("proc");
  ASSERT_EQ(0, ::mkdir(proc.c_str(), 0755));
  ASSERT_EQ(0, ::mkdir((proc + "/4242").c_str(), 0755));
  WriteFileBytes(proc + "/4242/comm", "xfdesktop\n");
  WriteFileBytes(proc + "/4242/environ", std::string("DISPLAY=:9\0", 11));
  WriteFileBytes(proc + "/4242/cmdline", "");
  EXPECT_TRUE(FindSessions(proc).empty());
  WriteFileBytes(proc + "/4242/cmdline", std::string("xfdesktop\0", 10));
  EXPECT_EQ(1u, FindSessions(proc).size());
}

// A swaybg that stays until it is ended, and takes its sleep along.
const char kLingeringSwaybg[] = "trap 'kill $! 2>/dev/null; exit 0' TERM; /bin/sleep 30 & wait";

// swaymsg failing, swaybg shows the picture. The one shown before is ended
// only after the new one is seen running; one that ends at once (no
// compositor to reach) is a failure and leaves the earlier one alone.
TEST_F(DesktopTest, ANewSwaybgMustRunBeforeTheOldOneIsEnded) {
  StandIn("swaymsg", 1);
  const std::vector<std::string> runtime = {"XDG_RUNTIME_DIR=" + dir_.path()};
  const std::string id_file = dir_.Join("wallpaper-fetcher-swaybg.pid");
  const auto shown_by = [&] { return std::atol(ReadFileBytes(id_file).c_str()); };
  const auto alive = [](long pid) { return pid > 0 && ::kill(static_cast<pid_t>(pid), 0) == 0; };

  StandIn("swaybg", 0, kLingeringSwaybg);
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

  StandIn("swaybg", 0, kLingeringSwaybg);
  EXPECT_EQ("", Set("sway", runtime));
  const long second = shown_by();
  EXPECT_NE(first, second);
  EXPECT_TRUE(alive(second));
  for (int i = 0; i < 500 && alive(first); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_FALSE(alive(first));
  ::kill(static_cast<pid_t>(second), SIGTERM);
}

// Each style in each desktop's own words; where it has none, the closest.
TEST_F(DesktopTest, EachDesktopIsToldTheStyleInItsOwnWords) {
  for (const char* tool : {"qdbus", "plasma-apply-wallpaperimage"}) StandIn(tool);
  StandIn("swaymsg", 1);
  GsettingsStandIn();
  const std::string config = dir_.Join("config");
  PcmanfmStandIn("pcmanfm", config + "/pcmanfm/default/desktop-items-0.conf", "wallpaper=%s");
  PcmanfmStandIn("pcmanfm-qt", config + "/pcmanfm-qt/default/settings.conf",
                 "[Desktop]\\nWallpaper=%s");
  StandIn("xfconf-query", 0,
          "case \"$*\" in *' -l') echo /backdrop/screen0/monitor0/workspace0/last-image;; "
          "*' -s '*) ;; *) echo \"" +
              Bitmap() + "\";; esac");
  for (const char* program : {"gnome-shell", "cinnamon", "caja", "xfdesktop", "plasmashell"})
    StartComponent(program);
  StartComponent("pcmanfm", {"--desktop"}, {"DISPLAY=" + Display(), "XDG_CONFIG_HOME=" + config});
  StartComponent("pcmanfm-qt", {"--desktop"},
                 {"DISPLAY=" + Display("qt"), "XDG_CONFIG_HOME=" + config});
  const std::pair<const char*, std::string> desktops[] = {{"GNOME", Display("gnome-shell")},
                                                          {"X-Cinnamon", Display("cinnamon")},
                                                          {"MATE", Display("caja")},
                                                          {"XFCE", Display("xfdesktop")},
                                                          {"LXQt", Display("qt")},
                                                          {"KDE", Display("plasmashell")},
                                                          {"LXDE", Display()}};
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
    for (const auto& desktop : desktops)
      EXPECT_EQ("", Set(desktop.first, {"DISPLAY=" + desktop.second})) << desktop.first;
    // On a display of no session: the one named. swaymsg fails here, and
    // swaybg is not to be found.
    Set("sway", {"DISPLAY=:none"});
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
  EXPECT_EQ((std::vector<std::string>{
                "desktop: KDE Plasma",
                "session: plasmashell (" + std::to_string(components_[4]) + ") on " +
                    Display("plasmashell"),
                "style: span, asked as FillMode 2 (the closest: KDE Plasma has no span)"}),
            Desktop({"PATH=" + bin_, "DISPLAY=" + Display("plasmashell")}).Describe(look_));
}

// A run from cron names no session bus: the user's own is used when it
// exists, so that the running desktop hears of the change.
TEST_F(DesktopTest, WithoutASessionBusAddressTheUsersBusIsUsed) {
  GsettingsStandIn();
  StandIn("gsettings", 0,
          "echo \"bus=$DBUS_SESSION_BUS_ADDRESS\" >> '" + Log() + "'\n" +
              ReadFileBytes(bin_ + "/gsettings")
                  .substr(ReadFileBytes(bin_ + "/gsettings").find("case")));
  StartComponent("gnome-shell");
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
    return Desktop({"PATH=" + bin_, "XDG_CURRENT_DESKTOP=" + current_desktop, home}).CopyFolder();
  };
  EXPECT_EQ(dir_.Join("data/wallpaper-fetcher/"),
            copy_folder("LXDE", "XDG_DATA_HOME=" + dir_.Join("data")));
  EXPECT_EQ("/home/u/.local/share/wallpaper-fetcher/", copy_folder("GNOME", "HOME=/home/u"));
  // No desktop recognised: the X root window draws the picture once.
  EXPECT_EQ("", copy_folder("i3", "HOME=/home/u"));

  const std::string copy = dir_.Join("data/wallpaper-fetcher/wallpaper-1.bmp");
  const std::string config = dir_.Join("config");
  PcmanfmStandIn("pcmanfm", config + "/pcmanfm/default/desktop-items-0.conf", "wallpaper=%s");
  StartComponent("pcmanfm", {"--desktop"}, {"DISPLAY=" + Display(), "XDG_CONFIG_HOME=" + config});
  PosixDesktop lxde = Desktop({"PATH=" + bin_, "XDG_CURRENT_DESKTOP=LXDE", "DISPLAY=" + Display()});
  EXPECT_TRUE(lxde.SetWallpaper(Bitmap(), copy, {}).copy_taken);
  EXPECT_EQ("pcmanfm <--set-wallpaper> <" + copy + ">\n", Calls());
  // A desktop that refuses it keeps the earlier one.
  StandIn("pcmanfm", 1);
  EXPECT_FALSE(lxde.SetWallpaper(Bitmap(), copy, {}).copy_taken);
}

TEST_F(DesktopTest, ToolsGetAnAbsolutePathAndFailuresAreDescribed) {
  const std::string config = dir_.Join("config");
  PcmanfmStandIn("pcmanfm", config + "/pcmanfm/default/desktop-items-0.conf", "wallpaper=%s");
  StartComponent("pcmanfm", {"--desktop"}, {"DISPLAY=" + Display(), "XDG_CONFIG_HOME=" + config});
  PosixDesktop desktop =
      Desktop({"PATH=" + bin_, "XDG_CURRENT_DESKTOP=LXDE", "DISPLAY=" + Display()});
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

  StopComponents();
  EXPECT_EQ("gsettings: not found; no X display", Set("GNOME"));
  EXPECT_EQ("no desktop recognised; no X display", Set("i3"));
  EXPECT_EQ("plasma-apply-wallpaperimage: not found; no D-Bus tool found; no X display",
            Set("KDE"));
  StandIn("gsettings", 1);
  EXPECT_EQ("gsettings: exit status 1; no X display", Set("GNOME"));
  // A tool out of time.
  StandIn("pcmanfm-qt", 0, "exec /bin/sleep 60");
  StartComponent("pcmanfm-qt", {"--desktop"}, {"SWAYSOCK=/nonexistent"});
  timeout_ms_ = 300;
  EXPECT_EQ("pcmanfm-qt: killed after 300 ms; no X display", Set("LXQt"));
  StopComponents();
  // What the run's record is told: the desktop, each tool and its result.
  const WallpaperOutcome outcome =
      Desktop({"PATH=" + bin_, "XDG_CURRENT_DESKTOP=GNOME", "XDG_RUNTIME_DIR=/nonexistent"})
          .SetWallpaper(Bitmap(), "", {});
  ASSERT_EQ(5u, outcome.notes.size());
  EXPECT_EQ("not shown by the desktop: gsettings: exit status 1", outcome.notes[4]);
  EXPECT_EQ("desktop: GNOME", outcome.notes[0]);
  EXPECT_EQ("style: the desktop's own (WallpaperStyle not set)", outcome.notes[1]);
  EXPECT_EQ("gsettings set org.gnome.desktop.background picture-uri '': exit status 1",
            outcome.notes[2]);
  EXPECT_EQ(0u, outcome.notes[3].find("gsettings set org.gnome.desktop.background picture-uri "
                                      "'file://"));
}

}  // namespace
