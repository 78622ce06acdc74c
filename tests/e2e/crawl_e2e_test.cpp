// Whole runs of the real binary against a real HTTP server on 127.0.0.1.
#include <FreeImage.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <regex>

#include "support/end_to_end.h"
#include "support/test_pictures.h"
#include "support/test_support.h"
#include "support/virtual_screen.h"

namespace {

// The demo gallery served as a site.
class CrawlEndToEndTest : public EndToEndTest {
 protected:
  void SetUp() override {
    EndToEndTest::SetUp();
    const std::string gallery = std::string(FETCHER_SOURCE_DIR) + "/demo/gallery/";
    server_.ServeDirectory("/", gallery);
    server_.ServeFile("/", gallery + "index.html", "text/html");
  }

  void Configure(const std::string& general, const std::string& site) {
    WriteSitesIni(general, "Test gallery", 20, site);
  }

  // The demo gallery's three steps, ending in the picture named by `last`.
  std::string GallerySite(const std::string& last = "1920x1080") {
    const std::string base = server_.Url("/");
    return "Begin=" + base +
           "\nStep1Get=<a class=\"category\" href=\"/([^\"]+)\">\nStep1Go=" + base +
           "$_1_$\nStep2Get=<a href=\"/(wallpaper/[^\"]+)\"><img\nStep2Go=" + base +
           "$_1_$\nStep3Get=<a class=\"download\" href=\"/(files/[^\"]+)\">" + last +
           "</a>\nStep3Go=" + base + "$_1_$\n";
  }
};

TEST_F(CrawlEndToEndTest, GalleryInThreeStepsBecomesTheWallpaper) {
  Configure("TryNumber=3\nKeepInHistory=3\nSavePath=pics/\n", GallerySite());
  ASSERT_EQ(0, ::mkdir(dir_.Join("prog/pics").c_str(), 0755));
  ProgramResult result = Run();
  ASSERT_EQ(0, result.exit_code) << result.err;

  std::smatch picked;
  const std::regex final_name(
      "m_strWalpFileName\\.data\\(\\) = (.*/pics/([a-z]+-1920x1080\\.jpg))\n");
  ASSERT_TRUE(std::regex_search(result.out, picked, final_name)) << result.out;
  const std::string picture = picked[1];
  EXPECT_EQ(dir_.Join("prog/pics/") + std::string(picked[2]), picture);
  EXPECT_EQ(ReadFileBytes(std::string(FETCHER_SOURCE_DIR) + "/demo/gallery/files/" +
                          std::string(picked[2])),
            ReadFileBytes(picture));
  const std::string bmp = ReadFileBytes(dir_.Join("prog/pics/Walp.bmp"));
  ASSERT_GT(bmp.size(), 1920u * 1080u * 3u);
  EXPECT_EQ("BM", bmp.substr(0, 2));
  EXPECT_FALSE(Exists(dir_.Join("prog/pics/temp.file")));
  // No display, no desktop: nobody saw it, so it is not used up.
  EXPECT_EQ("", General("Recent2"));
  const std::string status = RunWith({"--status"}).out;
  const size_t took = status.find(": took " + server_.Url("/files/") + std::string(picked[2]) +
                                  " as " + picture + "; not shown: ");
  EXPECT_NE(std::string::npos, took) << status;
  EXPECT_LT(took, status.find("; kept for a later run [desktop: ")) << status;
  // One attempt, three steps, each traced; the site's requests in order.
  EXPECT_NE(std::string::npos, result.out.find("Going to a 0 try\n"));
  EXPECT_EQ(std::string::npos, result.out.find("Going to a 1 try\n"));
  EXPECT_NE(std::string::npos, result.out.find("In step 3.\n"));
  EXPECT_NE(std::string::npos, result.out.find("Press any key, all steps are done\n"));
  EXPECT_EQ(1, server_.RequestCount("/"));
  EXPECT_EQ(4u, server_.Requests().size());
  EXPECT_NE(std::string::npos, ReadFileBytes(dir_.Join("prog/log.log")).find("In step 3.\r\n"));
}

TEST_F(CrawlEndToEndTest, HistoryRefusesThePictureNextTime) {
  // Only one picture can be reached: the lake, through its own category page.
  server_.ServeBytes("/only.html", "<a class=\"category\" href=\"/wallpaper/lake.html\">x</a>",
                     "text/html");
  std::string site = GallerySite();
  site.replace(site.find("Begin=") + 6, server_.Url("/").size(), server_.Url("/only.html"));
  site = std::regex_replace(site, std::regex("Step2Get=.*\nStep2Go=.*\n"), "");
  site = std::regex_replace(site, std::regex("Step3"), "Step2");
  Configure("TryNumber=2\nKeepInHistory=5\n", site);
  const std::string url = server_.Url("/files/lake-1920x1080.jpg");
  const std::string unseen = ReadFileBytes(dir_.Join("prog/Sites.ini"));

  // Without a screen the picture is fetched, shown to nobody and kept for a
  // later run: Sites.ini is not rewritten.
  ASSERT_EQ(0, Run().exit_code);
  EXPECT_EQ(unseen, ReadFileBytes(dir_.Join("prog/Sites.ini")));

  // Shown on a screen (the X root window), it is remembered.
  VirtualScreen screen;
  if (screen.missing()) GTEST_SKIP() << "Xvfb is not installed";
  ASSERT_NE("", screen.display()) << "Xvfb did not start";
  std::map<std::string, std::string> on_screen = NoDesktop();
  on_screen["DISPLAY"] = screen.display();
  ProgramResult first = RunProgram({program_}, dir_.path(), on_screen, 120000);
  ASSERT_EQ(0, first.exit_code) << first.err;
  ASSERT_EQ(url, General("Recent4")) << first.out << first.err;
  const std::string saved = ReadFileBytes(dir_.Join("prog/Sites.ini"));
  WriteFileBytes(dir_.Join("prog/lake-1920x1080.jpg"), "the user's own copy");

  ProgramResult second = Run();
  EXPECT_EQ(0, second.exit_code);
  EXPECT_NE(std::string::npos, second.out.find("Going to a 1 try\n"));
  EXPECT_EQ(std::string::npos, second.out.find("all steps are done"));
  EXPECT_EQ(saved, ReadFileBytes(dir_.Join("prog/Sites.ini")));  // not rewritten
  EXPECT_EQ("the user's own copy", ReadFileBytes(dir_.Join("prog/lake-1920x1080.jpg")));
  EXPECT_EQ(4, server_.RequestCount("/only.html"));  // two runs, then two attempts
  // The pages are fetched again (a site's new picture is still found), the
  // known picture is refused by its URL, never downloaded again.
  EXPECT_EQ(4, server_.RequestCount("/wallpaper/lake.html"));
  EXPECT_EQ(2, server_.RequestCount("/files/lake-1920x1080.jpg"));

  // Every run says what it did.
  const std::string status = RunWith({"--status"}).out;
  const std::string sites_ini = dir_.Join("prog/Sites.ini");
  const std::string took = sites_ini + "  site 1 \"Test gallery\": took " + url + " as " +
                           dir_.Join("prog/lake-1920x1080.jpg") + "; ";
  EXPECT_NE(std::string::npos, status.find(took + "not shown: ")) << status;
  EXPECT_NE(std::string::npos, status.find("; kept for a later run [desktop: ")) << status;
  EXPECT_NE(std::string::npos, status.find(took + "the desktop took it [")) << status;
  EXPECT_NE(std::string::npos,
            status.find(sites_ini + "  site 1 \"Test gallery\": nothing changed: every link found "
                                    "was already in the history\n"))
      << status;
}

TEST_F(CrawlEndToEndTest, EveryAttemptGoesToTheSameSite) {
  server_.ServeBytes("/empty.html", "<p>no links here</p>", "text/html");
  Configure("TryNumber=3\nKeepInHistory=5\n", "Begin=" + server_.Url("/empty.html") +
                                                  "\nStep1Get=href=\"([^\"]+)\"\nStep1Go=x$_1_$\n");
  ProgramResult result = Run();
  EXPECT_EQ(0, result.exit_code);
  EXPECT_EQ(3, server_.RequestCount("/empty.html"));
  for (int i = 0; i < 3; ++i) {
    EXPECT_NE(std::string::npos, result.out.find("Going to a " + std::to_string(i) + " try\n"));
  }
  EXPECT_EQ(3u, Count(result.out, "No following links were found on step 1\n"));
}

TEST_F(CrawlEndToEndTest, NotMakeAWallpaperWithDeleteLastKeepsOnlyTheHistory) {
  Configure("TryNumber=1\nKeepInHistory=2\nNotMakeAWallpaper=1\nDeleteLast=1\n", GallerySite());
  ProgramResult result = Run();
  ASSERT_EQ(0, result.exit_code);
  EXPECT_NE(std::string::npos, result.out.find("Press any key, all steps are done\n"));
  EXPECT_NE("", General("Recent1"));
  EXPECT_FALSE(Exists(dir_.Join("prog/Walp.bmp")));
  // Only the program, its configuration and its log remain.
  for (const char* name : {"lake-1920x1080.jpg", "dunes-1920x1080.jpg", "sunset-1920x1080.jpg",
                           "forest-1920x1080.jpg", "temp.file"}) {
    EXPECT_FALSE(Exists(dir_.Join(std::string("prog/") + name))) << name;
  }
}

// A picture of a format refused says so and takes the old Walp.bmp with it;
// one over the width configured is refused silently, the old Walp.bmp kept;
// one at that width is taken. (A page served as a picture: hostile_server_test.)
TEST_F(CrawlEndToEndTest, RefusedPicturesFailTheAttemptAndOnesWithinTheLimitsAreTaken) {
  const std::string gif = GradientPicture(FIF_GIF, 64, 64);
  ASSERT_EQ(0, gif.compare(0, 6, "GIF89a"));
  ASSERT_GT(gif.size(), 100u);  // a whole picture, refused for its format alone
  server_.ServeBytes("/p/anim.gif", gif, "image/gif");
  server_.ServeBytes("/p/w640.bmp", GradientPicture(FIF_BMP, 640, 100), "image/bmp");
  server_.ServeBytes("/p/w641.bmp", GradientPicture(FIF_BMP, 641, 100), "image/bmp");
  struct Case {
    std::string path;
    bool said;
    std::string walp;  // how Walp.bmp starts afterwards, "" when it is gone
  } cases[] = {
      {"/p/anim.gif", true, ""}, {"/p/w641.bmp", false, "pr"}, {"/p/w640.bmp", false, "BM"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    Configure("TryNumber=1\nKeepInHistory=2\nMaxWallpWidth=640\nMaxWallpHeight=480\n",
              "Begin=" + server_.Url(c.path) + "\n");
    WriteFileBytes(dir_.Join("prog/Walp.bmp"), "previous");
    const ProgramResult result = Run();
    EXPECT_EQ(0, result.exit_code);
    EXPECT_EQ(c.said, result.out.find("Couldn't convert file to BMP\n") != std::string::npos);
    EXPECT_EQ(c.walp, ReadFileBytes(dir_.Join("prog/Walp.bmp")).substr(0, 2));
    EXPECT_EQ("", General("Recent1"));  // refused, or shown to nobody
  }

  // What the server sent in the picture's place, as the run's record says.
  server_.ServeBytes("/p/moved.jpg", "<html><body>Moved</body></html>", "text/html");
  server_.ServeBytes("/p/gone.html", "<html><body>Gone</body></html>", "text/html", 410);
  const struct {
    std::string site, said;
  } answers[] = {
      {"Begin=" + server_.Url("/p/moved.jpg") + "\n",
       "the picture could not be decoded (its header cannot be read as JPEG; the server sent HTTP "
       "200, text/html)"},
      {"Begin=" + server_.Url("/p/gone.jpg") + "\n",
       "the picture could not be decoded (its header cannot be read as JPEG; the server sent HTTP "
       "404, text/plain)"},
      {"Begin=" + server_.Url("/p/gone.html") + "\nStep1Get=href=\"([^\"]+)\"\nStep1Go=$_1_$\n",
       "step 1 found no link in " + server_.Url("/p/gone.html") + " (HTTP 410, text/html)"},
  };
  for (const auto& answer : answers) {
    Configure("TryNumber=1\n", answer.site);
    EXPECT_EQ(0, Run().exit_code);
    const std::string status = RunWith({"--status"}).out;
    EXPECT_NE(std::string::npos, status.find(": nothing changed: " + answer.said + "\n")) << status;
  }
}

TEST_F(CrawlEndToEndTest, SavePathIsTakenFromTheProgramDirectoryAndMustExist) {
  server_.ServeBytes("/p/small.png", GradientPicture(FIF_PNG, 32, 24), "image/png");
  ASSERT_EQ(0, ::mkdir(dir_.Join("prog/pics").c_str(), 0755));
  Configure("TryNumber=1\nKeepInHistory=0\nSavePath=pics/\n",
            "Begin=" + server_.Url("/p/small.png") + "\n");
  EXPECT_EQ(0, Run().exit_code);
  EXPECT_TRUE(Exists(dir_.Join("prog/pics/small.png")));
  EXPECT_TRUE(Exists(dir_.Join("prog/pics/Walp.bmp")));

  // Without the trailing "/" the name becomes a prefix of every file.
  Configure("TryNumber=1\nKeepInHistory=0\nSavePath=pics\n",
            "Begin=" + server_.Url("/p/small.png") + "\n");
  EXPECT_EQ(0, Run().exit_code);
  EXPECT_TRUE(Exists(dir_.Join("prog/picssmall.png")));
  EXPECT_TRUE(Exists(dir_.Join("prog/picsWalp.bmp")));
  EXPECT_FALSE(Exists(dir_.Join("prog/pics/picssmall.png")));

  // A directory that is not there ends the run before anything is fetched.
  const size_t requests = server_.Requests().size();
  Configure("TryNumber=3\nSavePath=no-such-dir/\n", GallerySite());
  const ProgramResult missing = Run();
  EXPECT_EQ(101, missing.exit_code);
  EXPECT_NE(std::string::npos, missing.out.find("\nPlease, check if this path exists: " +
                                                dir_.Join("prog/no-such-dir/temp.file") + "\n"))
      << missing.out;
  EXPECT_EQ(
      "wallpaper-fetcher: Can't create temp file, most probably problem with SavePath var in INI "
      "file\nSavePath gives the folder " +
          dir_.Join("prog/no-such-dir/") + ": No such file or directory\n",
      missing.err);
  EXPECT_EQ(requests, server_.Requests().size());
}

}  // namespace
