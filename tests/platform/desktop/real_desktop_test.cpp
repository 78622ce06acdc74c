// The desktops' own programs under Xvfb, each with a private session bus and
// its own HOME, started as a person's log-in starts them; the wallpaper is
// set from environments as a person, a systemd timer and cron give them, and
// the screen is read back. Skipped where a desktop is not installed.
#include "platform/desktop/desktop_posix.h"

// Google Test first: Xlib's None macro would break its own None type.
// clang-format off
#include <gtest/gtest.h>
// clang-format on

#include <FreeImage.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/desktop/session_posix.h"
#include "platform/desktop/x11_root_posix.h"
#include "support/http_server.h"
#include "support/test_pictures.h"
#include "support/test_support.h"
#include "support/virtual_screen.h"

namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 240;
// Desktop programs are slow to come up on a busy machine.
constexpr int kComeUpMs = 60000;

bool WaitUntil(const std::function<bool()>& done, int wait_ms) {
  for (int waited = 0;; waited += 100) {
    if (done()) return true;
    if (waited >= wait_ms) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}

bool Installed(const char* program) {
  for (const char* dir : {"/usr/bin/", "/usr/local/bin/", "/bin/"}) {
    if (::access((std::string(dir) + program).c_str(), X_OK) == 0) return true;
  }
  return false;
}

// A one-colour picture as a Windows bitmap.
void WriteBitmap(const std::string& path, const Rgb& colour) {
  FIBITMAP* dib = FreeImage_Allocate(64, 48, 24);
  RGBQUAD value = {static_cast<BYTE>(colour.b), static_cast<BYTE>(colour.g),
                   static_cast<BYTE>(colour.r), 0};
  for (unsigned y = 0; y < 48; ++y) {
    for (unsigned x = 0; x < 64; ++x) FreeImage_SetPixelColor(dib, x, y, &value);
  }
  ASSERT_TRUE(FreeImage_Save(FIF_BMP, dib, path.c_str(), 0));
  FreeImage_Unload(dib);
}

// One X server, one bus and the desktop's programs, each in a process group
// of its own, all stopped at the end.
class RealDesktopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ArmTestDeadline();
    for (const char* folder : {"home", "run", "config", "data", "cache", "bin"})
      ASSERT_EQ(0, ::mkdir(dir_.Join(folder).c_str(), 0700));
    screen_ = std::make_unique<VirtualScreen>(std::to_string(kWidth) + "x" +
                                              std::to_string(kHeight) + "x24");
    ASSERT_FALSE(screen_->display().empty()) << "Xvfb did not start";
    display_ = screen_->display();
    x_ = XOpenDisplay(display_.c_str());
    ASSERT_NE(nullptr, x_);
    const std::string bus = dir_.Join("run/bus");
    // The services it starts (xfconfd, dconf) keep their settings in the
    // session's HOME.
    // Only the settings services are started on demand: a file manager
    // started by the bus (caja as org.freedesktop.FileManager1) would be
    // one more desktop.
    ASSERT_EQ(0, ::mkdir(dir_.Join("services").c_str(), 0700));
    for (const char* service : {"org.xfce.Xfconf.service", "ca.desrt.dconf.service"}) {
      ASSERT_EQ(0, ::symlink((std::string("/usr/share/dbus-1/services/") + service).c_str(),
                             dir_.Join("services/" + std::string(service)).c_str()));
    }
    WriteFileBytes(dir_.Join("bus.conf"),
                   "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration "
                   "1.0//EN\" \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                   "<busconfig><type>session</type><listen>unix:path=" +
                       bus + "</listen><servicedir>" + dir_.Join("services") +
                       "</servicedir><policy context=\"default\"><allow send_destination=\"*\" "
                       "eavesdrop=\"true\"/><allow eavesdrop=\"true\"/><allow own=\"*\"/>"
                       "</policy></busconfig>\n");
    std::vector<std::string> env = Session("");
    env.erase(env.begin() + 7, env.end());
    Spawn({"dbus-daemon", "--config-file=" + dir_.Join("bus.conf"), "--nofork"}, env);
    ASSERT_TRUE(WaitUntil([&] { return ::access(bus.c_str(), F_OK) == 0; }, kComeUpMs));
    bus_ = "unix:path=" + bus;
  }
  void TearDown() override {
    if (HasFailure()) std::fprintf(stderr, "%s", ReadFileBytes(dir_.Join("programs.log")).c_str());
    if (x_ != nullptr) XCloseDisplay(x_);
    for (auto it = groups_.rbegin(); it != groups_.rend(); ++it) {
      ::kill(-*it, SIGKILL);
      ::waitpid(*it, nullptr, 0);
    }
  }

  // The session's own variables, as a log-in gives them to its programs.
  std::vector<std::string> Session(const std::string& desktop) const {
    return {"PATH=/usr/bin:/bin", "HOME=" + dir_.Join("home"),
            "XDG_CONFIG_HOME=" + dir_.Join("config"), "XDG_DATA_HOME=" + dir_.Join("data"),
            "XDG_CACHE_HOME=" + dir_.Join("cache"), "XDG_RUNTIME_DIR=" + dir_.Join("run"),
            "DISPLAY=" + display_, "DBUS_SESSION_BUS_ADDRESS=" + bus_,
            "XDG_CURRENT_DESKTOP=" + desktop,
            // No accessibility bus: one more daemon to wait for.
            "NO_AT_BRIDGE=1"};
  }
  // What cron gives a job.
  std::vector<std::string> Cron() const {
    return {"PATH=/usr/bin:/bin", "HOME=" + dir_.Join("home"), "SHELL=/bin/sh", "LOGNAME=root"};
  }

  // Starts `argv` in a process group of its own with exactly `env`, its
  // output in a log of the test; `keep_fd` stays open in it.
  pid_t Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env,
              int keep_fd = -1) {
    const std::string log = dir_.Join("programs.log");
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::setpgid(0, 0);
      const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
      ::dup2(out, STDOUT_FILENO);
      ::dup2(out, STDERR_FILENO);
      const int in = ::open("/dev/null", O_RDONLY);
      ::dup2(in, STDIN_FILENO);
      if (keep_fd >= 0) ::fcntl(keep_fd, F_SETFD, 0);
      std::vector<char*> args;
      for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
      args.push_back(nullptr);
      std::vector<char*> vars;
      for (const std::string& var : env) vars.push_back(const_cast<char*>(var.c_str()));
      vars.push_back(nullptr);
      if (env.empty()) {
        ::execvp(args[0], args.data());
      } else {
        ::execve(("/usr/bin/" + argv[0]).c_str(), args.data(), vars.data());
      }
      ::_exit(127);
    }
    ::setpgid(pid, pid);
    groups_.push_back(pid);
    return pid;
  }

  // xfdesktop, which shows its window once it has drawn a picture: the one
  // the user had (its own default is an SVG, which needs a loader not
  // installed).
  pid_t StartXfce() {
    const auto xfconf = [&](const std::vector<std::string>& args) {
      std::vector<std::string> command = {"/usr/bin/xfconf-query", "-c", "xfce4-desktop"};
      command.insert(command.end(), args.begin(), args.end());
      return RunProgram(command, "/", {{"DBUS_SESSION_BUS_ADDRESS", bus_}}).out;
    };
    WriteBitmap(dir_.Join("before.bmp"), {128, 128, 128});
    return StartDesktop({"xfdesktop", "--disable-wm-check"}, Session("XFCE"), [&] {
      std::string property;
      ASSERT_TRUE(WaitUntil(
          [&] {
            std::istringstream lines(xfconf({"-l"}));
            for (std::string line; std::getline(lines, line);) {
              if (line.find("/last-image") != std::string::npos) property = line;
            }
            return !property.empty();
          },
          kComeUpMs));
      xfconf({"-p", property, "-s", dir_.Join("before.bmp")});
    });
  }

  // Starts a desktop program and waits for its desktop window.
  pid_t StartDesktop(
      const std::vector<std::string>& argv, const std::vector<std::string>& env,
      const std::function<void()>& before_it_shows = [] {}) {
    const pid_t pid = Spawn(argv, env);
    before_it_shows();
    EXPECT_TRUE(WaitUntil(
        [&] { return RootWindowCover(display_).find("desktop window") != std::string::npos; },
        kComeUpMs))
        << argv[0] << " shows no desktop window";
    return pid;
  }
  void Stop(pid_t group) {
    ::kill(-group, SIGKILL);
    ::waitpid(group, nullptr, 0);
    groups_.erase(std::find(groups_.begin(), groups_.end(), group));
  }

  // The wallpaper set from `environment`; only this test's session is
  // looked at (other programs of this user may run elsewhere).
  WallpaperOutcome SetFrom(const std::vector<std::string>& environment, const Rgb& colour,
                           const WallpaperLook& look = {}) {
    const std::string bitmap =
        dir_.Join("Walp-" + std::to_string(colour.r) + "-" + std::to_string(colour.g) + "-" +
                  std::to_string(colour.b) + ".bmp");
    WriteBitmap(bitmap, colour);
    return SetBitmap(environment, bitmap, look);
  }
  // The four-colour picture of `width` x `height`, handed over with a copy
  // of its own as a run hands it (a link to it, which is replaced, not
  // written through, where the picture is composed here).
  WallpaperOutcome SetQuadrants(const std::vector<std::string>& environment, int width, int height,
                                const WallpaperLook& look) {
    const std::string bitmap = dir_.Join("Walp.bmp");
    FIBITMAP* dib = QuadrantBitmap(width, height);
    EXPECT_TRUE(FreeImage_Save(FIF_BMP, dib, bitmap.c_str(), 0));
    FreeImage_Unload(dib);
    const std::string copy = dir_.Join("data/wallpaper-" + std::to_string(++copies_) + ".bmp");
    EXPECT_EQ(0, ::link(bitmap.c_str(), copy.c_str()));
    const std::string before = ReadFileBytes(bitmap);
    const WallpaperOutcome outcome = SetBitmap(environment, bitmap, look, copy);
    EXPECT_EQ(before, ReadFileBytes(bitmap));
    return outcome;
  }
  WallpaperOutcome SetBitmap(const std::vector<std::string>& environment, const std::string& bitmap,
                             const WallpaperLook& look, const std::string& copy = "") {
    PosixDesktop desktop(environment);
    const std::string key = "x:" + NormalizedDisplay(display_);
    desktop.set_session_finder([key] {
      std::vector<::Session> sessions = FindSessions();
      sessions.erase(std::remove_if(sessions.begin(), sessions.end(),
                                    [&key](const ::Session& s) { return s.key != key; }),
                     sessions.end());
      return sessions;
    });
    return desktop.SetWallpaper(bitmap, copy, look);
  }

  // Whether the screen comes to show `colour` at each of `points`.
  bool ScreenShowsAt(const std::vector<std::pair<std::pair<int, int>, Rgb>>& points) {
    return WaitUntil(
        [&] {
          for (const auto& point : points) {
            if (!(ScreenPixel(point.first.first, point.first.second) == point.second)) return false;
          }
          return true;
        },
        15000);
  }

  Rgb ScreenPixel(int x, int y) {
    XImage* image = XGetImage(x_, DefaultRootWindow(x_), x, y, 1, 1, AllPlanes, ZPixmap);
    if (image == nullptr) return {-1, -1, -1};
    const unsigned long pixel = XGetPixel(image, 0, 0);
    XDestroyImage(image);
    return {static_cast<int>((pixel >> 16) & 255), static_cast<int>((pixel >> 8) & 255),
            static_cast<int>(pixel & 255)};
  }
  // Whether the screen comes to show `colour` all over (the desktop draws
  // a moment after it was told).
  bool ScreenShows(const Rgb& colour) {
    return WaitUntil(
        [&] {
          for (const auto& point :
               {std::pair<int, int>{2, 2}, {kWidth / 2, kHeight / 2}, {kWidth - 3, kHeight - 3}}) {
            if (!(ScreenPixel(point.first, point.second) == colour)) return false;
          }
          return true;
        },
        15000);
  }
  std::string Notes(const WallpaperOutcome& outcome) {
    std::string text = outcome.failure;
    for (const std::string& note : outcome.notes) text += "\n  " + note;
    return text;
  }

  ScopedTempDir dir_;
  std::string display_;
  std::string bus_;
  Display* x_ = nullptr;
  std::unique_ptr<VirtualScreen> screen_;
  std::vector<pid_t> groups_;
  int copies_ = 0;
};

