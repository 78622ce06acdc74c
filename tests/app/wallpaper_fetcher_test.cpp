// The main object as a conductor: the one fatal path, and the record of
// what a run did (wallpaper-fetcher --status).
#include "app/wallpaper_fetcher.h"

#include <FreeImage.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "app/run_record.h"
#include "platform/crt_random.h"
#include "support/fake_internet.h"
#include "support/test_pictures.h"
#include "support/test_support.h"

namespace {

class WallpaperFetcherTest : public ::testing::Test {
 protected:
  void SetUp() override { fakes_.internet = &internet_; }
  Invocation Started() const {
    Invocation invocation;
    invocation.program = dir_.Join("wallpaper-fetcher");
    invocation.record_dir = dir_.Join("state/");
    return invocation;
  }
  // One attempt at [Site1], written after `general`; the reason it noted.
  std::string ReasonOfAttempt(const std::string& general, const std::string& site) {
    WallpaperFetcher fetcher(fakes_.Get(), 1, Started());
    fetcher.m_Ini.SetFileName(dir_.Join("Sites.ini"));
    fetcher.m_Ini.Parse("[General]\n" + general +
                        "NumOfSites=1\nKeepInHistory=5\nNotMakeAWallpaper=1\n" +
                        (site.empty() ? "" : "[Site1]\n" + site));
    fetcher.ReadGeneralSettings();
    fetcher.m_iSite = 1;
    taken_ = fetcher.CrawlSite();
    line_ = FormatRunLine(fetcher.run_record(), 0);
    history_ = fetcher.m_Ini.GetValue("General", "Recent4");
    return fetcher.run_record().reason;
  }

