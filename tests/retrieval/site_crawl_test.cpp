// The crawl's logic and trace, with pages served by a fake behind the
// Internet seam. End-to-end runs against a real server are in tests/e2e.
#include <FreeImage.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <set>
#include <vector>

#include "diagnostics/reporter.h"
#include "platform/filesystem/filesystem.h"
#include "retrieval/crawler.h"
#include "retrieval/picture_name.h"
#include "support/fake_internet.h"
#include "support/test_support.h"

namespace {

class SiteCrawlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fakes_.internet = &internet_;
    settings_.debug = true;
    settings_.suppress_messages = true;
    settings_.not_make_a_wallpaper = true;
    settings_.keep_in_history = 2;
    ini_.SetFileName(dir_.Join("Sites.ini"));
  }
  void Site(const std::string& text) { ini_.Parse("[General]\n[Site1]\n" + text); }
  std::string Traced() const { return fakes_.console.written; }
  // One run's attempt at site site_, as a run makes it.
  bool Crawl() {
    const Platform platform = fakes_.Get();
    const Reporter reporter(*platform.console, *platform.boxes, settings_.debug,
                            settings_.suppress_messages, "wallpaper-fetcher");
    CrawlObserver deaf;
    Downloader downloader(*platform.internet, platform.clock, reporter, deaf, CrawlMode::kRun);
    History history(ini_, settings_.keep_in_history);
    const CrawlTools tools{downloader, history, *platform.pictures, *platform.desktop,
                           reporter,   deaf,    buffer_.data(),     kTransferBufferSize};
    Crawler crawler(ini_, site_, settings_, GetDirOfPath(dir_.Join("wallpaper-fetcher")), tools,
                    CrawlMode::kRun);
    const bool taken = crawler.CrawlSite();
    seconds_ = crawler.seconds_to_download();
    last_url_ = crawler.last_url();
    return taken;
  }

  ScopedTempDir dir_;
  FakeInternet internet_;
  FakePlatform fakes_;
  IniDocument ini_;
  GeneralSettings settings_;
  int site_ = 1;
  std::vector<char> buffer_ = std::vector<char>(kTransferBufferSize);
  long seconds_ = 0;
  std::string last_url_;
};

const char kIndex[] = "<a href=\"p.jpg\">x</a> <a href=\"q.jpg\">y</a>";

TEST_F(SiteCrawlTest, SuccessfulCrawlTracesEveryStepAndPausesAfterEach) {
  settings_.suppress_messages = false;
  Site(
      "Name=Test site\nBegin=http://site/\nStep1Get=<a href=\"(p[^\"]+)\">\n"
      "Step1Go=http://site/$_1_$\n");
  internet_.bodies["http://site/"] = kIndex;
  internet_.bodies["http://site/p.jpg"] = "JPEGDATA";
  ASSERT_TRUE(Crawl());
  EXPECT_EQ(
      "Test site\n"  // the expression holds a quote: the value alone
      "strUrl.data() = http://site/\n"
      "m_lSecondsToDownload = 120\n"
      "iRet = 43\n"
      "In step 1.\n"
      "strRExpression.data() = <a href=\"(p[^\"]+)\">\n"
      "strRFormatExp.data() = http://site/$_1_$\n"
      "Found 1 links for the step 1\n"
      "pos->data() = http://site/p.jpg\n"
      "Picked 0 : http://site/p.jpg\n"
      "iRet = 8\n"
      "Press any key, one step is done\n"
      "m_strWalpFileName.data() = " +
          dir_.Join("p.jpg") +
          "\n"
          "Press any key, all steps are done\n",
      Traced());
  EXPECT_EQ("JPEGDATA", ReadFileBytes(dir_.Join("p.jpg")));
  EXPECT_FALSE(Exists(dir_.Join("temp.file")));  // moved to the picture's name
  EXPECT_EQ("http://site/p.jpg", last_url_);
  EXPECT_EQ("http://site/p.jpg", ini_.GetValue("General", "Recent1"));
  ASSERT_EQ(2u, fakes_.boxes.boxes.size());
  EXPECT_EQ("Press any key, one step is done", fakes_.boxes.boxes[0].text);
  EXPECT_EQ("Press any key, all steps are done", fakes_.boxes.boxes[1].text);
}