// XFCE: xfdesktop's window covers the root window; xfconf is reached on the
// session's bus.
TEST_F(RealDesktopTest, XfceFromAPersonATimerAndCron) {
  if (!Installed("xfdesktop") || !Installed("xfconf-query")) GTEST_SKIP() << "no xfdesktop";
  const pid_t xfdesktop = StartXfce();

  WallpaperOutcome outcome = SetFrom(Session("XFCE"), kRed);
  EXPECT_EQ("", outcome.failure) << Notes(outcome);
  EXPECT_TRUE(ScreenShows(kRed));
  // cron: no display, bus, runtime folder or desktop name.
  outcome = SetFrom(Cron(), kGreen);
  EXPECT_EQ("", outcome.failure) << Notes(outcome);
  EXPECT_TRUE(ScreenShows(kGreen));
  EXPECT_NE(std::string::npos, Notes(outcome).find("session: xfdesktop ("));
  // A timer whose manager has the display but a bus that is gone, and no
  // desktop name.
  outcome =
      SetFrom({"PATH=/usr/bin:/bin", "HOME=" + dir_.Join("home"), "DISPLAY=" + display_ + ".0",
               "DBUS_SESSION_BUS_ADDRESS=unix:path=" + dir_.Join("gone")},
              kBlue);
  EXPECT_EQ("", outcome.failure) << Notes(outcome);
  EXPECT_TRUE(ScreenShows(kBlue));

  // The tool fails: the root window under xfdesktop's is not drawn, and the
  // run says so; nobody saw the picture, so it is kept for a later run.
  std::vector<std::string> no_tools = Session("XFCE");
  no_tools[0] = "PATH=" + dir_.Join("bin");
  outcome = SetFrom(no_tools, kWhite);
  EXPECT_EQ("xfconf-query: not found; the X11 root window is covered by xfdesktop's desktop window",
            outcome.failure);
  EXPECT_TRUE(outcome.no_session_reached);
  EXPECT_TRUE(ScreenShows(kBlue));

  // No xfdesktop: xfconf takes the setting, nothing shows it; the root
  // window, now bare, is drawn.
  Stop(xfdesktop);
  outcome = SetFrom(Session("XFCE"), kRed);
  EXPECT_EQ("", outcome.failure) << Notes(outcome);
  EXPECT_NE(std::string::npos, Notes(outcome).find("fallback: the X11 root window of " + display_));
  EXPECT_TRUE(ScreenShows(kRed));
}