  ScopedTempDir dir_;
  FakeInternet internet_;
  FakePlatform fakes_;
  bool taken_ = false;
  std::string line_;
  std::string history_;  // Recent4, the newest entry, after the attempt
};

TEST_F(WallpaperFetcherTest, ARunRecordsWhyNothingChanged) {
  internet_.bodies["http://site/"] = "<a href=\"a.jpg\"> <a href=\"b.jpg\">";
  internet_.bodies["http://site/empty"] = "";
  internet_.bodies["http://site/a.jpg"] = "not a picture";
  internet_.bodies["http://site/a.jpg/"] = "a page";
  const std::string steps = "Step1Get=href=\"([^\"]+)\"\nStep1Go=http://site/$_1_$\n";
  struct Case {
    std::string general, site, reason;
  } cases[] = {
      {"", "", "there is no [Site1] section (NumOfSites=1)"},
      {"", "Begin=http://down/\n", "fetching http://down/ failed"},
      {"", "Begin=http://site/empty\n", "http://site/empty sent nothing"},
      {"", "Begin=http://site/\nStep1Get=(x\nStep1Go=$_1_$\n",
       "the expression of step 1 cannot be compiled: Unmatched marking parenthesis ( or \\("},
      {"", "Begin=http://site/\nStep1Get=nomatch(x)\nStep1Go=$_1_$\n",
       "step 1 found no link in http://site/"},
      {"", "Begin=http://site/\nStep1Get=href=\"(a[^\"]+)\"\nStep1Go=http://site/$_1_$/\n",
       "the picture's URL http://site/a.jpg/ gives no file name"},
      {"Recent4=http://site/a.jpg\nRecent3=http://site/b.jpg\n", "Begin=http://site/\n" + steps,
       "every link found was already in the history"},
      {"Recent4=http://site/a.jpg\n", "Begin=http://site/a.jpg\n",
       "the picture picked was already in the history"},
      {"NotMakeAWallpaper=0\n",
       "Begin=http://site/\nStep1Get=href=\"(a[^\"]+)\"\nStep1Go=http://site/$_1_$\n",
       "the picture could not be decoded (its header cannot be read as JPEG)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.site);
    EXPECT_EQ(c.reason, ReasonOfAttempt(c.general, c.site).substr(0, c.reason.size()));
    EXPECT_FALSE(taken_);
    EXPECT_NE(std::string::npos, line_.find(": nothing changed: " + c.reason)) << line_;
  }
  // The link drawn was known, the other one was not.
  CrtSrand(1);
  CrtRand();
  const std::string drawn = RandomInRange(0, 1) == 0 ? "a.jpg" : "b.jpg";
  EXPECT_EQ("1 of 2 links are new; the ones drawn were known",
            ReasonOfAttempt("Recent4=http://site/" + drawn + "\n", "Begin=http://site/\n" + steps));

  // A picture taken: where from, where to, and that the desktop was not
  // asked; remembered all the same, with or without a screen.
  internet_.bodies["http://site/b.jpg"] = "JPEG";
  fakes_.desktop.failure = "no display";
  fakes_.desktop.no_session = true;
  EXPECT_EQ("", ReasonOfAttempt("", "Begin=http://site/b.jpg\n"));
  EXPECT_TRUE(taken_);
  EXPECT_NE(std::string::npos, line_.find(": took http://site/b.jpg as " + dir_.Join("b.jpg") +
                                          "; not made the wallpaper (NotMakeAWallpaper=1)"))
      << line_;
  EXPECT_EQ("http://site/b.jpg", history_);
}

TEST_F(WallpaperFetcherTest, APictureNobodySawIsKeptForALaterRun) {
  internet_.bodies["http://site/p.png"] = GradientPicture(FIF_PNG, 32, 24);
  const std::string site = "Begin=http://site/p.png\n";
  const std::string took = ": took http://site/p.png as " + dir_.Join("p.png") + "; ";
  // No session to show it in: taken (the attempts end), not remembered.
  fakes_.desktop.failure = "no X display";
  fakes_.desktop.no_session = true;
  EXPECT_EQ("", ReasonOfAttempt("NotMakeAWallpaper=0\n", site));
  EXPECT_TRUE(taken_);
  EXPECT_EQ("", history_);
  EXPECT_NE(std::string::npos, line_.find(took + "not shown: no X display; kept for a later run"))
      << line_;
  // A desktop that was reached and failed: remembered, as always.
  fakes_.desktop.no_session = false;
  EXPECT_EQ("", ReasonOfAttempt("NotMakeAWallpaper=0\n", site));
  EXPECT_EQ("http://site/p.png", history_);
  EXPECT_NE(std::string::npos, line_.find(took + "no desktop took it: no X display")) << line_;
  // Shown.
  fakes_.desktop.failure = "";
  EXPECT_EQ("", ReasonOfAttempt("NotMakeAWallpaper=0\n", site));
  EXPECT_EQ("http://site/p.png", history_);
  EXPECT_NE(std::string::npos, line_.find(took + "the desktop took it")) << line_;
  EXPECT_EQ(3u, fakes_.desktop.wallpapers.size());
}

TEST_F(WallpaperFetcherTest, AFatalErrorFromDeepInTheRunEndsItWith101AndARecord) {
  // Neither a working file under SavePath nor a file object for the URL:
  // each ends the process through the main object, which records the run
  // before it shows the box (a box that closes by itself, the record says).
  struct Case {
    std::string save_path, begin, text, recorded;
  } cases[] = {
      {"missing-dir/", "http://site/",
       "Can't create temp file, most probably problem with SavePath",
       "Can't create temp file, most probably problem with SavePath"},
      // The fetch's own reason came first.
      {"", "nofile:x", "Can't find file on the server...",
       "no file object for nofile:x (its scheme is not supported)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    WriteFileBytes(dir_.Join("Sites.ini"),
                   "[General]\nSuppressMessages=1\nTryNumber=2\n"
                   "NumOfSites=1\nSavePath=" +
                       c.save_path + "\n[Site1]\nName=Gallery\nBegin=" + c.begin + "\n");
    std::remove(dir_.Join("state/runs.log").c_str());
    struct StderrBoxes : MessageBoxes {
      explicit StderrBoxes(std::string runs) : runs_(std::move(runs)) {}
      void ShowInfo(const std::string&, const std::string& text) override {
        std::fprintf(stderr, "info[%s]", text.c_str());
      }
      void ShowError(const std::string& caption, const std::string& text) override {
        std::fprintf(stderr, "error[%s|%s] recorded before: %s", caption.c_str(), text.c_str(),
                     ReadFileBytes(runs_).empty() ? "no" : "yes");
      }
      bool ShowsWindows() override { return true; }
      std::string runs_;
    } stderr_boxes(dir_.Join("state/runs.log"));
    Platform platform = fakes_.Get();
    platform.boxes = &stderr_boxes;
    Invocation invocation = Started();
    invocation.file_named = true;
    invocation.file = dir_.Join("Sites.ini");
    EXPECT_EXIT(
        {
          WallpaperFetcher fetcher(platform, 1, invocation);
          fetcher.Run();
          std::exit(0);
        },
        ::testing::ExitedWithCode(101),
        "^error\\[wallpaper-fetcher\\|" + c.text.substr(0, 20) + ".*recorded before: yes");
    const std::string runs = ReadFileBytes(dir_.Join("state/runs.log"));
    EXPECT_NE(std::string::npos, runs.find(dir_.Join("Sites.ini") +
                                           "  site 1 \"Gallery\": nothing changed: " + c.recorded))
        << runs;
    EXPECT_NE(std::string::npos,
              runs.find("; shown in an error box that closes by itself after 15 minutes\r\n"))
        << runs;
  }
}

TEST(RunRecordTest, TheRunsFileKeepsTheLastHundredRuns) {
  ScopedTempDir dir;
  for (int run = 1; run <= kRunsKept + 5; ++run) {
    ASSERT_TRUE(AppendRunLine(dir.Join("state/"), "run " + std::to_string(run) + "\nsplit"));
  }
  const std::string text = ReadFileBytes(dir.Join("state/runs.log"));
  size_t lines = 0;
  for (char c : text) lines += c == '\n';
  EXPECT_EQ(static_cast<size_t>(kRunsKept), lines);
  EXPECT_EQ("run 6 split\r\n", text.substr(0, 13));  // one line a run, the oldest gone
  EXPECT_EQ("No run has been recorded yet in " + dir.Join("none/runs.log") + ".\n",
            RunStatusText(dir.Join("none/")));
  EXPECT_EQ("run 6 split\n", RunStatusText(dir.Join("state/")).substr(0, 12));

  // A line is put right where it stands, even with later lines after it;
  // a line that only ends like it is left alone, as is a file without it.
  ASSERT_TRUE(AppendRunLine(dir.Join("state/"), "the run"));
  ASSERT_TRUE(AppendRunLine(dir.Join("state/"), "gave way"));
  ASSERT_TRUE(AppendRunLine(dir.Join("state/"), "not the run"));
  EXPECT_TRUE(ReplaceRunLine(dir.Join("state/"), "the run", "the run, amended"));
  const std::string amended = ReadFileBytes(dir.Join("state/runs.log"));
  const std::string tail = "run 105 split\r\nthe run, amended\r\ngave way\r\nnot the run\r\n";
  ASSERT_GT(amended.size(), tail.size());
  EXPECT_EQ(tail, amended.substr(amended.size() - tail.size()));
  EXPECT_FALSE(ReplaceRunLine(dir.Join("state/"), "no such run", "x"));
  EXPECT_FALSE(ReplaceRunLine(dir.Join("none/"), "the run", "x"));
  EXPECT_FALSE(Exists(dir.Join("none/runs.log")));
}

}  // namespace