TEST_F(SiteCrawlTest, StepsEndAtTheFirstMissingGetKey) {
  // Step3 after a gap is never reached; the start page is the picture when
  // there is no step at all.
  Site("Begin=http://site/a/pic.png\nSecondsToDownload=soon\nStep2Get=x\nStep2Go=y\n");
  internet_.bodies["http://site/a/pic.png"] = "PNG";
  ASSERT_TRUE(Crawl());
  EXPECT_EQ(120, seconds_);  // not a number: the default
  EXPECT_EQ(std::string::npos, Traced().find("In step"));
  EXPECT_EQ("PNG", ReadFileBytes(dir_.Join("pic.png")));
}

TEST_F(SiteCrawlTest, EmptyOrMissingStepValuesFailSilently) {
  internet_.bodies["http://site/"] = kIndex;
  for (const std::string& steps :
       {std::string("Step1Get=<a\n"), std::string("Step1Get=\nStep1Go=x\n"),
        std::string("Step1Get=<a\nStep1Go=\n")}) {
    SCOPED_TRACE(steps);
    fakes_.console.written.clear();
    Site("Begin=http://site/\n" + steps);
    EXPECT_FALSE(Crawl());
    const std::string traced = Traced();
    EXPECT_NE(std::string::npos, traced.find("strRFormatExp.data() = "));
    EXPECT_EQ(std::string::npos, traced.find("Found"));
  }
  EXPECT_EQ(3u, internet_.requested.size());  // only the start pages
}

TEST_F(SiteCrawlTest, NoLinksOrNothingReceivedFailTheAttempt) {
  Site("Begin=http://site/\nStep1Get=nomatch(x)\nStep1Go=http://site/$_1_$\n");
  internet_.bodies["http://site/"] = kIndex;
  EXPECT_FALSE(Crawl());
  EXPECT_NE(
      std::string::npos,
      Traced().find("Found 0 links for the step 1\nNo following links were found on step 1\n"));

  fakes_.console.written.clear();
  Site("Begin=http://unreachable/\n");
  EXPECT_FALSE(Crawl());
  EXPECT_NE(std::string::npos, Traced().find("iRet = 0\nNoting was recieved from URL\n"));

  // A site number without a section: an empty start address is still asked for.
  fakes_.console.written.clear();
  site_ = 7;
  EXPECT_FALSE(Crawl());
  EXPECT_EQ("", internet_.requested.back());
  EXPECT_EQ(0u, Traced().find("\nstrUrl.data() = \n"));
  EXPECT_TRUE(Exists(dir_.Join("temp.file")));  // the probe made it
}

TEST_F(SiteCrawlTest, PictureNamesThatWouldNotBeAFileAreRefused) {
  for (const std::string& url : {std::string("http://site/"), std::string("http://site/.."),
                                 std::string("http://site/."), std::string("nohost")}) {
    SCOPED_TRACE(url);
    fakes_.console.written.clear();
    Site("Begin=" + url + "\n");
    internet_.bodies[url] = "data";
    EXPECT_FALSE(Crawl());
    EXPECT_NE(std::string::npos, Traced().find("Failure to detect filename of last download\n"));
    EXPECT_TRUE(Exists(dir_.path()));
    EXPECT_FALSE(Exists(dir_.Join("Walp.bmp")));
  }
}

