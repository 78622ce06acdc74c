// The real binary, run as a user runs it: finding and restoring Sites.ini,
// reading [General], and the frame of a run.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "config/settings.h"
#include "config/starter_config.h"
#include "platform/filesystem/text_file.h"
#include "support/end_to_end.h"
#include "support/test_support.h"
#include "support/tmpfs_mount.h"

namespace {

const std::map<std::string, std::string> kNoDisplay = {{"DISPLAY", "\x01unset"},
                                                       {"WAYLAND_DISPLAY", "\x01unset"}};

class ProgramRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(0, ::mkdir(dir_.Join("prog").c_str(), 0755));
    ASSERT_EQ(0, ::mkdir(dir_.Join("cwd").c_str(), 0755));
    program_ = CopyFetcherInto(dir_.Join("prog/"));
  }
  ProgramResult Run(std::vector<std::string> args = {}) {
    args.insert(args.begin(), program_);
    return RunProgram(args, dir_.Join("cwd"), kNoDisplay, 30000);
  }
  ScopedTempDir dir_;
  std::string program_;
};

const char kQuietGeneral[] =
    "[General]\r\nDebugMode=1\r\nSuppressMessages=1\r\nTryNumber=0\r\nNumOfSites=1\r\n";

TEST_F(ProgramRunTest, MissingConfigurationBecomesTheStarterOneInTheUsersFolder) {
  const std::string user_dir = TestHome() + "/.config/wallpaper-fetcher/";
  std::remove((user_dir + "Sites.ini").c_str());
  ProgramResult result = Run({"no-such.ini", "ignored"});
  EXPECT_EQ(101, result.exit_code);
  EXPECT_EQ(
      "wallpaper-fetcher: No ini file, but it was restored!\nThe starter configuration was "
      "written to " +
          user_dir + "Sites.ini; the next run uses it.\n",
      result.err);
  EXPECT_EQ("", result.out);  // nothing is traced before [General] is read
  // What --init writes, the pictures in the user's data folder; nothing
  // beside the program or in the current directory.
  EXPECT_EQ(ToTextMode(StarterSitesIni(TestHome() + "/.local/share/wallpaper-fetcher/pictures/")),
            ReadFileBytes(user_dir + "Sites.ini"));
  EXPECT_TRUE(Exists(TestHome() + "/.local/share/wallpaper-fetcher/pictures"));
  EXPECT_FALSE(Exists(dir_.Join("prog/Sites.ini")));
  EXPECT_FALSE(Exists(dir_.Join("cwd/Sites.ini")));
  EXPECT_FALSE(Exists(dir_.Join("cwd/no-such.ini")));
  ASSERT_EQ(0, std::remove((user_dir + "Sites.ini").c_str()));

  // The user's own configuration comes after the current and the program's
  // directory.
  WriteFileBytes(user_dir + "Sites.ini", "\xEF\xBB\xBF" + std::string(kQuietGeneral));
  result = Run();
  EXPECT_EQ(0, result.exit_code) << result.err;
  EXPECT_NE(std::string::npos, result.out.find("m_yDebug = 1\n"));  // past the byte-order mark
  EXPECT_FALSE(Exists(dir_.Join("prog/Sites.ini")));
  // --status tells what that run did.
  result = Run({"--status"});
  EXPECT_EQ(0, result.exit_code);
  EXPECT_NE(std::string::npos,
            result.out.find("  " + user_dir +
                            "Sites.ini  site 1: nothing changed: TryNumber=0: no "
                            "attempt was made\n"))
      << result.out;
}

TEST_F(ProgramRunTest, AConfigurationFolderThatCannotBeMadeSaysWhy) {
  const std::string home = dir_.Join("home");
  ASSERT_EQ(0, ::mkdir(home.c_str(), 0755));
  WriteFileBytes(home + "/.config", "a file where the folder would go");
  ProgramResult result = RunProgram(
      {program_}, dir_.Join("cwd"),
      {{"HOME", home}, {"DISPLAY", "\x01unset"}, {"WAYLAND_DISPLAY", "\x01unset"}}, 30000);
  EXPECT_EQ(101, result.exit_code);
  EXPECT_EQ("wallpaper-fetcher: No ini file, and it couldn't be restored to " + home +
                "/.config/wallpaper-fetcher/Sites.ini\nThe starter configuration could not be "
                "written: cannot create the directory " +
                home + "/.config/wallpaper-fetcher/: Not a directory\n",
            result.err);
  EXPECT_FALSE(Exists(dir_.Join("prog/Sites.ini")));
  EXPECT_FALSE(Exists(dir_.Join("cwd/Sites.ini")));
}

