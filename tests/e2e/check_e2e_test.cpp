// wallpaper-fetcher --check as a user runs it: the real binary against a real
// HTTP server on 127.0.0.1, serving the demo gallery.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <regex>
#include <set>
#include <thread>

#include "platform/filesystem/text_file.h"
#include "support/end_to_end.h"

namespace {

class CheckEndToEndTest : public EndToEndTest {
 protected:
  void SetUp() override {
    EndToEndTest::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_EQ(0, ::mkdir(dir_.Join("prog/pics").c_str(), 0755));
    ASSERT_EQ(0, ::mkdir(dir_.Join("tmp").c_str(), 0755));
    const std::string gallery = std::string(FETCHER_SOURCE_DIR) + "/demo/gallery/";
    server_.ServeDirectory("/", gallery);
    server_.ServeFile("/", gallery + "index.html", "text/html");
  }

  // A site section: its Begin page (a path on the server or a whole URL)
  // and its steps as Get/Go pairs, each Go written after the server's base.
  std::string Site(int number, const std::string& name, const std::string& begin,
                   const std::vector<std::pair<std::string, std::string>>& steps) {
    std::string text =
        "[Site" + std::to_string(number) + "]\nName=" + name +
        "\nSecondsToDownload=30\nBegin=" + (begin[0] == '/' ? server_.Url(begin) : begin) + "\n";
    for (size_t i = 0; i < steps.size(); ++i) {
      const std::string k = std::to_string(i + 1);
      text += "Step" + k + "Get=" + steps[i].first + "\nStep" + k + "Go=" + server_.Url("/") +
              steps[i].second + "\n";
    }
    return text + "\n";
  }

  // Eight sites: one good, seven that break in the ways a user meets.
  void ConfigureSites() {
    const std::string wallpaper = "<a href=\"/(wallpaper/[^\"]+)\"><img";
    const std::string file_720 = "<a class=\"download\" href=\"/(files/[^\"]+)\">1280x720</a>";
    const std::string file_1080 = "<a class=\"download\" href=\"/(files/[^\"]+)\">1920x1080</a>";
    std::string text =
        "[General]\nSuppressMessages=1\nDebugMode=1\ndebugMode=1\nTryNumber=3\n"
        "KeepInHistory=2\nNumOfSites=8\nSavePath=pics/\nMaxWallpWidth=1280\n"
        "MaxWallpHeight=720\nRecent0=\nRecent1=" +
        server_.Url("/files/lake-1280x720.jpg") + "\n\n";
    text += Site(1, "Good", "/category/evening.html", {{wallpaper, "$_1_$"}, {file_720, "$_1_$"}});
    text += Site(2, "Dead", "http://127.0.0.1:1/", {{wallpaper, "$_1_$"}});
    text += Site(3, "Nothing", "/", {{"<a class=\"gone\" href=\"/([^\"]+)\">", "$_1_$"}});
    text += Site(4, "Malformed", "/", {{"<a class=\"category\" href=\"/([^\"]+\">", "$_1_$"}});
    text += Site(5, "Large", "/wallpaper/dunes.html", {{file_1080, "$_1_$"}});
    text += Site(6, "Seen", "/wallpaper/lake.html", {{file_720, "$_1_$"}});
    text += Site(7, "Missing", "/wallpaper/forest.html",
                 {{"href=\"/(files/forest)-1280x720.jpg\"", "$_1_$-9999x9999.jpg"}});
    // Leftmost-longest: the lazy repeat runs on to the last quote of the page.
    text += Site(8, "Lazy", "/wallpaper/lake.html",
                 {{"<a class=\"download\" href=\"/(files/.*?)\">", "$_1_$"}});
    WriteFileBytes(dir_.Join("prog/Sites.ini"), ToTextMode(text));
  }

  ProgramResult Check(std::vector<std::string> args) {
    args.insert(args.begin(), program_);
    return RunProgram(args, dir_.Join("prog"), Environment(), 120000);
  }

