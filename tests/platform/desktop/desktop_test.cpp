#include <gtest/gtest.h>
#include <sys/stat.h>
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

// A directory of stand-ins for the desktops' tools: each records its name
// and arguments (one <...> each) as a line of calls.log, may print a text,
// and ends with the given status.
class DesktopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(0, ::mkdir(bin_.c_str(), 0755));
    ASSERT_EQ(0, ::mkdir(pictures_.c_str(), 0755));
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

  std::string Set(const std::string& current_desktop, std::vector<std::string> extra = {}) {
    extra.push_back("PATH=" + bin_);
    extra.push_back("XDG_CURRENT_DESKTOP=" + current_desktop);
    PosixDesktop desktop(extra);
    desktop.set_command_timeout_ms(timeout_ms_);
    return desktop.SetWallpaper(Bitmap(), "").failure;
  }

  std::string Log() const { return dir_.Join("calls.log"); }
  std::string Calls() const { return ReadFileBytes(Log()); }
  std::string Bitmap() const { return pictures_ + "/Walp.bmp"; }
  std::string Uri() const { return "file://" + dir_.path() + "my%20pics/Walp.bmp"; }

  ScopedTempDir dir_;
  const std::string bin_ = dir_.Join("bin");
  const std::string pictures_ = dir_.Join("my pics");
  int timeout_ms_ = 10000;
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
  EXPECT_EQ("", desktop.SetWallpaper("/pics/it's/Walp.bmp", "").failure);
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
  EXPECT_EQ("", Set("LXDE"));
  EXPECT_EQ("", Set("LXQt"));
  EXPECT_EQ("pcmanfm <--set-wallpaper> <" + Bitmap() +
                ">\n"
                "pcmanfm-qt <--set-wallpaper> <" +
                Bitmap() + ">\n",
            Calls());

  StandIn("swaymsg");
  std::remove(Log().c_str());
  EXPECT_EQ("", Set("sway"));
  EXPECT_EQ("swaymsg <output> <*> <bg> <\"" + Bitmap() + "\"> <fill>\n", Calls());

  // swaymsg failing: swaybg is started and left running on its own.
  StandIn("swaymsg", 1);
  StandIn("swaybg");
  std::remove(Log().c_str());
  EXPECT_EQ("", Set("sway", {"XDG_RUNTIME_DIR=" + dir_.path()}));
  const std::string expected = "swaymsg <output> <*> <bg> <\"" + Bitmap() +
                               "\"> <fill>\n"
                               "swaybg <-i> <" +
                               Bitmap() + "> <-m> <fill>\n";
  for (int i = 0; i < 500 && Calls() != expected; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(expected, Calls());
  EXPECT_TRUE(Exists(dir_.Join("wallpaper-fetcher-swaybg.pid")));
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
  PosixDesktop lxde({"PATH=" + bin_, "XDG_CURRENT_DESKTOP=LXDE"});
  EXPECT_TRUE(lxde.SetWallpaper(Bitmap(), copy).copy_taken);
  EXPECT_EQ("pcmanfm <--set-wallpaper> <" + copy + ">\n", Calls());
  // A desktop that refuses it keeps the earlier one.
  StandIn("pcmanfm", 1);
  EXPECT_FALSE(lxde.SetWallpaper(Bitmap(), copy).copy_taken);
}

TEST_F(DesktopTest, ToolsGetAnAbsolutePathAndFailuresAreDescribed) {
  StandIn("pcmanfm");
  PosixDesktop desktop({"PATH=" + bin_, "XDG_CURRENT_DESKTOP=LXDE"});
  char cwd[4096];
  ASSERT_NE(nullptr, ::getcwd(cwd, sizeof cwd));
  // A bitmap beside a program started as ./wallpaper-fetcher, and one
  // started by its bare name.
  EXPECT_EQ("", desktop.SetWallpaper("./Walp.bmp", "").failure);
  EXPECT_EQ("", desktop.SetWallpaper("pics/Walp.bmp", "").failure);
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
}

}  // namespace