TEST_F(ProgramRunTest, ConfigurationWithoutGeneralIsRefused) {
  const std::vector<std::string> bad = {"", "[general]\r\nDebugMode=1\r\n",
                                        "[General] \r\nDebugMode=1\r\n",
                                        "[General]\rDebugMode=1\r"};
  for (const std::string& text : bad) {
    SCOPED_TRACE(text);
    WriteFileBytes(dir_.Join("cwd/Sites.ini"), text);
    ProgramResult result = Run();
    EXPECT_EQ(101, result.exit_code);
    EXPECT_EQ("wallpaper-fetcher: Wrong ini file, no general section\n", result.err);
    EXPECT_EQ(text, ReadFileBytes(dir_.Join("cwd/Sites.ini")));  // untouched
  }
  // A directory named as the configuration exists but cannot be read; a
  // device that never ends is not read to its end.
  ASSERT_EQ(0, ::mkdir(dir_.Join("cwd/conf.d").c_str(), 0755));
  for (const char* name : {"conf.d", "/dev/zero"}) {
    SCOPED_TRACE(name);
    ProgramResult result = Run({name});
    EXPECT_EQ(101, result.exit_code);
    EXPECT_EQ("wallpaper-fetcher: Wrong ini file, no general section\n", result.err);
  }
}

TEST_F(ProgramRunTest, SearchOrderIsArgumentThenCurrentThenProgramDirectory) {
  WriteFileBytes(dir_.Join("prog/Sites.ini"), std::string(kQuietGeneral) + "KeepInHistory=1\r\n");
  EXPECT_NE(std::string::npos, Run().out.find("m_iKeepInHistory = 1\n"));

  WriteFileBytes(dir_.Join("cwd/Sites.ini"), std::string(kQuietGeneral) + "KeepInHistory=2\r\n");
  EXPECT_NE(std::string::npos, Run().out.find("m_iKeepInHistory = 2\n"));

  WriteFileBytes(dir_.Join("cwd/other.conf"), std::string(kQuietGeneral) + "KeepInHistory=3\r\n");
  EXPECT_NE(std::string::npos, Run({"other.conf"}).out.find("m_iKeepInHistory = 3\n"));
  EXPECT_NE(std::string::npos,
            Run({dir_.Join("cwd/other.conf")}).out.find("m_iKeepInHistory = 3\n"));
  // A first argument that names nothing falls back to Sites.ini, and says
  // so: on standard error, in the run's record, and before a check.
  ProgramResult fallback = Run({"missing.conf"});
  EXPECT_EQ(0, fallback.exit_code);
  EXPECT_NE(std::string::npos, fallback.out.find("m_iKeepInHistory = 2\n"));
  const std::string said = "wallpaper-fetcher: missing.conf was not found; reading " +
                           dir_.Join("cwd/Sites.ini") + " instead\n";
  EXPECT_EQ(said, fallback.err);
  EXPECT_NE(std::string::npos, Run({"--status"})
                                   .out.find("  " + dir_.Join("cwd/Sites.ini") +
                                             " (missing.conf was not found; this one was read "
                                             "instead)  site 1: nothing changed: "));
  EXPECT_EQ(said, Run({"--check", "missing.conf"}).err.substr(0, said.size()));
  EXPECT_EQ("", Run({"other.conf"}).err);
}

TEST_F(ProgramRunTest, SettingsAreTracedAsWrittenWithoutDefaults) {
  // "yes" reads as 0; a blank after "=" is skipped by the number reading; a
  // blank before "=" makes another key; missing keys read as 0 (TryNumber
  // too: no attempt). The ten settings come height before width.
  WriteFileBytes(
      dir_.Join("cwd/Sites.ini"),
      "[General]\r\nDebugMode= 1\r\nSuppressMessages=yes\r\nDeleteLast =1\r\n"
      "NotMakeAWallpaper=-1\r\nSavePath=pics/ \r\nMaxWallpWidth=1024\r\n"
      "KeepInHistory=20\r\nNumOfSites=2\r\n\r\n[Site1]\r\nBegin=http://127.0.0.1:9/\r\n");
  WriteFileBytes(dir_.Join("prog/log.log"), "earlier run\r\n");
  ProgramResult result = Run();
  EXPECT_EQ(0, result.exit_code);
  const std::string expected =
      "m_ySuppressMessages = 0\nm_yDebug = 1\nm_yNotMakeAWallpaper = 1\nm_yDeleteLast = 0\n"
      "m_iTryNumber = 0\nm_iKeepInHistory = 20\nm_iNumOfSites = 2\n"
      "m_strSavePath.data() = pics/ \nm_iMaxWallpHeight = 0\nm_iMaxWallpWidth = 1024\n"
      "m_iNumOfSites = 2\n";
  EXPECT_EQ(expected, result.out);
  EXPECT_EQ("", result.err);
  const std::string log = ReadFileBytes(dir_.Join("prog/log.log"));
  const std::string head = "earlier run\r\n\r\n\r\n--------- ";
  ASSERT_EQ(head, log.substr(0, head.size()));
  const size_t header_end = log.find("\r\n", head.size());
  ASSERT_NE(std::string::npos, header_end);
  EXPECT_EQ(ToTextMode(expected), log.substr(header_end + 2));
  EXPECT_FALSE(Exists(dir_.Join("prog/temp.file")));  // no attempt, no probe

  // Debug mode off: silent, and no log file.
  ASSERT_EQ(0, std::remove(dir_.Join("prog/log.log").c_str()));
  WriteFileBytes(dir_.Join("cwd/Sites.ini"), "[General]\r\nDebugMode=yes\r\nTryNumber=0\r\n");
  result = Run();
  EXPECT_EQ(0, result.exit_code);
  EXPECT_EQ("", result.out);
  EXPECT_EQ("", result.err);
  EXPECT_FALSE(Exists(dir_.Join("prog/log.log")));
}