// The program itself, started by a timer whose manager has the display and
// nothing else of the session: it fetches a picture from a local server,
// the screen shows it, and --status says which session took it.
TEST_F(RealDesktopTest, TheProgramStartedByATimerReachesXfce) {
  if (!Installed("xfdesktop") || !Installed("xfconf-query")) GTEST_SKIP() << "no xfdesktop";
  StartXfce();
  LocalHttpServer server;
  ASSERT_TRUE(server.Start());
  FIBITMAP* dib = FreeImage_Allocate(64, 48, 24);
  RGBQUAD red = {0, 0, 255, 0};
  for (unsigned y = 0; y < 48; ++y) {
    for (unsigned x = 0; x < 64; ++x) FreeImage_SetPixelColor(dib, x, y, &red);
  }
  server.ServeBytes("/red.bmp", EncodePicture(dib, FIF_BMP), "image/bmp");
  FreeImage_Unload(dib);
  server.ServeBytes("/", "<a href=\"/red.bmp\">today</a>", "text/html");
  ASSERT_EQ(0, ::mkdir(dir_.Join("prog").c_str(), 0700));
  const std::string program = CopyFetcherInto(dir_.Join("prog"));
  WriteFileBytes(dir_.Join("prog/Sites.ini"),
                 "[General]\r\nTryNumber=1\r\nNumOfSites=1\r\nKeepInHistory=5\r\nSavePath=" +
                     dir_.Join("prog/") + "\r\n[Site1]\r\nName=Local\r\nBegin=" + server.Url("/") +
                     "\r\nStep1Get=href=\"/([^\"]+)\"\r\nStep1Go=" + server.Url("/$_1_$") + "\r\n");
  std::map<std::string, std::string> timer = {
      {"HOME", dir_.Join("home")}, {"DISPLAY", display_}, {"PATH", "/usr/bin:/bin"}};
  for (const char* name : {"WAYLAND_DISPLAY", "SWAYSOCK", "DBUS_SESSION_BUS_ADDRESS",
                           "XDG_RUNTIME_DIR", "XDG_CURRENT_DESKTOP", "DESKTOP_SESSION",
                           "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME"}) {
    timer[name] = "\x01unset";
  }
  const ProgramResult run = RunProgram({program, "Sites.ini"}, dir_.Join("prog"), timer);
  EXPECT_EQ(0, run.exit_code) << run.err;
  EXPECT_TRUE(ScreenShows(kRed));
  const std::string status = RunProgram({program, "--status"}, dir_.Join("prog"), timer).out;
  EXPECT_NE(std::string::npos,
            status.find("red.bmp; the desktop took it [desktop: XFCE; session: xfdesktop ("))
      << status;
}

