// An installed copy as a desktop user sets it up: `cmake --install` into a
// prefix, systemd finding the user units there, and `--init` writing the
// user's starter configuration. Real binary, real cmake, real systemd-analyze.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <sstream>

#include "config/ini_document.h"
#include "config/starter_config.h"
#include "platform/filesystem/text_file.h"
#include "support/test_support.h"

namespace {

const std::string kExample = ReadFileBytes(std::string(FETCHER_SOURCE_DIR) + "/examples/Sites.ini");

class InstalledCopyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    home_ = dir_.Join("home");
    ASSERT_EQ(0, ::mkdir(home_.c_str(), 0755));
    ASSERT_EQ(0, ::mkdir(dir_.Join("run").c_str(), 0700));
  }

  // The environment of a user whose home is the test's own.
  std::map<std::string, std::string> User(std::map<std::string, std::string> extra = {}) {
    std::map<std::string, std::string> env = {{"HOME", home_},
                                              {"XDG_CONFIG_HOME", "\x01unset"},
                                              {"XDG_DATA_HOME", "\x01unset"},
                                              {"XDG_DATA_DIRS", "\x01unset"},
                                              {"XDG_RUNTIME_DIR", dir_.Join("run")}};
    for (const auto& [name, value] : extra) env[name] = value;
    return env;
  }

  ProgramResult Init(std::vector<std::string> args, const std::map<std::string, std::string>& env) {
    args.insert(args.begin(), {FETCHER_BINARY, "--init"});
    return RunProgram(args, dir_.path(), env, 30000);
  }

  // The lines of what systemd's user manager searches for units.
  std::vector<std::string> UserUnitPaths() {
    const ProgramResult result =
        RunProgram({"/usr/bin/systemd-analyze", "--user", "unit-paths"}, dir_.path(), User());
    EXPECT_EQ(0, result.exit_code) << result.err;
    std::vector<std::string> lines;
    std::istringstream in(result.out);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  ScopedTempDir dir_;
  std::string home_;
};

TEST_F(InstalledCopyTest, InstallPutsUnitsWhereSystemdLooksForBothPrefixes) {
  struct Case {
    std::string prefix;    // as given to --prefix
    std::string destdir;   // staging root, "" for none
    std::string unit_dir;  // where the units must land, as systemd names it
  };
  const Case cases[] = {
      // ~/.local: found as $XDG_DATA_HOME/systemd/user.
      {home_ + "/.local", "", home_ + "/.local/share/systemd/user"},
      // /usr/local, staged under DESTDIR: in systemd's fixed search path.
      {"/usr/local", dir_.Join("stage"), "/usr/local/lib/systemd/user"},
  };
  const std::vector<std::string> searched = UserUnitPaths();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.prefix);
    EXPECT_NE(searched.end(), std::find(searched.begin(), searched.end(), c.unit_dir));
    std::map<std::string, std::string> env = {{"DESTDIR", c.destdir}};
    if (c.destdir.empty()) env["DESTDIR"] = "\x01unset";
    const ProgramResult installed =
        RunProgram({FETCHER_CMAKE_COMMAND, "--install", FETCHER_BUILD_DIR, "--prefix", c.prefix},
                   dir_.path(), env, 120000);
    ASSERT_EQ(0, installed.exit_code) << installed.out << installed.err;

    const std::string root = c.destdir + c.prefix;
    const std::string program = root + "/bin/wallpaper-fetcher";
    EXPECT_EQ(0, ::access(program.c_str(), X_OK));
    const std::string doc = root + "/share/doc/wallpaper-fetcher/";
    EXPECT_EQ(ReadFileBytes(std::string(FETCHER_SOURCE_DIR) + "/README.md"),
              ReadFileBytes(doc + "README.md"));
    EXPECT_EQ(kExample, ReadFileBytes(doc + "Sites.ini.example"));

    const std::string units = c.destdir + c.unit_dir + "/";
    const std::string service = ReadFileBytes(units + "wallpaper-fetcher.service");
    EXPECT_NE(std::string::npos,
              service.find("\nExecStart=" + c.prefix +
                           "/bin/wallpaper-fetcher %E/wallpaper-fetcher/Sites.ini\n"))
        << service;
    // A run held up (a box nobody answers) does not hold the service for ever.
    EXPECT_NE(std::string::npos, service.find("\nTimeoutStartSec=50min\n")) << service;
    EXPECT_NE(std::string::npos, ReadFileBytes(units + "wallpaper-fetcher.timer")
                                     .find("\n[Install]\nWantedBy=timers.target\n"));
    if (c.destdir.empty()) {
      // systemd itself reads them: syntax, and a program it can start.
      const ProgramResult verified =
          RunProgram({"/usr/bin/systemd-analyze", "--user", "verify",
                      units + "wallpaper-fetcher.service", units + "wallpaper-fetcher.timer"},
                     dir_.path(), User());
      EXPECT_EQ(0, verified.exit_code) << verified.out << verified.err;
      EXPECT_EQ("", verified.err);
    }
  }
}

