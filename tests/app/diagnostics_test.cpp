#include "app/diagnostics.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <memory>
#include <string>

#include "app/wallpaper_fetcher.h"
#include "support/test_support.h"

namespace {

class DiagnosticsTest : public ::testing::Test {
 protected:
  void SetUp() override { fetcher_ = std::make_unique<WallpaperFetcher>(fakes_.Get(), 1); }
  void TearDown() override {
    fetcher_.reset();
    CloseLog();
    SetTraceConsole(nullptr);
  }
  FakePlatform fakes_;
  std::unique_ptr<WallpaperFetcher> fetcher_;
};

TEST(FormatTest, ExpandsAndNeverTruncatesOrOverflows) {
  EXPECT_EQ("", Format(nullptr));
  EXPECT_EQ("Site12", Format("Site%d", 12));
  EXPECT_EQ("Found 3 links for the step 2", Format("Found %d links for the step %d", 3, 2));
  const std::string long_text(5000, 'x');
  const std::string formatted = Format("<%s>", long_text.c_str());
  EXPECT_EQ(5002u, formatted.size());
  EXPECT_EQ('>', formatted.back());
}

TEST_F(DiagnosticsTest, TraceLineFormats) {
  Trace("strUrl.data()", std::string("http://a/b"));
  Trace("Format(\"Going to a %d try\",iAttempt).data()", Format("Going to a %d try", 0));
  Trace("iRet", 12345);
  Trace("m_lSecondsToDownload", -1L);
  Trace("m_lSecondsToDownload", 60L);
  Trace("m_strSavePath.data()", std::string());
  EXPECT_EQ(
      "strUrl.data() = http://a/b\n"
      "Going to a 0 try\n"
      "iRet = 12345\n"
      "m_lSecondsToDownload = 4294967295\n"
      "m_lSecondsToDownload = 60\n"
      "m_strSavePath.data() = \n",
      fakes_.console.written);
}

TEST_F(DiagnosticsTest, MessageRoutingFollowsDebugAndSuppressFlags) {
  struct Case {
    int debug, suppress;
    bool traced, boxed;
  } cases[] = {{0, 0, false, false}, {0, 1, false, false}, {1, 1, true, false}, {1, 0, true, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "debug " << c.debug << " suppress " << c.suppress);
    fakes_.console.written.clear();
    fakes_.boxes.boxes.clear();
    fetcher_->m_yDebug = static_cast<uint8_t>(c.debug);
    fetcher_->m_ySuppressMessages = static_cast<uint8_t>(c.suppress);
    fetcher_->ShowMessage("Couldn't convert file to BMP");
    fetcher_->TraceMessage("Noting was recieved from URL");
    EXPECT_EQ(c.traced ? "Couldn't convert file to BMP\nNoting was recieved from URL\n" : "",
              fakes_.console.written);
    ASSERT_EQ(c.boxed ? 1u : 0u, fakes_.boxes.boxes.size());
    if (c.boxed) {
      EXPECT_FALSE(fakes_.boxes.boxes[0].error);
      EXPECT_EQ("Message", fakes_.boxes.boxes[0].caption);
      EXPECT_EQ("Couldn't convert file to BMP", fakes_.boxes.boxes[0].text);
    }
  }
}

TEST_F(DiagnosticsTest, LogGetsHeaderAndAppendsWithCrLf) {
  ScopedTempDir dir;
  const std::string log = dir.Join("log.log");
  WriteFileBytes(log, "old\r\n");
  OpenLog(log);
  Trace("iRet", 7);
  Trace("\"Noting was recieved from URL\"", std::string("Noting was recieved from URL"));
  CloseLog();
  OpenLog(log);
  Trace("iRet", 8);
  CloseLog();

  const std::string text = ReadFileBytes(log);
  // old, two empty lines, the header with ctime's text, the lines; again.
  const std::string header_start = "old\r\n\r\n\r\n--------- ";
  ASSERT_EQ(header_start, text.substr(0, header_start.size()));
  const size_t first_end = text.find("\r\n", header_start.size());
  const std::string when = text.substr(header_start.size(), first_end - header_start.size());
  EXPECT_EQ(24u, when.size()) << when;  // "Tue Dec  8 18:24:38 2026"
  EXPECT_EQ("iRet = 7\r\nNoting was recieved from URL\r\n\r\n\r\n--------- ",
            text.substr(first_end + 2, 54));
  EXPECT_NE(std::string::npos, text.find("\r\niRet = 8\r\n"));
  EXPECT_EQ(std::string::npos, text.find("\n\n"));  // every LF is preceded by CR

  // A log that cannot be opened: the console still gets the line.
  fakes_.console.written.clear();
  OpenLog(dir.Join("missing-dir/log.log"));
  Trace("iRet", 9);
  CloseLog();
  EXPECT_EQ("iRet = 9\n", fakes_.console.written);
  EXPECT_FALSE(Exists(dir.Join("missing-dir")));
}

TEST_F(DiagnosticsTest, FatalErrorShowsTheBoxWhateverTheFlagsAndExits101) {
  ScopedTempDir dir;
  const std::string log = dir.Join("log.log");
  EXPECT_EXIT(
      {
        fetcher_->m_yDebug = 1;
        OpenLog(log);
        Trace("iRet", 1);
        fetcher_->FatalError("Can't find file on the server...");
      },
      ::testing::ExitedWithCode(101), "");
  // The traced lines reached the log before the process ended.
  const std::string text = ReadFileBytes(log);
  EXPECT_NE(std::string::npos, text.find("iRet = 1\r\nCan't find file on the server...\r\n"));

  // Outside debug mode, and with messages suppressed, the error box is still
  // shown, captioned with the program's name.
  struct StderrBoxes : MessageBoxes {
    void ShowInfo(const std::string& caption, const std::string& text) override {
      std::fprintf(stderr, "info[%s|%s]", caption.c_str(), text.c_str());
    }
    void ShowError(const std::string& caption, const std::string& text) override {
      std::fprintf(stderr, "error[%s|%s]", caption.c_str(), text.c_str());
    }
  } stderr_boxes;
  Platform platform = fakes_.Get();
  platform.boxes = &stderr_boxes;
  EXPECT_EXIT(
      {
        WallpaperFetcher quiet(platform, 1);
        quiet.m_ySuppressMessages = 1;
        quiet.FatalError("Wrong ini file, no general section");
      },
      ::testing::ExitedWithCode(101), "error\\[.+\\|Wrong ini file, no general section\\]");
}

}  // namespace
