// The example configuration's sites, crawled offline by the real binary: each
// site's pages are written to the structure that site serves and served on
// 127.0.0.1, the hosts of Begin and the StepNGo templates moved there.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <regex>

#include "config/ini_document.h"
#include "platform/filesystem/text_file.h"
#include "support/end_to_end.h"
#include "support/test_pictures.h"
#include "support/test_support.h"

namespace {

const char kApodPage[] = R"(<html>
<head>
<title> APOD: 2023 December 8 - NGC 1333: Stellar Nursery in Perseus
</title>
</head>
<body BGCOLOR="#F4F4FF" text="#000000" link="#0000FF" vlink="#7F0F9F" alink="#FF0000">
<center>
<h1> Astronomy Picture of the Day </h1>
<p>
<a href="archivepix.html">Discover the cosmos!</a>
Each day a different image or photograph of our fascinating universe is
featured, along with a brief explanation written by a professional astronomer.
<p>
2023 December 8
<br>
<a href="image/2312/NGC1333_Lopez_2048.jpg">
<IMG SRC="image/2312/NGC1333_Lopez_1024.jpg"
alt="See Explanation.  Clicking on the picture will download
the highest resolution version available." style="max-width:100%"></a>
</center>
<center>
<b> NGC 1333: Stellar Nursery in Perseus </b> <br>
<b> Image Credit &amp;
<a href="lib/copyright.html">Copyright</a>: </b>
<a href="https://example.org/astrophotographer">A. Photographer</a>
</center>
<p>
<center>
<a href="ap231207.html">&lt;</a>
| <a href="archivepix.html">Archive</a>
| <a href="calendar/allyears.html">Calendar</a>
| <a href="lib/apsubject.html">Index</a>
| <a href="ap231209.html">&gt;</a>
</center>
</body>
</html>
)";

const char kBingJson[] =
    R"({"images":[{"startdate":"20231208","fullstartdate":"202312080800","enddate":"20231209",)"
    R"("url":"/th?id=OHR.ConchaBelt_EN-US6625864424_1920x1080.jpg&rf=LaDigue_1920x1080.jpg&pid=hp",)"
    R"("urlbase":"/th?id=OHR.ConchaBelt_EN-US6625864424","copyright":"Concha Belt, Spain, © A. )"
    R"(Photographer","copyrightlink":"https://www.bing.com/search?q=Concha+Belt&form=hpcapt",)"
    R"("title":"Info","quiz":"/search?q=Bing+homepage+quiz&filters=WQOskey:%22HPQuiz_20231208_)"
    R"(ConchaBelt%22&FORM=HPQUIZ","wp":true,"hsh":"4a1e8d3e0dc3a0d0e0f7d1b9c6a7f5b2","drk":1,)"
    R"("top":1,"bot":1,"hs":[]}],"tooltips":{"loading":"Loading...","previous":"Previous image",)"
    R"("next":"Next image","walle":"This image is not available to download as wallpaper.",)"
    R"("walls":"Download this image. Use of this image is restricted to wallpaper only."}})";

const char kCommonsMainPage[] = R"(<!DOCTYPE html>
<html class="client-nojs" lang="en" dir="ltr">
<head><title>Wikimedia Commons</title>
<link rel="icon" href="/static/favicon/commons.ico"></head>
<body class="mediawiki page-Main_Page">
<div id="mainpage-potd" class="mainpage-box"><h2 id="mainpage-potd-header">Picture of the day</h2>
<span typeof="mw:File"><a href="/wiki/File:Hoverfly_on_a_dandelion.jpg" class="mw-file-description" title="Hoverfly on a dandelion"><img alt="Hoverfly on a dandelion" src="https://upload.wikimedia.org/wikipedia/commons/thumb/4/4c/Hoverfly_on_a_dandelion.jpg/512px-Hoverfly_on_a_dandelion.jpg" decoding="async" width="512" height="341" class="mw-file-element" srcset="https://upload.wikimedia.org/wikipedia/commons/thumb/4/4c/Hoverfly_on_a_dandelion.jpg/768px-Hoverfly_on_a_dandelion.jpg 1.5x" /></a></span>
<p>A hoverfly on a dandelion.</p></div>
<div id="mainpage-motd" class="mainpage-box"><h2>Media of the day</h2>
<span typeof="mw:File"><a href="/wiki/File:Waves_on_a_beach.webm" class="mw-file-description" title="Waves"><img src="https://upload.wikimedia.org/wikipedia/commons/thumb/1/1a/Waves_on_a_beach.webm/320px--Waves_on_a_beach.webm.jpg" class="mw-file-element" /></a></span></div>
<div id="mainpage-welcome"><a href="/wiki/File:Commons-logo.svg" class="mw-file-description"><img src="https://upload.wikimedia.org/wikipedia/commons/thumb/4/4a/Commons-logo.svg/60px-Commons-logo.svg.png" class="mw-file-element" /></a>
<a href="/wiki/Commons:Welcome">Welcome</a></div>
</body></html>
)";