TEST_F(InstalledCopyTest, InitWritesTheStarterOnceWhereTheUserKeepsConfiguration) {
  const std::string config = home_ + "/.config/wallpaper-fetcher/Sites.ini";
  const std::string data = home_ + "/.local/share/wallpaper-fetcher/pictures/";
  ProgramResult first = Init({}, User());
  ASSERT_EQ(0, first.exit_code) << first.err;
  EXPECT_EQ("Wrote " + config + "\nPictures and Walp.bmp go to " + data + "\n", first.out);
  struct stat st;
  ASSERT_EQ(0, ::stat(data.c_str(), &st));
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  const std::string written = ReadFileBytes(config);
  EXPECT_EQ(ToTextMode(StarterSitesIni(data)), written);
  IniDocument ini;
  ini.SetFileName(config);
  ASSERT_TRUE(ini.Load());
  EXPECT_EQ("0", ini.GetValue("General", "DebugMode"));
  EXPECT_EQ(data, ini.GetValue("General", "SavePath"));
  // Everything else is the example, as the program carries it.
  std::string example = kExample;
  example.replace(example.find("SavePath="),
                  example.find('\n', example.find("SavePath=")) - example.find("SavePath="),
                  "SavePath=" + data);
  EXPECT_EQ(ToTextMode(example), written);

  // Never over a file that is there: the user's edits stay.
  WriteFileBytes(config, "[General]\r\nDebugMode=1\r\n");
  ProgramResult again = Init({}, User());
  EXPECT_EQ(1, again.exit_code);
  EXPECT_EQ("wallpaper-fetcher: " + config + " already exists; it is left as it is\n", again.err);
  EXPECT_EQ("[General]\r\nDebugMode=1\r\n", ReadFileBytes(config));
  // Nor through a link that leads elsewhere.
  const std::string link = dir_.Join("link.ini");
  ASSERT_EQ(0, ::symlink(dir_.Join("elsewhere.ini").c_str(), link.c_str()));
  const ProgramResult linked = Init({link}, User());
  EXPECT_EQ(1, linked.exit_code);
  EXPECT_EQ("wallpaper-fetcher: cannot write " + link + ": File exists\n", linked.err);
  EXPECT_FALSE(Exists(dir_.Join("elsewhere.ini")));

  // The XDG directories when set absolute; a relative one does not count.
  const std::map<std::string, std::string> xdg = {{"XDG_CONFIG_HOME", dir_.Join("conf")},
                                                  {"XDG_DATA_HOME", dir_.Join("share")}};
  // A Sites.ini in the current folder, which a run reads first, is named.
  WriteFileBytes(dir_.Join("Sites.ini"), "[General]\r\n");
  const ProgramResult shadowed = Init({}, User(xdg));
  ASSERT_EQ(0, shadowed.exit_code);
  EXPECT_EQ("wallpaper-fetcher: warning: a run started here reads " + dir_.Join("Sites.ini") +
                " before " + dir_.Join("conf") +
                "/wallpaper-fetcher/Sites.ini: move or rename it to use the new file\n",
            shadowed.err);
  ASSERT_EQ(0, std::remove(dir_.Join("Sites.ini").c_str()));
  EXPECT_EQ(ToTextMode(StarterSitesIni(dir_.Join("share/wallpaper-fetcher/pictures/"))),
            ReadFileBytes(dir_.Join("conf/wallpaper-fetcher/Sites.ini")));
  ProgramResult relative = Init({"new/deeper/my.ini"}, User({{"XDG_DATA_HOME", "share"}}));
  ASSERT_EQ(0, relative.exit_code) << relative.err;
  EXPECT_EQ(ToTextMode(StarterSitesIni(data)), ReadFileBytes(dir_.Join("new/deeper/my.ini")));

  // No home to put anything in.
  ProgramResult homeless = Init({}, User({{"HOME", "\x01unset"}}));
  EXPECT_EQ(1, homeless.exit_code);
  EXPECT_NE(std::string::npos, homeless.err.find("HOME is not set")) << homeless.err;
}

}  // namespace