// LXDE: pcmanfm --set-wallpaper finds the desktop by a socket named after
// the display as the desktop has it, in the session's runtime folder.
TEST_F(RealDesktopTest, LxdeFromCronAndAnotherSpellingOfTheDisplay) {
  if (!Installed("pcmanfm")) GTEST_SKIP() << "no pcmanfm";
  std::vector<std::string> session = Session("LXDE");
  session[6] = "DISPLAY=" + display_ + ".0";
  StartDesktop({"pcmanfm", "--desktop", "--profile", "LXDE"}, session);
  WallpaperOutcome outcome = SetFrom(Cron(), kRed);
  EXPECT_EQ("", outcome.failure) << Notes(outcome);
  EXPECT_TRUE(ScreenShows(kRed));
  outcome = SetFrom(Session("LXDE"), kGreen, {WallpaperStyle::kStretch, 0});
  EXPECT_EQ("", outcome.failure) << Notes(outcome);
  EXPECT_TRUE(ScreenShows(kGreen));
  // fit on a colour pcmanfm does not take: composed here, bars and all.
  outcome = SetQuadrants(Cron(), 80, 20, {WallpaperStyle::kFit, 0x336699});
  EXPECT_EQ("", outcome.failure) << Notes(outcome);
  const Rgb bars = {0x33, 0x66, 0x99};
  EXPECT_TRUE(ScreenShowsAt(
      {{{160, 5}, bars}, {{80, 100}, kRed}, {{240, 140}, kWhite}, {{160, kHeight - 5}, bars}}))
      << Notes(outcome);
  // Two monitors side by side: each gets the whole picture, fitted, and
  // pcmanfm is asked to span the composition rather than stretch it into
  // each.
  const std::string xrandr = "xrandr -d " + display_ + " --setmonitor ";
  ASSERT_EQ(0, std::system((xrandr + "left 160/40x240/60+0+0 screen >/dev/null").c_str()));
  ASSERT_EQ(0, std::system((xrandr + "right 160/40x240/60+160+0 none >/dev/null").c_str()));
  outcome = SetQuadrants(Cron(), 80, 20, {WallpaperStyle::kFit, 0x336699});
  EXPECT_EQ("", outcome.failure) << Notes(outcome);
  EXPECT_NE(std::string::npos, Notes(outcome).find("160x240+0+0, 160x240+160+0, asked as span"))
      << Notes(outcome);
  // Each monitor: 160x40 in the middle, bars above and below.
  EXPECT_TRUE(ScreenShowsAt({{{80, 90}, bars},
                             {{40, 110}, kRed},
                             {{120, 130}, kWhite},
                             {{200, 110}, kRed},
                             {{280, 130}, kWhite},
                             {{240, 150}, bars}}))
      << Notes(outcome);
}