  // No desktop, and a temporary directory of the test's own.
  std::map<std::string, std::string> Environment() {
    std::map<std::string, std::string> environment = NoDesktop();
    environment["TMPDIR"] = dir_.Join("tmp");
    return environment;
  }
};

TEST_F(CheckEndToEndTest, EverySiteSaysWhereItBreaksAndNothingChanges) {
  ConfigureSites();
  WriteFileBytes(dir_.Join("prog/pics/keep.jpg"), "the user's own picture");
  const std::string before = ReadFileBytes(dir_.Join("prog/Sites.ini"));

  const ProgramResult result = Check({"--check"});
  EXPECT_EQ(1, result.exit_code) << result.out << result.err;
  const std::string& out = result.out;
  const std::string base = server_.Url("");

  // The verdicts, in site order, after the warnings.
  const std::vector<std::string> verdicts = {
      "Site1 \"Good\": OK\n",
      "Site2 \"Dead\": FAILED at begin: ",
      "Site3 \"Nothing\": FAILED at step 1: the expression found no links\n",
      "Site4 \"Malformed\": FAILED at step 1: the expression is malformed at position 35: "
      "Unmatched marking parenthesis ( or \\(\n",
      "Site5 \"Large\": FAILED at picture: taller than MaxWallpHeight=720\n",
      "Site6 \"Seen\": FAILED at picture: already in the history (a run refuses it)\n",
      "Site7 \"Missing\": FAILED at picture: its header cannot be read as JPEG (the server "
      "sent text/plain, HTTP 404)\n",
      "Site8 \"Lazy\": FAILED at step 1: "};
  size_t at = out.find("warning: [General] \"debugMode\" is not read as DebugMode");
  ASSERT_NE(std::string::npos, at) << out;
  for (const std::string& verdict : verdicts) {
    const size_t next = out.find(verdict, at);
    ASSERT_NE(std::string::npos, next) << verdict << "\n" << out;
    at = next;
  }
  EXPECT_EQ(0u, out.find("Checking " + dir_.Join("prog/Sites.ini") + "\n")) << out;
  EXPECT_NE(std::string::npos, out.find("Couldn't connect to server")) << out;

  // Under a site: each fetch with status, type, bytes and seconds; each step
  // with its links and the one picked; the picture with format and size.
  EXPECT_TRUE(std::regex_search(
      out, std::regex("\n  fetch " + base + "/category/evening\\.html: HTTP 200, [^,]+, " +
                      "738 bytes, [0-9]+\\.[0-9]{2} s\n")))
      << out;
  EXPECT_TRUE(std::regex_search(
      out, std::regex("\n  step 1: found 2 links: " + base + "/wallpaper/(sunset|forest)\\.html, " +
                      base + "/wallpaper/(sunset|forest)\\.html\n  step 1: picked link [12]: " +
                      base + "/wallpaper/(sunset|forest)\\.html\n")))
      << out;
  EXPECT_TRUE(std::regex_search(out, std::regex("\n  picture (sunset|forest)-1280x720\\.jpg: JPEG "
                                                "by its extension \\.jpg, 1280x720, would be "
                                                "taken\n")))
      << out;
  EXPECT_NE(std::string::npos,
            out.find("\n  picture dunes-1920x1080.jpg: JPEG by its extension .jpg, 1920x1080, "
                     "would be refused: taller than MaxWallpHeight=720\n"))
      << out;
  EXPECT_NE(std::string::npos,
            out.find("\n  picture lake-1280x720.jpg: JPEG by its extension .jpg, 1280x720, "
                     "would be refused: in the history\n"))
      << out;
  EXPECT_NE(std::string::npos, out.find("\n  fetch http://127.0.0.1:1/: failed: ")) << out;
  EXPECT_NE(std::string::npos,
            out.find("\n  fetch " + base + "/files/forest-9999x9999.jpg: HTTP 404, text/plain"))
      << out;
  // A link that took in line feeds stays on its line of the report.
  EXPECT_NE(std::string::npos,
            out.find("\n  step 1: found 1 link: " + base +
                     "/files/lake-1280x720.jpg\">1280x720</a>\\n<a class=\"download\" href=\""))
      << out;
  // The malformed expression, with a mark under the place of the error.
  EXPECT_NE(std::string::npos,
            out.find("  step 1: expression <a class=\"category\" href=\"/([^\"]+\">\n  step 1: "
                     "the expression is malformed at position 35: Unmatched marking parenthesis "
                     "( or \\(\n" +
                     std::string(21 + 35, ' ') + "^\n"))
      << out;

  // Nothing written: the configuration, the save directory, the program's
  // directory (no log.log, no Walp.bmp, no temp.file), the private directory.
  EXPECT_EQ(before, ReadFileBytes(dir_.Join("prog/Sites.ini")));
  EXPECT_EQ(std::set<std::string>({"keep.jpg"}), Listing(dir_.Join("prog/pics")));
  EXPECT_EQ(std::set<std::string>({"Sites.ini", "pics", "wallpaper-fetcher"}),
            Listing(dir_.Join("prog")));
  EXPECT_EQ(std::set<std::string>(), Listing(dir_.Join("tmp")));
  EXPECT_EQ("", result.err);
}

TEST_F(CheckEndToEndTest, ExitCodesSayWhetherEveryCheckedSiteIsOk) {
  ConfigureSites();
  const ProgramResult good = Check({"--check", "--site", "1", "Sites.ini"});
  EXPECT_EQ(0, good.exit_code) << good.out << good.err;
  EXPECT_NE(std::string::npos, good.out.find("Site1 \"Good\": OK\n"));
  EXPECT_EQ(std::string::npos, good.out.find("Site2"));

  const ProgramResult bad = Check({"--check", "--site", "3"});
  EXPECT_EQ(1, bad.exit_code) << bad.out;
  EXPECT_EQ(std::string::npos, bad.out.find("Site1"));
  EXPECT_NE(std::string::npos, bad.out.find("Site3 \"Nothing\": FAILED at step 1"));

  const ProgramResult absent = Check({"--check", "--site", "9"});
  EXPECT_EQ(1, absent.exit_code);
  EXPECT_NE(std::string::npos,
            absent.out.find("Site9 \"\": FAILED at configuration: there is no [Site9] section\n"))
      << absent.out;

  // A configuration on which a run ends with 101 or tries nothing fails,
  // whatever its sites do; a huge NumOfSites costs what its sections cost.
  std::string text = ReadFileBytes(dir_.Join("prog/Sites.ini"));
  for (const auto& [from, to] :
       std::vector<std::pair<std::string, std::string>>{{"TryNumber=3", "TryNumber=0"},
                                                        {"NumOfSites=8", "NumOfSites=2147483647"},
                                                        {"SavePath=pics/", "SavePath=/proc/"}}) {
    text.replace(text.find(from), from.size(), to);
  }
  WriteFileBytes(dir_.Join("prog/broken.ini"), text);
  const ProgramResult broken = Check({"--check", "--site", "1", "broken.ini"});
  EXPECT_EQ(1, broken.exit_code);
  EXPECT_NE(std::string::npos,
            broken.out.find("FAILED at configuration: TryNumber=0: a run makes no attempt\n"));
  EXPECT_NE(std::string::npos,
            broken.out.find("FAILED at configuration: SavePath=/proc/: /proc/ cannot be written ("))
      << broken.out;
  EXPECT_NE(std::string::npos, broken.out.find("Site1 \"Good\": OK\n"));
  const ProgramResult huge = Check({"--check", "broken.ini"});
  EXPECT_EQ(1, huge.exit_code);
  EXPECT_NE(std::string::npos,
            huge.out.find("FAILED at configuration: 2147483639 of the site numbers 1 to "
                          "2147483647 have no section\n"))
      << huge.out;
  EXPECT_LT(std::count(huge.out.begin(), huge.out.end(), '\n'), 200);

  const ProgramResult usage = Check({"--check", "--site", "first"});
  EXPECT_EQ(2, usage.exit_code);
  EXPECT_NE(std::string::npos, usage.err.find("--site needs a site number"));

  // No [General]: said, exit code 2, the file left as it was.
  WriteFileBytes(dir_.Join("prog/other.ini"), "[Site1]\r\nBegin=http://127.0.0.1:1/\r\n");
  const ProgramResult no_general = Check({"--check", "other.ini"});
  EXPECT_EQ(2, no_general.exit_code);
  EXPECT_EQ("wallpaper-fetcher: " + dir_.Join("prog/other.ini") + " has no [General] section\n",
            no_general.err);
  EXPECT_EQ("[Site1]\r\nBegin=http://127.0.0.1:1/\r\n", ReadFileBytes(dir_.Join("prog/other.ini")));

  // No configuration anywhere: said with the places looked at; the default
  // file is not written.
  std::filesystem::remove(dir_.Join("prog/Sites.ini"));
  const ProgramResult none = Check({"--check", "missing.ini"});
  EXPECT_EQ(2, none.exit_code);
  EXPECT_NE(std::string::npos, none.err.find("no configuration found (looked for missing.ini, " +
                                             dir_.Join("prog/Sites.ini")))
      << none.err;
  EXPECT_FALSE(Exists(dir_.Join("prog/Sites.ini")));
  EXPECT_EQ(std::set<std::string>(), Listing(dir_.Join("tmp")));
}

TEST_F(CheckEndToEndTest, ChecksBesideARunningCopyAndCleansUpWhenInterrupted) {
  server_.Stall("/stall", "<html>");
  std::string text =
      "[General]\nDebugMode=0\nTryNumber=1\nKeepInHistory=2\nNumOfSites=2\nSavePath=pics/\n\n" +
      Site(1, "Stalls", "/stall", {}) +
      Site(2, "Good", "/wallpaper/sunset.html",
           {{"<a class=\"download\" href=\"/(files/[^\"]+)\">1280x720</a>", "$_1_$"}});
  WriteFileBytes(dir_.Join("prog/Sites.ini"), ToTextMode(text));
  WriteFileBytes(dir_.Join("prog/run.ini"),
                 ToTextMode("[General]\nTryNumber=1\nNumOfSites=1\nSavePath=pics/\n\n" +
                            Site(1, "Stalls", "/stall", {})));

  // A run of the same program file holds the single-instance guard...
  ChildProcess run;
  ASSERT_TRUE(run.Start({program_, "run.ini"}, dir_.Join("prog"), Environment()));
  for (int i = 0; i < 3000 && server_.RequestCount("/stall") < 1; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_EQ(1, server_.RequestCount("/stall"));

  // ...and a check goes on all the same.
  const ProgramResult beside = Check({"--check", "--site", "2"});
  EXPECT_EQ(0, beside.exit_code) << beside.out << beside.err;
  EXPECT_NE(std::string::npos, beside.out.find("Site2 \"Good\": OK\n")) << beside.out;

  // A check stopped by Ctrl-C in the middle of a download takes its private
  // directory with it.
  ChildProcess check;
  ASSERT_TRUE(check.Start({program_, "--check", "--site", "1"}, dir_.Join("prog"), Environment()));
  for (int i = 0; i < 3000 && server_.RequestCount("/stall") < 2; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_EQ(2, server_.RequestCount("/stall"));
  const std::set<std::string> during = Listing(dir_.Join("tmp"));
  ASSERT_EQ(1u, during.size());
  EXPECT_EQ(0u, during.begin()->find("wallpaper-fetcher-check-"));
  check.Kill(SIGINT);
  const ProgramResult interrupted = check.Wait(60000);
  EXPECT_EQ(-1, interrupted.exit_code);
  EXPECT_FALSE(interrupted.timed_out);
  EXPECT_EQ(std::set<std::string>(), Listing(dir_.Join("tmp")));

  run.Kill(SIGKILL);
  run.Wait(60000);
  EXPECT_EQ(std::set<std::string>({"temp.file"}), Listing(dir_.Join("prog/pics")));
}

}  // namespace