TEST_F(ProgramRunTest, HelpVersionAndAStrictCommandLineTouchNoFile) {
  ProgramResult help = Run({"--help"});
  EXPECT_EQ(0, help.exit_code);
  for (const char* documented :
       {"KeepInHistory=", "MaxWallpHeight=", "Recent0=", "[Site1]", "Step1Get=", "Step1Go=",
        "$_1_$", "SecondsToDownload=", "101 after a fatal error", "2 for a command line",
        "--status", "~/.config/wallpaper-fetcher/", "~/.local/state/wallpaper-fetcher/"}) {
    EXPECT_NE(std::string::npos, help.out.find(documented)) << documented;
  }
  ProgramResult shorthand = Run({"-h"});
  EXPECT_EQ(help.out, shorthand.out);
  ProgramResult version = Run({"--version"});
  EXPECT_EQ(0, version.exit_code);
  EXPECT_EQ(std::string("wallpaper-fetcher ") + FETCHER_VERSION + "\n", version.out);
  EXPECT_FALSE(Exists(dir_.Join("prog/Sites.ini")));
  EXPECT_FALSE(Exists(dir_.Join("cwd/Sites.ini")));

  // A word that starts with "-" and is no option, or an option without its
  // value, ends with 2 and a line of usage: nothing read, written or fetched.
  const std::string usage =
      "Usage: wallpaper-fetcher [--] [CONFIG] | --check [--site N] [CONFIG] | --init [PATH] | "
      "--suggest URL | --status | --help | --version\n";
  const std::string suggest_usage =
      "Usage: wallpaper-fetcher --suggest URL [--name NAME] [--add [FILE]]\n";
  const std::vector<std::pair<std::vector<std::string>, std::string>> wrong = {
      {{"-v"}, "wallpaper-fetcher: unknown option '-v'\n" + usage},
      {{"--chek", "a.ini"}, "wallpaper-fetcher: unknown option '--chek'\n" + usage},
      {{"a.ini", "--check"}, "wallpaper-fetcher: '--check' must come first and alone\n" + usage},
      {{"--check", "--site"},
       "wallpaper-fetcher: --site needs a site number from 1\n"
       "Usage: wallpaper-fetcher --check [--site N] [FILE]\n"},
      {{"--status", "x"}, "wallpaper-fetcher: unexpected argument 'x'\n" + usage},
      {{"--suggest"}, "wallpaper-fetcher: --suggest needs the address of a page\n" + suggest_usage},
      {{"--suggest", "--name", "x"},
       "wallpaper-fetcher: --suggest needs the address of a page\n" + suggest_usage},
      {{"--suggest", "http://127.0.0.1:9/", "--name"},
       "wallpaper-fetcher: --name needs a name\n" + suggest_usage},
      {{"--suggest", "http://127.0.0.1:9/", "a.ini"},
       "wallpaper-fetcher: unexpected argument 'a.ini'\n" + suggest_usage},
      {{"--suggest", "ftp://127.0.0.1:9/"},
       "wallpaper-fetcher: --suggest needs an http or https address: ftp://127.0.0.1:9/\n" +
           suggest_usage},
      {{"--add"}, "wallpaper-fetcher: --add goes with --suggest\n" + usage},
  };
  for (const auto& [args, err] : wrong) {
    SCOPED_TRACE(args[0]);
    ProgramResult result = Run(args);
    EXPECT_EQ(2, result.exit_code);
    EXPECT_EQ(err, result.err);
    EXPECT_EQ("", result.out);
  }
  EXPECT_FALSE(Exists(dir_.Join("prog/Sites.ini")));
  EXPECT_FALSE(Exists(dir_.Join("cwd/Sites.ini")));
  EXPECT_FALSE(Exists(TestHome()));  // not even a record of the run

  // "--" ends the options: a configuration may be named like one.
  WriteFileBytes(dir_.Join("cwd/--help"), std::string(kQuietGeneral) + "KeepInHistory=9\r\n");
  EXPECT_NE(std::string::npos, Run({"--", "--help"}).out.find("m_iKeepInHistory = 9\n"));
  EXPECT_EQ(help.out, Run({"--help"}).out);
}