// LXQt: pcmanfm-qt answers ok even with no desktop of it running.
TEST_F(RealDesktopTest, LxqtFromCronAndWithoutItsDesktop) {
  if (!Installed("pcmanfm-qt")) GTEST_SKIP() << "no pcmanfm-qt";
  const pid_t desktop = StartDesktop({"pcmanfm-qt", "--desktop"}, Session("LXQt"));
  WallpaperOutcome outcome = SetFrom(Cron(), kRed, {WallpaperStyle::kStretch, 0});
  EXPECT_EQ("", outcome.failure) << Notes(outcome);
  EXPECT_TRUE(ScreenShows(kRed));
  // fill: pcmanfm-qt does not zoom (it keeps the user's fit), so the
  // picture is composed here. A tall picture covers the screen, the top and
  // bottom cut off.
  std::map<std::string, std::string> session;
  for (const std::string& variable : Session("LXQt"))
    session[variable.substr(0, variable.find('='))] = variable.substr(variable.find('=') + 1);
  ASSERT_EQ(0, RunProgram({"/usr/bin/pcmanfm-qt", "--set-wallpaper", dir_.Join("Walp-255-0-0.bmp"),
                           "--wallpaper-mode", "fit"},
                          "/", session)
                   .exit_code);
  outcome = SetQuadrants(Cron(), 20, 80, {WallpaperStyle::kFill, 0x336699});
  EXPECT_EQ("", outcome.failure) << Notes(outcome);
  EXPECT_TRUE(ScreenShowsAt({{{2, 60}, kRed},
                             {{kWidth - 3, 60}, kGreen},
                             {{2, 180}, kBlue},
                             {{kWidth - 3, 180}, kWhite}}))
      << Notes(outcome);
  Stop(desktop);
  // Nothing covers the root window now: it shows the picture.
  outcome = SetFrom(Session("LXQt"), kGreen);
  EXPECT_EQ("", outcome.failure) << Notes(outcome);
  EXPECT_NE(std::string::npos,
            Notes(outcome).find("pcmanfm-qt: no pcmanfm-qt desktop runs for this session"));
  EXPECT_TRUE(ScreenShows(kGreen));
}