const char kCommonsFilePage[] = R"(<!DOCTYPE html>
<html class="client-nojs" lang="en" dir="ltr">
<head><title>File:Hoverfly on a dandelion.jpg - Wikimedia Commons</title></head>
<body class="mediawiki ns-6 page-File_Hoverfly_on_a_dandelion_jpg">
<div class="fullImageLink" id="file"><a href="https://upload.wikimedia.org/wikipedia/commons/4/4c/Hoverfly_on_a_dandelion.jpg"><img alt="File:Hoverfly on a dandelion.jpg" src="https://upload.wikimedia.org/wikipedia/commons/thumb/4/4c/Hoverfly_on_a_dandelion.jpg/800px-Hoverfly_on_a_dandelion.jpg" decoding="async" width="800" height="533" /></a>
<div class="mw-filepage-resolutioninfo">Size of this preview: <a href="https://upload.wikimedia.org/wikipedia/commons/thumb/4/4c/Hoverfly_on_a_dandelion.jpg/800px-Hoverfly_on_a_dandelion.jpg" class="mw-thumbnail-link">800 × 533 pixels</a>. <span class="mw-filepage-other-resolutions">Other resolutions: <a href="https://upload.wikimedia.org/wikipedia/commons/thumb/4/4c/Hoverfly_on_a_dandelion.jpg/320px-Hoverfly_on_a_dandelion.jpg" class="mw-thumbnail-link">320 × 213 pixels</a> | <a href="https://upload.wikimedia.org/wikipedia/commons/thumb/4/4c/Hoverfly_on_a_dandelion.jpg/1024px-Hoverfly_on_a_dandelion.jpg" class="mw-thumbnail-link">1,024 × 682 pixels</a> | <a href="https://upload.wikimedia.org/wikipedia/commons/thumb/4/4c/Hoverfly_on_a_dandelion.jpg/1280px-Hoverfly_on_a_dandelion.jpg" class="mw-thumbnail-link">1,280 × 853 pixels</a> | <a href="https://upload.wikimedia.org/wikipedia/commons/thumb/4/4c/Hoverfly_on_a_dandelion.jpg/2560px-Hoverfly_on_a_dandelion.jpg" class="mw-thumbnail-link">2,560 × 1,706 pixels</a>.</span></div></div>
<div class="fullMedia"><p><a href="https://upload.wikimedia.org/wikipedia/commons/4/4c/Hoverfly_on_a_dandelion.jpg" class="internal" title="Hoverfly on a dandelion.jpg">Original file</a> &#8206;<span class="fileInfo">(6,000 × 4,000 pixels, file size: 9.51 MB, MIME type: <span class="mime-type">image/jpeg</span>)</span></p></div>
</body></html>
)";

class ExampleSitesTest : public EndToEndTest {
 protected:
  void SetUp() override {
    EndToEndTest::SetUp();
    ASSERT_EQ(0, ::mkdir(dir_.Join("pics").c_str(), 0755));
    example_.Parse(
        FromTextMode(ReadFileBytes(std::string(FETCHER_SOURCE_DIR) + "/examples/Sites.ini")));
  }

  // Sites.ini with the example's site `number` as its only site, its hosts
  // moved to the local server (https://HOST/ becomes http://127.0.0.1:PORT/HOST/),
  // and a debug trace.
  void ConfigureSite(int number) {
    const IniSection* site = nullptr;
    for (const IniSection& section : example_.sections()) {
      if (section.name == "Site" + std::to_string(number)) site = &section;
    }
    ASSERT_NE(nullptr, site);
    std::string text =
        "[General]\nDebugMode=1\nSuppressMessages=1\nTryNumber=1\nKeepInHistory=2\n"
        "NumOfSites=1\nSavePath=" +
        dir_.Join("pics/") + "\n\n[Site1]\n";
    const std::regex host("^https://([^/]+)/");
    const std::regex url_key("Begin|Step[0-9]+Go");
    for (const IniEntry& entry : site->entries) {
      std::string moved = entry.value;
      if (std::regex_match(entry.key, url_key)) {
        moved = std::regex_replace(entry.value, host, server_.Url("/$1/"),
                                   std::regex_constants::format_first_only);
        EXPECT_NE(entry.value, moved) << entry.key << " names no https host";
      }
      text += entry.key + "=" + moved + "\n";
    }
    WriteFileBytes(dir_.Join("prog/Sites.ini"), ToTextMode(text));
  }

