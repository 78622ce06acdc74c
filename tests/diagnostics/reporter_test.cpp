#include "diagnostics/reporter.h"

#include <gtest/gtest.h>

#include <string>

#include "support/test_support.h"

namespace {

class ReporterTest : public ::testing::Test {
 protected:
  void TearDown() override { CloseLog(); }
  Reporter Make(bool debug, bool suppress) {
    return Reporter(fakes_.console, fakes_.boxes, debug, suppress, "wallpaper-fetcher");
  }
  FakePlatform fakes_;
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

TEST_F(ReporterTest, TraceLineFormatsOnlyInDebugMode) {
  Make(/*debug=*/false, false).Trace("iRet", 1);
  EXPECT_EQ("", fakes_.console.written);
  const Reporter reporter = Make(/*debug=*/true, false);
  reporter.Trace("strUrl.data()", std::string("http://a/b"));
  reporter.Trace("Format(\"Going to a %d try\",iAttempt).data()", Format("Going to a %d try", 0));
  reporter.Trace("iRet", 12345);
  reporter.Trace("m_lSecondsToDownload", -1L);
  reporter.Trace("m_lSecondsToDownload", 60L);
  reporter.Trace("m_strSavePath.data()", std::string());
  EXPECT_EQ(
      "strUrl.data() = http://a/b\n"
      "Going to a 0 try\n"
      "iRet = 12345\n"
      "m_lSecondsToDownload = 4294967295\n"
      "m_lSecondsToDownload = 60\n"
      "m_strSavePath.data() = \n",
      fakes_.console.written);
}

TEST_F(ReporterTest, MessageRoutingFollowsDebugAndSuppressFlags) {
  struct Case {
    int debug, suppress;
    bool traced, boxed;
  } cases[] = {{0, 0, false, false}, {0, 1, false, false}, {1, 1, true, false}, {1, 0, true, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "debug " << c.debug << " suppress " << c.suppress);
    fakes_.console.written.clear();
    fakes_.boxes.boxes.clear();
    const Reporter reporter = Make(c.debug != 0, c.suppress != 0);
    reporter.ShowMessage("Couldn't convert file to BMP");
    reporter.TraceMessage("Noting was recieved from URL");
    EXPECT_EQ(c.traced ? "Couldn't convert file to BMP\nNoting was recieved from URL\n" : "",
              fakes_.console.written);
    ASSERT_EQ(c.boxed ? 1u : 0u, fakes_.boxes.boxes.size());
    if (c.boxed) {
      EXPECT_FALSE(fakes_.boxes.boxes[0].error);
      EXPECT_EQ("Message", fakes_.boxes.boxes[0].caption);
      EXPECT_EQ("Couldn't convert file to BMP", fakes_.boxes.boxes[0].text);
    }
  }
  // The fatal box is shown whatever the switches, captioned with the name.
  fakes_.boxes.boxes.clear();
  Make(false, true).ShowFatal("Wrong ini file, no general section", "");
  ASSERT_EQ(1u, fakes_.boxes.boxes.size());
  EXPECT_TRUE(fakes_.boxes.boxes[0].error);
  EXPECT_EQ("wallpaper-fetcher", fakes_.boxes.boxes[0].caption);
  EXPECT_EQ("wallpaper-fetcher", ApplicationName(""));
  EXPECT_EQ("wallpaper-fetcher", ApplicationName("C:/Tools/wallpaper-fetcher.com"));
  EXPECT_EQ("wf", ApplicationName("/opt/bin/wf"));
}

TEST_F(ReporterTest, LogGetsHeaderAndAppendsWithCrLf) {
  const Reporter reporter = Make(/*debug=*/true, false);
  ScopedTempDir dir;
  const std::string log = dir.Join("log.log");
  WriteFileBytes(log, "old\r\n");
  OpenLog(log);
  reporter.Trace("iRet", 7);
  reporter.TraceMessage("Noting was recieved from URL");
  CloseLog();
  OpenLog(log);
  reporter.Trace("iRet", 8);
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
  reporter.Trace("iRet", 9);
  CloseLog();
  EXPECT_EQ("iRet = 9\n", fakes_.console.written);
  EXPECT_FALSE(Exists(dir.Join("missing-dir")));
}

}  // namespace