// MATE: caja draws what org.mate.background names, through dconf on the
// session's bus.
TEST_F(RealDesktopTest, MateFromCronAndWithoutItsBus) {
  if (!Installed("caja") || !Installed("gsettings")) GTEST_SKIP() << "no caja";
  StartDesktop({"caja", "--no-default-window", "--force-desktop"}, Session("MATE"));
  WallpaperOutcome outcome = SetFrom(Cron(), kRed);
  EXPECT_EQ("", outcome.failure) << Notes(outcome);
  EXPECT_TRUE(ScreenShows(kRed));
  // Seen from a display of no session, with no bus: gsettings ends with 0
  // and changes nothing; the root window is under caja's.
  outcome = SetFrom(
      {"PATH=/usr/bin:/bin", "HOME=" + dir_.Join("home"), "XDG_CONFIG_HOME=" + dir_.Join("config"),
       "XDG_CURRENT_DESKTOP=MATE", "XDG_RUNTIME_DIR=" + dir_.Join("gone"), "DISPLAY=:none"},
      kGreen);
  EXPECT_NE(std::string::npos,
            outcome.failure.find("gsettings: picture-filename reads '" +
                                 dir_.Join("Walp-255-0-0.bmp") + "' after it was set"))
      << Notes(outcome);
  EXPECT_TRUE(ScreenShows(kRed));
}