TEST_F(ProgramRunTest, ClosedStandardOutputIsAFailedWriteOnly) {
  // Debug mode traces to standard output, here a pipe nobody reads: the run
  // goes on, and the log gets every line.
  WriteFileBytes(dir_.Join("cwd/Sites.ini"), kQuietGeneral);
  int fds[2];
  ASSERT_EQ(0, ::pipe(fds));
  ::close(fds[0]);
  const std::string cwd = dir_.Join("cwd");
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::dup2(fds[1], STDOUT_FILENO);
    if (::chdir(cwd.c_str()) != 0) ::_exit(126);
    ::unsetenv("DISPLAY");
    ::unsetenv("WAYLAND_DISPLAY");
    ::setenv(kTestLockParentVariable, cwd.c_str(), 1);  // no lock file left in /tmp
    ::execl(program_.c_str(), program_.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(fds[1]);
  int status = 0;
  ASSERT_EQ(pid, ::waitpid(pid, &status, 0));
  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
  EXPECT_EQ(0, WEXITSTATUS(status));
  EXPECT_NE(std::string::npos,
            ReadFileBytes(dir_.Join("prog/log.log")).find("m_iNumOfSites = 1\r\n"));
}

TEST_F(ProgramRunTest, FatalMessageReachesStandardErrorWhenTheDialogFails) {
  // A display is named but the dialog cannot show itself there.
  ASSERT_EQ(0, ::mkdir(dir_.Join("bin").c_str(), 0755));
  const std::string zenity = dir_.Join("bin/zenity");
  WriteFileBytes(zenity, "#!/bin/sh\necho \"$*\" >> '" + dir_.Join("boxes.log") +
                             "'\nexit ${ZENITY_STATUS}\n");
  ASSERT_EQ(0, ::chmod(zenity.c_str(), 0755));
  WriteFileBytes(dir_.Join("cwd/Sites.ini"), "[Site1]\r\n");
  // 1: it failed; 0: shown and answered; 5: zenity's own "closed by itself".
  for (const char* status : {"1", "0", "5"}) {
    SCOPED_TRACE(status);
    const ProgramResult result = RunProgram({program_}, dir_.Join("cwd"),
                                            {{"PATH", dir_.Join("bin") + ":" + std::getenv("PATH")},
                                             {"DISPLAY", ":97"},
                                             {"WAYLAND_DISPLAY", "\x01unset"},
                                             {"XDG_RUNTIME_DIR", dir_.path()},
                                             {"ZENITY_STATUS", status}},
                                            30000);
    EXPECT_EQ(101, result.exit_code);
    // Read only when the dialog says so; a box that closed by itself was
    // read by nobody, and the message goes to standard error as well.
    EXPECT_EQ(
        std::string(status) == "0" ? "" : "wallpaper-fetcher: Wrong ini file, no general section\n",
        result.err);
  }
  // Every box closes by itself after 15 minutes, and the run's record says
  // so; no run waits for ever.
  const std::string boxes = ReadFileBytes(dir_.Join("boxes.log"));
  EXPECT_EQ(3u, Count(boxes,
                      "--error --no-markup --timeout=900 --title=wallpaper-fetcher "
                      "--text=Wrong ini file, no general section\n"))
      << boxes;
  // A box the dialog could not show is recorded as the line it became.
  const std::string status = Run({"--status"}).out;
  const std::string failed =
      "  " + dir_.Join("cwd/Sites.ini") + ": nothing changed: Wrong ini file, no general section";
  EXPECT_EQ(2u, Count(status, failed + "; shown in an error box that closes by itself after "
                                       "15 minutes\n"))
      << status;
  EXPECT_EQ(1u, Count(status, failed + "; no error box could be shown, the message went to "
                                       "standard error\n"))
      << status;
  EXPECT_LT(status.find("went to standard error"), status.find("shown in an error box"));

  // Typed at a prompt (standard error a terminal): the text goes there and
  // no box is asked for, whatever the display.
  const ProgramResult typed =
      RunProgram({"/usr/bin/script", "-qec", "'" + program_ + "'", "/dev/null"}, dir_.Join("cwd"),
                 {{"PATH", dir_.Join("bin") + ":" + std::getenv("PATH")},
                  {"DISPLAY", ":97"},
                  {"ZENITY_STATUS", "0"}},
                 30000);
  EXPECT_EQ(101, typed.exit_code);
  EXPECT_EQ("wallpaper-fetcher: Wrong ini file, no general section\r\n", typed.out);
  EXPECT_EQ(boxes, ReadFileBytes(dir_.Join("boxes.log")));
}

}  // namespace