  // Runs the program; returns the URL of the picture it took, as its run
  // record says, "" when it took none. (With no screen to show it on, the
  // history keeps it for a later run.)
  std::string Run(std::string* trace) {
    const ProgramResult result = EndToEndTest::Run(60000);
    EXPECT_EQ(0, result.exit_code) << result.err;
    *trace = result.out;
    const std::string status = RunWith({"--status"}).out;
    const size_t last = status.rfind('\n', status.size() - 2);
    const std::string line = status.substr(last == std::string::npos ? 0 : last + 1);
    const size_t took = line.find(": took ");
    if (took == std::string::npos) return "";
    return line.substr(took + 7, line.find(" as ", took) - took - 7);
  }

  // The picture of the run is in SavePath under `name` and became Walp.bmp.
  void ExpectWallpaperFrom(const std::string& name, const std::string& trace) {
    EXPECT_NE(std::string::npos,
              trace.find("m_strWalpFileName.data() = " + dir_.Join("pics/") + name + "\n"))
        << trace;
    EXPECT_EQ(picture_, ReadFileBytes(dir_.Join("pics/") + name));
    EXPECT_EQ("BM", ReadFileBytes(dir_.Join("pics/Walp.bmp")).substr(0, 2));
  }

  IniDocument example_;
  const std::string picture_ = GradientPicture(FIF_JPEG, 96, 54);
};

TEST_F(ExampleSitesTest, EachExampleSiteReachesItsPicture) {
  EXPECT_EQ("3", example_.GetValue("General", "NumOfSites"));
  EXPECT_EQ("0", example_.GetValue("General", "DebugMode"));
  std::string trace;

  // The astronomy picture: the full picture that the day's page links.
  server_.ServeBytes("/apod.nasa.gov/apod/astropix.html", kApodPage, "text/html");
  server_.ServeBytes("/apod.nasa.gov/apod/image/2312/NGC1333_Lopez_2048.jpg", picture_,
                     "image/jpeg");
  ConfigureSite(1);
  EXPECT_EQ(server_.Url("/apod.nasa.gov/apod/image/2312/NGC1333_Lopez_2048.jpg"), Run(&trace));
  ExpectWallpaperFrom("NGC1333_Lopez_2048.jpg", trace);

  // The search engine's picture: 1920x1080 of the day's urlbase, saved
  // under a plain name.
  server_.ServeBytes("/www.bing.com/HPImageArchive.aspx", kBingJson, "application/json");
  server_.ServeBytes("/www.bing.com/th", picture_, "image/jpeg");
  ConfigureSite(2);
  const std::string bing = server_.Url(
      "/www.bing.com/th?id=OHR.ConchaBelt_EN-US6625864424_1920x1080.jpg&/"
      "OHR.ConchaBelt_EN-US6625864424_1920x1080.jpg");
  EXPECT_EQ(bing, Run(&trace));
  ExpectWallpaperFrom("OHR.ConchaBelt_EN-US6625864424_1920x1080.jpg", trace);
  EXPECT_EQ("/www.bing.com/HPImageArchive.aspx?format=js&idx=0&n=1&mkt=en-US",
            server_.Requests().at(server_.Requests().size() - 2).target);

  // The media library: the picture of the day's file page, then one of its
  // resolutions of four digits' width (not 320 px, not the original).
  server_.ServeBytes("/commons.wikimedia.org/wiki/Main_Page", kCommonsMainPage, "text/html");
  server_.ServeBytes("/commons.wikimedia.org/wiki/File:Hoverfly_on_a_dandelion.jpg",
                     kCommonsFilePage, "text/html");
  const std::string thumbs = "/upload.wikimedia.org/wikipedia/commons/thumb/4/4c/";
  for (const char* width : {"320", "1024", "1280", "2560"}) {
    server_.ServeBytes(
        thumbs + "Hoverfly_on_a_dandelion.jpg/" + width + "px-Hoverfly_on_a_dandelion.jpg",
        picture_, "image/jpeg");
  }
  ConfigureSite(3);
  const std::string commons = Run(&trace);
  std::smatch width;
  ASSERT_TRUE(std::regex_match(
      commons, width,
      std::regex(server_.Url(thumbs) + "Hoverfly_on_a_dandelion\\.jpg/(1024|1280|2560)px-"
                                       "Hoverfly_on_a_dandelion\\.jpg")))
      << commons;
  ExpectWallpaperFrom(std::string(width[1]) + "px-Hoverfly_on_a_dandelion.jpg", trace);
}

}  // namespace