// sway, headless, with the user's own swaybg started from its
// configuration: sway draws the new picture through a swaybg of its own,
// and the user's, which would lie over it, is ended once that one runs. sway
// refuses to run as root, so it runs as user 1000 of a user namespace (the
// same user to this program). The screen is read with grim.
TEST_F(RealDesktopTest, SwayFromCronReplacesTheUsersOwnSwaybg) {
  if (!Installed("sway") || !Installed("swaybg") || !Installed("grim") || !Installed("unshare"))
    GTEST_SKIP() << "no sway, swaybg, grim or unshare";
  WriteBitmap(dir_.Join("own.bmp"), kBlue);
  WriteFileBytes(dir_.Join("sway.conf"), "output HEADLESS-1 resolution 320x240\nexec swaybg -i " +
                                             dir_.Join("own.bmp") + " -m fill\n");
  const std::string run = dir_.Join("run");
  Spawn({"unshare", "--user", "--map-user=1000", "--map-group=1000", "sway", "-c",
         dir_.Join("sway.conf")},
        {"PATH=/usr/bin:/bin", "HOME=" + dir_.Join("home"), "XDG_RUNTIME_DIR=" + run,
         "WLR_BACKENDS=headless", "WLR_LIBINPUT_NO_DEVICES=1", "WLR_RENDERER=pixman"});
  std::string socket;
  long users_own = 0;
  const auto sway_sessions = [run] {
    std::vector<::Session> sessions = FindSessions();
    sessions.erase(std::remove_if(sessions.begin(), sessions.end(),
                                  [&run](const ::Session& s) {
                                    return s.key.rfind("sway:" + run + "/", 0) != 0;
                                  }),
                   sessions.end());
    return sessions;
  };
  ASSERT_TRUE(WaitUntil(
      [&] {
        for (const ::Session& session : sway_sessions()) {
          for (const SessionComponent& component : session.components) {
            if (component.name == "swaybg") users_own = component.pid;
          }
          socket = session.Variable("SWAYSOCK");
        }
        return users_own != 0 && !socket.empty();
      },
      kComeUpMs))
      << "sway and its swaybg did not come up";
  const auto screen = [&](int x, int y) {
    const ProgramResult shot =
        RunProgram({"/usr/bin/grim", "-t", "ppm", "-"}, "/",
                   {{"XDG_RUNTIME_DIR", run}, {"WAYLAND_DISPLAY", "wayland-1"}});
    // P6, width height, 255, then the pixels.
    size_t at = 0;
    for (int fields = 0; fields < 4 && at != std::string::npos; ++fields)
      at = shot.out.find_first_of(" \n", shot.out.find_first_not_of(" \n", at));
    const size_t pixel = at + 1 + (static_cast<size_t>(y) * 320 + x) * 3;
    if (at == std::string::npos || pixel + 3 > shot.out.size()) return Rgb{-1, -1, -1};
    return Rgb{static_cast<unsigned char>(shot.out[pixel]),
               static_cast<unsigned char>(shot.out[pixel + 1]),
               static_cast<unsigned char>(shot.out[pixel + 2])};
  };
  ASSERT_TRUE(WaitUntil([&] { return screen(160, 120) == kBlue; }, kComeUpMs));

  WriteBitmap(dir_.Join("Walp.bmp"), kRed);
  PosixDesktop desktop(Cron());
  desktop.set_session_finder(sway_sessions);
  const WallpaperOutcome outcome = desktop.SetWallpaper(dir_.Join("Walp.bmp"), "", {});
  EXPECT_EQ("", outcome.failure) << Notes(outcome);
  EXPECT_NE(std::string::npos, Notes(outcome).find("desktop: sway")) << Notes(outcome);
  EXPECT_NE(std::string::npos, Notes(outcome).find("(" + std::to_string(users_own) + ") is ended"))
      << Notes(outcome);
  EXPECT_TRUE(WaitUntil([&] { return screen(5, 5) == kRed && screen(315, 235) == kRed; }, 15000));
}

}  // namespace