TEST_F(SiteCrawlTest, PicturesFromAnyAddressAreSavedUnderANameOfTheirOwn) {
  // A name with a picture's extension and nothing a file name may not hold
  // is kept; any other is the last segment, the URL's hash and the format
  // the content shows, so that addresses that differ only in their query
  // never share a file.
  const std::string jpeg = std::string("\xFF\xD8\xFF\xE0", 4) + "JFIF";
  const std::string png = "\x89PNG\r\n\x1A\n....";
  const std::pair<std::string, std::string> kept[] = {
      {"http://site/a/sunset.jpg", "sunset.jpg"},
      {"http://site/a/really-png.jpg", "really-png.jpg"}};
  const std::string derived[] = {"http://cdn/photo-123?w=2400",   "http://cdn/photo-123?w=1200",
                                 "http://cdn/th?id=OHR.A&pid=hp", "http://cdn/x/",
                                 "http://cdn/p.jpg?s=1",          "http://cdn/con.png"};
  std::set<std::string> names;
  for (const std::string& url : derived) {
    SCOPED_TRACE(url);
    const std::string name = PictureFileName(url, FIF_JPEG);
    EXPECT_TRUE(IsPortableFileName(name)) << name;
    EXPECT_EQ(name.size() - 13, name.find("-" + PictureUrlHash(url) + ".jpg")) << name;
    names.insert(name);
  }
  EXPECT_EQ(6u, names.size());
  EXPECT_EQ("photo-123-" + PictureUrlHash("http://cdn/photo-123?w=2400") + ".jpg",
            PictureFileName("http://cdn/photo-123?w=2400", FIF_JPEG));
  EXPECT_EQ("p-" + PictureUrlHash("http://cdn/p.jpg?s=1") + ".png",
            PictureFileName("http://cdn/p.jpg?s=1", FIF_PNG));
  EXPECT_EQ("picture-" + PictureUrlHash("http://cdn/x/") + ".jpg",
            PictureFileName("http://cdn/x/", FIF_JPEG));
  // Not a picture by its content either: today's name where it is one,
  // none where nothing is left to name it by.
  EXPECT_EQ("data", PictureFileName("http://cdn/data", -1));
  EXPECT_EQ("th-" + PictureUrlHash("http://cdn/th?id=1"),
            PictureFileName("http://cdn/th?id=1", -1));
  EXPECT_EQ("", PictureFileName("http://cdn/", -1));
  EXPECT_EQ("", PictureFileName("nohost", FIF_JPEG));

  // Through the crawl: the file lands under that name, the URL is the one
  // remembered.
  for (const auto& [url, name] : kept) {
    Site("Begin=" + url + "\n");
    internet_.bodies[url] = url.find("png") != std::string::npos ? png : jpeg;
    EXPECT_TRUE(Crawl());
    EXPECT_TRUE(Exists(dir_.Join(name))) << name;
  }
  for (const std::string url : {"http://cdn/th?id=A", "http://cdn/th?id=B"}) {
    Site("Begin=" + url + "\n");
    internet_.bodies[url] = jpeg + url;
    EXPECT_TRUE(Crawl());
    EXPECT_EQ(jpeg + url, ReadFileBytes(dir_.Join("th-" + PictureUrlHash(url) + ".jpg")));
    EXPECT_TRUE(History(ini_, settings_.keep_in_history).Contains(url));
  }
}

TEST_F(SiteCrawlTest, HistoryIsAskedBeforeAnExistingFileIsReplaced) {
  Site("Begin=http://site/p.jpg\n");
  internet_.bodies["http://site/p.jpg"] = "NEW";
  WriteFileBytes(dir_.Join("p.jpg"), "USER'S COPY");
  ini_.SetValue("General", "Recent1", "http://site/p.jpg", true);

  EXPECT_FALSE(Crawl());  // already taken: the user's file stays
  EXPECT_EQ("USER'S COPY", ReadFileBytes(dir_.Join("p.jpg")));
  EXPECT_EQ(std::string::npos, Traced().find("This file already exists"));
  EXPECT_EQ("NEW", ReadFileBytes(dir_.Join("temp.file")));

  ini_.SetValue("General", "Recent1", "http://site/other.jpg", true);
  fakes_.console.written.clear();
  EXPECT_TRUE(Crawl());
  EXPECT_NE(std::string::npos,
            Traced().find("This file already exists, will be replaced by a new one.\n"));
  EXPECT_EQ("NEW", ReadFileBytes(dir_.Join("p.jpg")));
}

TEST_F(SiteCrawlTest, PagesFromTheWebCannotLeadToLocalFiles) {
  // A web page's link to this machine's files is not fetched: its text
  // could otherwise travel on in the next step's link.
  Site(
      "Begin=http://site/\nStep1Get=href=\"([^\"]+)\"\nStep1Go=$_1_$\n"
      "Step2Get=(.*)\nStep2Go=http://site/leak?$_1_$\n");
  for (const char* local : {"file:///etc/hostname", "FILE:///etc/hostname"}) {
    SCOPED_TRACE(local);
    fakes_.console.written.clear();
    internet_.requested.clear();
    internet_.bodies["http://site/"] = std::string("<a href=\"") + local + "\">";
    EXPECT_FALSE(Crawl());
    EXPECT_EQ((std::vector<std::string>{"http://site/"}), internet_.requested);
    EXPECT_NE(std::string::npos,
              Traced().find("Something wrong while getting remote file\niRet = 0\n"
                            "Noting was recieved from URL\n"));
  }
  // A site kept on this machine may link its own files.
  internet_.requested.clear();
  Site("Begin=file:///gallery/index.html\nStep1Get=href=\"([^\"]+)\"\nStep1Go=$_1_$\n");
  internet_.bodies["file:///gallery/index.html"] = "<a href=\"file:///gallery/view.jpg\">";
  internet_.bodies["file:///gallery/view.jpg"] = "JPEG";
  EXPECT_TRUE(Crawl());
  EXPECT_EQ("JPEG", ReadFileBytes(dir_.Join("view.jpg")));
}

}  // namespace
