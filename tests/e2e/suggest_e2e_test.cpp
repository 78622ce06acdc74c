// wallpaper-fetcher --suggest as a user runs it: the real binary against
// galleries of the kinds found on the web, served on 127.0.0.1, each on two
// days; the section suggested on the first day must still reach a full-size
// picture on the second, when the gallery shows new pictures under new
// names and folders.
#include <gtest/gtest.h>
#include <httplib.h>
#include <sys/stat.h>

#include <algorithm>
#include <functional>
#include <map>
#include <regex>
#include <set>

#include "platform/filesystem/text_file.h"
#include "support/end_to_end.h"
#include "support/test_pictures.h"

namespace {

// The full size of every gallery's pictures, and the smaller ones they offer.
constexpr int kFullWidth = 1600, kFullHeight = 900;

class SuggestEndToEndTest : public EndToEndTest {
 protected:
  // A JPEG of the size (made once per size).
  const std::string& Jpeg(int width, int height) {
    std::string& bytes = pictures_[{width, height}];
    if (bytes.empty()) bytes = GradientPicture(FIF_JPEG, width, height);
    return bytes;
  }
  void Html(const std::string& path, const std::string& body) {
    server_.ServeBytes(path,
                       "<!DOCTYPE html>\n<html><head><title>t</title></head><body>\n" + body +
                           "\n</body></html>\n",
                       "text/html");
  }
  void Picture(const std::string& path, int width, int height) {
    server_.ServeBytes(path, Jpeg(width, height), "image/jpeg");
  }

  // --suggest URL: the section it printed, after checking the bounds.
  std::string Suggest(const std::string& path) {
    std::remove(dir_.Join("prog/Sites.ini").c_str());
    const size_t before = server_.Requests().size();
    const ProgramResult result = RunWith({"--suggest", server_.Url(path)});
    EXPECT_EQ(0, result.exit_code) << result.out << result.err;
    const auto requests = server_.Requests();
    EXPECT_LE(requests.size() - before, 60u);
    for (size_t i = before; i < requests.size(); ++i)
      EXPECT_EQ(0u, requests[i].user_agent.find("wallpaper-fetcher/")) << requests[i].target;
    std::cout << "suggested for " << path << ":\n" << result.out;
    return result.out;
  }

  // The section as Sites.ini's [Site1], then --check: the picture it
  // reached, "" when it reached none; `name_part` must be in its URL.
  void ExpectCheckReaches(const std::string& section, const std::string& name_part,
                          const std::string& size = "1600x900") {
    WriteFileBytes(dir_.Join("prog/Sites.ini"),
                   ToTextMode("[General]\nNumOfSites=1\nTryNumber=1\nKeepInHistory=0\n" + section));
    const ProgramResult check = RunWith({"--check"});
    EXPECT_EQ(0, check.exit_code) << section << check.out << check.err;
    EXPECT_NE(std::string::npos, check.out.find(size + ", would be taken")) << check.out;
    last_picked_.clear();
    const std::regex picked("picked link [0-9]+: ([^\n]+)\n");
    for (std::sregex_iterator it(check.out.begin(), check.out.end(), picked), end; it != end; ++it)
      last_picked_ = (*it)[1].str();
    EXPECT_NE(std::string::npos, last_picked_.find(name_part)) << check.out;
  }
  std::string last_picked_;

  // Day one, the suggestion, day two; each check ends at a picture whose
  // address holds that day's name.
  void ExpectBothDays(const std::function<void(int day)>& serve, const std::string& path,
                      const std::string& day1_name, const std::string& day2_name) {
    serve(1);
    const std::string section = Suggest(path);
    ASSERT_NE(std::string::npos, section.find("\n[Site1]\n")) << section;
    ExpectCheckReaches(section, day1_name);
    serve(2);
    ExpectCheckReaches(section, day2_name);
  }

  std::map<std::pair<int, int>, std::string> pictures_;
};

const char* const kDay1[] = {"aurora-fjord-101", "crimson-dunes-102", "still-lake-103"};
const char* const kDay2[] = {"midnight-sun-over-lofoten-201", "fog-204", "salt-flats-at-dawn-207"};

TEST_F(SuggestEndToEndTest, ResolutionPagesGiveTheLargestDownloadOfEachPage) {
  ExpectBothDays(
      [&](int day) {
        std::string grid =
            "<div class=\"nav\"><a href=\"/\"><img src=\"/static/logo.png\"></a>"
            " <a href=\"/about\">About</a> <a href=\"/page/2\">Next</a></div>\n";
        for (const char* name : day == 1 ? kDay1 : kDay2) {
          const std::string n = name;
          grid += "<div class=\"thumb\"><a href=\"/w/" + n + "\"><img src=\"/thumbs/" + n +
                  "-240x135.jpg\" alt=\"" + n + "\"></a></div>\n";
          Picture("/thumbs/" + n + "-240x135.jpg", 240, 135);
          Picture("/download/" + n + "-1280x720.jpg", 1280, 720);
          Picture("/download/" + n + "-1600x900.jpg", kFullWidth, kFullHeight);
          Picture("/previews/" + n + ".jpg", 800, 450);
          Html("/w/" + n, "<h1>" + n + "</h1><img src=\"/previews/" + n +
                              ".jpg\">\n<ul class=\"downloads\">\n<li><a href=\"/download/" + n +
                              "-1280x720.jpg\">1280x720</a></li>\n<li><a href=\"/download/" + n +
                              "-1600x900.jpg\">1600x900</a></li>\n</ul>\n<div class=\"related\">"
                              "<a href=\"/w/" +
                              std::string(kDay1[0]) + "\">more</a></div>");
        }
        server_.ServeBytes("/static/logo.png", GradientPicture(FIF_PNG, 120, 40), "image/png");
        Html("/about", "<p>About this gallery</p>");
        Html("/page/2", "<p>Older wallpapers</p>");
        Html("/", grid);
      },
      "/", "-101-1600x900", "-20");
}

TEST_F(SuggestEndToEndTest, APhotoBlogGivesTheOriginalsOfItsSourceSets) {
  ExpectBothDays(
      [&](int day) {
        const std::string folder =
            day == 1 ? "/wp-content/uploads/2024/05/" : "/wp-content/uploads/2024/06/";
        std::string page = "<header><img src=\"/wp-content/themes/blog/logo.png\"></header>\n";
        for (const char* name : day == 1 ? kDay1 : kDay2) {
          const std::string n = folder + name;
          page += "<article><a href=\"/" + std::string(name) + "/\"><img width=\"240\" src=\"" + n +
                  "-240x135.jpg\" srcset=\"" + n + "-240x135.jpg 240w, " + n +
                  "-800x450.jpg 800w, " + n +
                  ".jpg 1600w\" sizes=\"(max-width: 240px) 100vw\">"
                  "</a></article>\n";
          Picture(n + "-240x135.jpg", 240, 135);
          Picture(n + "-800x450.jpg", 800, 450);
          Picture(n + ".jpg", kFullWidth, kFullHeight);
          Html("/" + std::string(name) + "/", "<p>A post</p>");
        }
        server_.ServeBytes("/wp-content/themes/blog/logo.png", GradientPicture(FIF_PNG, 200, 50),
                           "image/png");
        Html("/blog/", page);
      },
      "/blog/", "/2024/05/", "/2024/06/");
}

}  // namespace

namespace {

TEST_F(SuggestEndToEndTest, AWikisFeaturedPictureGivesItsOriginalFile) {
  ExpectBothDays(
      [&](int day) {
        const std::string file =
            day == 1 ? "Aurora_over_the_fjord.jpg" : "Salt-flats_at_dawn_2.jpg";
        const std::string hash = day == 1 ? "/a/ab/" : "/c/c4/";
        std::string main =
            "<div id=\"mw-navigation\"><a href=\"/wiki/Main_Page\">Main page</a> "
            "<a href=\"/wiki/Special:Random\">Random</a> "
            "<a href=\"/wiki/Help:Contents\">Help</a></div>\n"
            "<div id=\"mp-tfp\"><a href=\"/wiki/File:" +
            file + "\" class=\"image\"><img src=\"/images/thumb" + hash + file + "/300px-" + file +
            "\" width=\"300\"></a> <a href=\"/wiki/Norway\">Norway</a></div>";
        Html("/wiki/Main_Page", main);
        Html("/wiki/Special:Random", "<p>An article</p>");
        Html("/wiki/Help:Contents", "<p>Help</p>");
        Html("/wiki/Norway", "<p>Norway</p>");
        Picture("/images/thumb" + hash + file + "/300px-" + file, 300, 169);
        Picture("/images/thumb" + hash + file + "/800px-" + file, 800, 450);
        Picture("/images/thumb" + hash + file + "/1280px-" + file, 1280, 720);
        Picture("/images" + hash + file, kFullWidth, kFullHeight);
        Html("/wiki/File:" + file, "<div class=\"fullImageLink\"><a href=\"/images" + hash + file +
                                       "\"><img src=\"/images/thumb" + hash + file + "/800px-" +
                                       file +
                                       "\" width=\"800\"></a></div>\n"
                                       "<div class=\"mw-filepage-other-resolutions\">Other "
                                       "resolutions: <a href=\"/images/thumb" +
                                       hash + file + "/1280px-" + file +
                                       "\" class=\"mw-thumbnail-link\">1,280 × 720 pixels</a>"
                                       "</div>\n<a href=\"/images" +
                                       hash + file + "\" class=\"internal\">Original file</a>");
      },
      "/wiki/Main_Page", "/images/a/ab/Aurora", "/images/c/c4/Salt");
}

TEST_F(SuggestEndToEndTest, AJsonAnswerGivesThePictureItsEscapedStringsName) {
  ExpectBothDays(
      [&](int day) {
        const std::string name = day == 1 ? "AuroraFjord_EN-GB4711" : "SaltFlats_EN-GB0815";
        const std::string json = "{\"images\":[{\"startdate\":\"2024050" + std::to_string(day) +
                                 "\",\"url\":\"\\/th?id=OHR." + name +
                                 "_1600x900.jpg\\u0026rf=LaDigue_1600x900.jpg\\u0026pid=hp\","
                                 "\"urlbase\":\"\\/th?id=OHR." +
                                 name + "\",\"thumb\":\"\\/th?id=OHR." + name +
                                 "_320x180.jpg\\u0026pid=hp\",\"copyrightlink\":\"https:\\/\\/"
                                 "127.0.0.1\\/search?q=aurora\\u0026form=hpcapt\","
                                 "\"quiz\":\"\\/search?q=Bing+homepage+quiz\\u0026FORM=HPQUIZ\"}]}";
        server_.ServeBytes("/HPImageArchive.aspx", json, "application/json");
        server_.Handle("/th", [this](const httplib::Request& request, httplib::Response& response) {
          const std::string id = request.get_param_value("id");
          if (id.find("_1600x900.jpg") != std::string::npos) {
            response.set_content(Jpeg(kFullWidth, kFullHeight), "image/jpeg");
          } else if (id.find("_320x180.jpg") != std::string::npos) {
            response.set_content(Jpeg(320, 180), "image/jpeg");
          } else {
            response.status = 404;
          }
        });
        Html("/search", "<p>Search</p>");
      },
      "/HPImageArchive.aspx?format=js&idx=0&n=1", "AuroraFjord", "SaltFlats");
}

TEST_F(SuggestEndToEndTest,
       ALazyGridGivesTheOriginalsItsCdnServesWithoutExtensionsBehindARedirect) {
  ExpectBothDays(
      [&](int day) {
        const char* const day1[] = {"k7f3a9", "q2w8e4", "z9x1c5"};
        const char* const day2[] = {"m4n5b6v7", "m0o9i8u7"};
        std::string grid = "<img src=\"/static/avatar.png\" class=\"avatar\">\n";
        std::vector<std::string> ids;
        for (const char* id : day == 1 ? std::vector<const char*>(day1, day1 + 3)
                                       : std::vector<const char*>(day2, day2 + 2)) {
          const std::string i = id;
          grid +=
              "<figure><img class=\"lazy\" src=\"data:image/gif;base64,R0lGODlhAQABAAAAACw=\" "
              "data-src=\"/img/" +
              i + "?w=400\" data-srcset=\"/img/" + i + "?w=400 400w, /img/" + i +
              "?w=1600 1600w\"></figure>\n";
          server_.Handle(
              "/img/" + i, [this, i](const httplib::Request& request, httplib::Response& response) {
                response.status = 302;
                response.set_header("Location",
                                    server_.Url("/cdn/" + i + "-" + request.get_param_value("w")));
              });
          Picture("/cdn/" + i + "-400", 400, 225);
          Picture("/cdn/" + i + "-1600", kFullWidth, kFullHeight);
        }
        server_.ServeBytes("/static/avatar.png", GradientPicture(FIF_PNG, 48, 48), "image/png");
        Html("/grid", grid);
      },
      "/grid", "?w=1600", "/img/m");
}

TEST_F(SuggestEndToEndTest, APictureOfTheDayPageGivesItsRelativeLink) {
  ExpectBothDays(
      [&](int day) {
        const std::string folder = day == 1 ? "image/2405/" : "image/2406/";
        const std::string name = day == 1 ? "AuroraFjord_Hansen" : "SaltFlats_dawn_4096";
        Html("/apod/astropix.html",
             "<center><a href=\"" + folder + name + ".jpg\"><IMG SRC=\"" + folder + name +
                 "_1024.jpg\" style=\"max-width:100%\"></a></center>\n<p>Explanation: see "
                 "<a href=\"https://127.0.0.1:1/elsewhere\">elsewhere</a>.</p>\n"
                 "<a href=\"ap24050" +
                 std::to_string(day) +
                 ".html\">&lt;</a> | <a href=\"archivepix.html\">Archive</a>");
        Picture("/apod/" + folder + name + ".jpg", kFullWidth, kFullHeight);
        Picture("/apod/" + folder + name + "_1024.jpg", 1024, 576);
        Html("/apod/archivepix.html", "<p>Archive</p>");
        Html("/apod/ap240501.html", "<p>Yesterday</p>");
        Html("/apod/ap240502.html", "<p>Yesterday</p>");
      },
      "/apod/astropix.html", "2405/AuroraFjord_Hansen.jpg", "2406/SaltFlats_dawn_4096.jpg");
}

TEST_F(SuggestEndToEndTest, AnOldPhpGalleryGivesItsFullSizeDownloads) {
  ExpectBothDays(
      [&](int day) {
        std::string index = "<table><tr>";
        for (int n = 0; n < 3; ++n) {
          const std::string id = std::to_string(day * 100 + n);
          index += "<td><a href='view.php?id=" + id + "&amp;cat=3'><img src='thumb.php?id=" + id +
                   "&amp;s=160' border=0></a></td>";
        }
        Html("/gallery/index.php", index + "</tr></table><a href='index.php?page=2'>next</a>");
        server_.Handle("/gallery/view.php",
                       [this](const httplib::Request& request, httplib::Response& response) {
                         const std::string id = request.get_param_value("id");
                         response.set_content("<html><body><img src='image.php?id=" + id +
                                                  "&amp;size=medium'>"
                                                  "<br><a href='download.php?id=" +
                                                  id +
                                                  "&amp;size=full'>Full size</a>"
                                                  "</body></html>",
                                              "text/html");
                       });
        server_.Handle("/gallery/download.php",
                       [this](const httplib::Request&, httplib::Response& response) {
                         response.set_content(Jpeg(kFullWidth, kFullHeight), "image/jpeg");
                       });
        server_.ServeBytes("/gallery/image.php", Jpeg(800, 450), "image/jpeg");
        server_.ServeBytes("/gallery/thumb.php", Jpeg(160, 90), "image/jpeg");
      },
      "/gallery/index.php", "id=10", "id=20");
}

}  // namespace

namespace {

// Pages people saved from real sites (their SOURCES.md says what is full
// size on each), read where they lie beside the project, never copied into
// it. Every address in them is turned to the test server, which answers a
// picture's address with a picture of the size its name or query promises
// (full size when it promises none) and a template such as
// resize={width}x{height} with a 404, as the sites do.
class RealPagesTest : public SuggestEndToEndTest {
 protected:
  void SetUp() override {
    SuggestEndToEndTest::SetUp();
    folder_ = std::string(FETCHER_SOURCE_DIR) + "/../shared/real_pages/";
    if (!Exists(folder_ + "SOURCES.md")) GTEST_SKIP() << "no " << folder_;
    server_.HandleOthers([this](const httplib::Request& request, httplib::Response& response) {
      AnswerPicture(request, response);
    });
  }

  // A picture of the page's full size where the address is one of its
  // originals (`full_size_`), else of the size its name promises, else a
  // thumbnail's.
  void AnswerPicture(const httplib::Request& request, httplib::Response& response) {
    static const std::regex kPicture("(\\.(jpe?g|png|gif|webp)$)|/image/upload/|/th$",
                                     std::regex::icase);
    const std::string url = server_.Url(request.target);
    if (!std::regex_search(request.path, kPicture) || url.find('{') != std::string::npos ||
        url.find("%7B") != std::string::npos) {
      response.status = 404;
      return;
    }
    static const std::regex kArea("[-_=x]([1-9][0-9]{1,3})x([1-9][0-9]{1,3})[._&]?");
    static const std::regex kWidth("(?:w_|[?&]w=|/)([1-9][0-9]{1,3})(?:px-|[,/&]|$)");
    std::smatch match;
    int width = 320, height = 180;
    if (std::regex_search(request.target, std::regex(full_size_))) {
      width = 2400;
      height = 1350;
    } else if (std::regex_search(url, match, kArea)) {
      width = std::stoi(match[1].str());
      height = std::stoi(match[2].str());
    } else if (std::regex_search(url, match, kWidth)) {
      width = std::stoi(match[1].str());
      height = width * 9 / 16;
    }
    response.set_content(Jpeg(width, height), "image/jpeg");
  }

  // The saved page with every host in it (in any spelling: https:\/\/,
  // \u002F\u002F, ...) turned into the test server's address.
  std::string Page(const std::string& file) {
    std::string text = ReadFileBytes(folder_ + file);
    static const std::regex kHost(
        "(//|\\\\/\\\\/|\\\\u002F\\\\u002F)([A-Za-z0-9-]+(\\.[A-Za-z0-9-]+)+)");
    std::set<std::string> hosts;
    for (std::sregex_iterator it(text.begin(), text.end(), kHost), end; it != end; ++it)
      hosts.insert((*it)[2].str());
    std::vector<std::string> longest_first(hosts.begin(), hosts.end());
    std::sort(longest_first.begin(), longest_first.end(),
              [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
    const std::string here = "127.0.0.1:" + std::to_string(server_.port());
    for (const std::string& host : longest_first) {
      for (size_t at = text.find(host); at != std::string::npos;
           at = text.find(host, at + here.size()))
        text.replace(at, host.size(), here);
    }
    return std::regex_replace(text, std::regex("https:"), "http:");
  }

  // --suggest on `path`, then --check with its section: the last link it
  // picks matches `full_size`.
  void ExpectFullSize(const std::string& path, const std::string& full_size) {
    full_size_ = full_size;
    const std::string section = Suggest(path);
    if (section.find("\n[Site1]\n") == std::string::npos) return ADD_FAILURE() << path;
    ExpectCheckReaches(section, "", "2400x1350");
    const std::string here = server_.Url("");
    ASSERT_EQ(0u, last_picked_.find(here)) << last_picked_;
    EXPECT_TRUE(std::regex_search(last_picked_.substr(here.size()), std::regex(full_size)))
        << last_picked_;
  }

  std::string full_size_ = "^$";
  std::string folder_;
};

TEST_F(RealPagesTest, EachSavedPageGivesItsFullSizePictures) {
  server_.ServeBytes("/apod/astropix.html", Page("apod-html-blackhole-2020.html"), "text/html");
  ExpectFullSize("/apod/astropix.html", "^/apod/image/2003/BhShredder_NASA_3482\\.jpg$");

  server_.ServeBytes("/HPImageArchive.aspx", Page("bing-json-aracari-2022.json"),
                     "application/json");
  ExpectFullSize("/HPImageArchive.aspx?format=js&idx=0&n=1",
                 "^/th\\?id=OHR\\.Aracari_PT-BR1098746112_1920x1080\\.jpg");

  server_.ServeBytes("/de/das-glashaus-in-der-uckermark/",
                     Page("wordpress-urlaubsarchitektur-srcset.html"), "text/html");
  ExpectFullSize("/de/das-glashaus-in-der-uckermark/",
                 "^/wp-content/uploads/2022/1[0-2]/glashaus-in-der-uckermark-[0-9]{3}\\.jpg$");

  server_.ServeBytes("/the-spectacular-story", Page("lazy-kotaku-datasrcset.html"), "text/html");
  ExpectFullSize("/the-spectacular-story",
                 "^/gawker-media/image/upload/(c_scale,f_auto,fl_progressive,q_80,w_1600/)?"
                 "[a-z0-9]+\\.(jpg|png|gif)$");

  // The portfolio's picture pages are all the saved one.
  const std::string shot = Page("artsite-dribbble-shot.html");
  for (const char* id : {"18895539-Modern-Admin-Dashboard",
                         "27036298-Brand-Identity-Design-For-Creative-Agency-Northbound"})
    server_.ServeBytes(std::string("/shots/") + id, shot, "text/html");
  const std::string profile = Page("artsite-dribbble-profile.html");
  const std::regex kShot("href=\"(/shots/[0-9]+-[^\"]+)\"");
  for (std::sregex_iterator it(profile.begin(), profile.end(), kShot), end; it != end; ++it)
    server_.ServeBytes((*it)[1].str(), shot, "text/html");
  server_.ServeBytes("/phenomenonstudio", profile, "text/html");
  ExpectFullSize("/shots/18895539-Modern-Admin-Dashboard",
                 "^/userupload/[0-9]+/file/original-[0-9a-f]{32}\\.png$");
  ExpectFullSize("/phenomenonstudio", "^/userupload/[0-9]+/file/original-[0-9a-f]{32}\\.png$");

  // The wiki's file pages, as MediaWiki writes them, for the File: links
  // of the saved article.
  const std::string article = Page("mediawiki-stardewwiki-penny.html");
  const std::regex kFile("href=\"/File:([^\"]+)\"");
  for (std::sregex_iterator it(article.begin(), article.end(), kFile), end; it != end; ++it) {
    const std::string name = (*it)[1].str();
    char hash[3];
    std::snprintf(hash, sizeof hash, "%02x",
                  static_cast<unsigned>(std::hash<std::string>()(name) & 0xFF));
    const std::string folder = "/mediawiki/images/" + std::string(hash, 1) + "/" + hash + "/";
    Html("/File:" + name, "<div class=\"fullImageLink\" id=\"file\"><a href=\"" + folder + name +
                              "\"><img src=\"/mediawiki/images/thumb/" + folder.substr(18) + name +
                              "/600px-" + name + "\" width=\"600\"></a></div>");
  }
  server_.ServeBytes("/Penny", article, "text/html");
  ExpectFullSize("/Penny", "^/mediawiki/images/[0-9a-f]/[0-9a-f]{2}/[^/]+\\.(jpg|png)$");
}

}  // namespace

namespace {

TEST_F(SuggestEndToEndTest, TheDemoGalleryGivesItsLargestPictures) {
  const std::string gallery = std::string(FETCHER_SOURCE_DIR) + "/demo/gallery/";
  server_.ServeDirectory("/", gallery);
  server_.ServeFile("/", gallery + "index.html", "text/html");
  const std::string section = Suggest("/");
  EXPECT_NE(std::string::npos, section.find("Step3Go=")) << section;
  ExpectCheckReaches(section, "-1920x1080.jpg", "1920x1080");
}

TEST_F(SuggestEndToEndTest, BadAddressesEndWithTheReasonAndWriteNothing) {
  Picture("/picture.jpg", kFullWidth, kFullHeight);
  Html("/nothing", "<p>No pictures here.</p><a href=\"/other\">other</a>");
  Html("/other", "<p>Nor here.</p>");
  Html("/scripted",
       "<div id=\"app\"></div><script src=\"/app.js\"></script>"
       "<script>load('gallery');</script>");
  server_.ServeBytes("/app.js", "fetch('/api').then(show);", "text/javascript");
  // A page far larger than any gallery, one without end, one ever deeper,
  // one that never ends arriving (given up at the fetch's own limit).
  server_.ServeBytes("/huge", "<html>" + std::string(12 << 20, ' ') + "</html>", "text/html");
  server_.Handle("/endless", [](const httplib::Request&, httplib::Response& response) {
    response.set_chunked_content_provider("text/html", [](size_t, httplib::DataSink& sink) {
      static const std::string chunk(64 << 10, 'x');
      return sink.write(chunk.data(), chunk.size());
    });
  });
  for (int depth = 0; depth < 8; ++depth)
    Html("/deep/" + std::to_string(depth),
         "<a href=\"/deep/" + std::to_string(depth + 1) + "\">deeper</a><img src=\"/small.jpg\">");
  Picture("/small.jpg", 64, 64);
  server_.Stall("/stall", "<html><body><a href=\"/picture.jpg\">");
  const std::pair<std::string, std::string> failing[] = {
      {"http://127.0.0.1:1/", "the address gave nothing usable"},
      {server_.Url("/missing"), "HTTP 404"},
      {server_.Url("/nothing"), "leads, in at most 3 steps, to a picture"},
      {server_.Url("/scripted"), "its pictures may appear only through them"},
      {server_.Url("/huge"), "the page holds no links at all"},
      {server_.Url("/endless"), "the page holds no links at all"},
      {server_.Url("/deep/0"), "leads, in at most 3 steps, to a picture"},
      {server_.Url("/stall"), "no complete answer within 15 s"},
  };
  for (const auto& [url, reason] : failing) {
    SCOPED_TRACE(url);
    const size_t before = server_.Requests().size();
    const ProgramResult result = RunWith({"--suggest", url});
    EXPECT_EQ(1, result.exit_code);
    EXPECT_EQ("", result.out);
    EXPECT_EQ(0u, result.err.find("wallpaper-fetcher: no chain of steps was found for " + url))
        << result.err;
    EXPECT_NE(std::string::npos, result.err.find(reason)) << result.err;
    EXPECT_LE(server_.Requests().size() - before, 60u);
  }
  // A picture's own address is a site of Begin alone.
  const ProgramResult picture =
      RunWith({"--suggest", server_.Url("/picture.jpg"), "--name", "One"});
  EXPECT_EQ(0, picture.exit_code) << picture.err;
  EXPECT_NE(std::string::npos, picture.out.find("[Site1]\nName=One\nSecondsToDownload=60\nBegin=" +
                                                server_.Url("/picture.jpg") + "\n"))
      << picture.out;
  EXPECT_EQ(std::string::npos, picture.out.find("Step1Get"));
  // Nothing of it was written anywhere.
  EXPECT_EQ(std::set<std::string>{"wallpaper-fetcher"}, Listing(dir_.Join("prog")));
}

}  // namespace

namespace {

TEST_F(SuggestEndToEndTest, AddAppendsTheSiteAndKeepsEveryOtherByte) {
  Picture("/p/one.jpg", kFullWidth, kFullHeight);
  Html("/gallery", "<a href=\"/p/one.jpg\">one</a>");
  const std::string url = server_.Url("/gallery");
  // CR LF with a byte-order mark, a history, and a key the dialect keeps
  // as written: all stays but NumOfSites.
  const std::string original =
      "\xEF\xBB\xBF[General]\r\nDebugMode=0\r\nNumOfSites=1\r\nTryNumber=3\r\nKeepInHistory=2\r\n"
      "Recent0=http://example.invalid/a.jpg\r\nRecent1=\r\n odd key =x\r\n\r\n[Site1]\r\n"
      "Name=Old\r\nBegin=http://127.0.0.1:1/\r\n";
  const std::string ini = dir_.Join("prog/Sites.ini");
  WriteFileBytes(ini, original);
  ProgramResult added = RunWith({"--suggest", url, "--add"});
  ASSERT_EQ(0, added.exit_code) << added.err;
  const size_t section_end = added.out.find("Added as [Site2] to ");
  ASSERT_NE(std::string::npos, section_end) << added.out;
  std::string expected = original;
  expected.replace(expected.find("NumOfSites=1"), 12, "NumOfSites=2");
  expected += "\r\n" + ToTextMode(added.out.substr(0, section_end));
  EXPECT_EQ(expected, ReadFileBytes(ini));
  const ProgramResult check = RunWith({"--check", "--site", "2"});
  EXPECT_EQ(0, check.exit_code) << check.out;

  // LF and no NumOfSites: the key comes after [General], the section in LF;
  // the file is named.
  const std::string lf = "[General]\nTryNumber=1\n[Site1]\nName=x\n";
  const std::string other = dir_.Join("other.ini");
  WriteFileBytes(other, lf);
  added = RunWith({"--suggest", url, "--name", "Mine", "--add", other});
  ASSERT_EQ(0, added.exit_code) << added.err;
  const std::string now = ReadFileBytes(other);
  EXPECT_EQ(0u, now.find("[General]\nNumOfSites=2\nTryNumber=1\n[Site1]\nName=x\n\n")) << now;
  EXPECT_NE(std::string::npos, now.find("\n[Site2]\nName=Mine\n")) << now;
  EXPECT_EQ(std::string::npos, now.find('\r'));

  // A file that an old editor ended with a Ctrl-Z, where a run stops
  // reading: the site goes before it, where a run finds it.
  const std::string dos = dir_.Join("dos.ini");
  WriteFileBytes(dos, "[General]\r\nNumOfSites=1\r\nTryNumber=1\r\n[Site1]\r\nName=x\r\n\x1A");
  ASSERT_EQ(0, RunWith({"--suggest", url, "--add", dos}).exit_code);
  const std::string ended = ReadFileBytes(dos);
  EXPECT_EQ(0u, ended.find("[General]\r\nNumOfSites=2\r\nTryNumber=1\r\n[Site1]\r\nName=x\r\n\r\n"))
      << ended;
  EXPECT_LT(ended.find("\r\n[Site2]\r\n"), ended.find('\x1A')) << ended;
  EXPECT_EQ('\x1A', ended.back());
  const ProgramResult dos_check = RunWith({"--check", "--site", "2", dos});
  EXPECT_EQ(0, dos_check.exit_code) << dos_check.out;

  // A missing or read-only file says why and stays as it was.
  const ProgramResult missing = RunWith({"--suggest", url, "--add", dir_.Join("none.ini")});
  EXPECT_EQ(1, missing.exit_code);
  EXPECT_NE(std::string::npos, missing.err.find("none.ini: it does not exist")) << missing.err;
  EXPECT_FALSE(Exists(dir_.Join("none.ini")));
  ASSERT_EQ(0, ::chmod(other.c_str(), 0444));
  const ProgramResult read_only = RunWith({"--suggest", url, "--add", other});
  EXPECT_EQ(1, read_only.exit_code);
  EXPECT_NE(std::string::npos, read_only.err.find("the site was not added to " + other))
      << read_only.err;
  EXPECT_EQ(now, ReadFileBytes(other));
}

}  // namespace

namespace {

TEST_F(SuggestEndToEndTest, CheckMendsAChainThatBrokeAtAStep) {
  // The gallery changed its download links: step 2 finds none, and a
  // picture page's last link now leads to an HTML page.
  for (const char* name : kDay1) {
    const std::string n = name;
    Picture("/get/" + n + "/1280x720.jpg", 1280, 720);
    Picture("/get/" + n + "/1600x900.jpg", kFullWidth, kFullHeight);
    Html("/w/" + n, "<a class=\"res\" href=\"/get/" + n +
                        "/1280x720.jpg\">HD</a> <a class=\"res\" "
                        "href=\"/get/" +
                        n + "/1600x900.jpg\">Full HD</a>");
  }
  Html("/",
       "<a class=\"item\" href=\"/w/aurora-fjord-101\">a</a> <a class=\"item\" "
       "href=\"/w/crimson-dunes-102\">c</a> <a class=\"item\" href=\"/w/still-lake-103\">s</a>");
  const std::string ini =
      "[General]\r\nNumOfSites=1\r\nTryNumber=1\r\n\r\n[Site1]\r\nName=Old\r\nBegin=" +
      server_.Url("/") + "\r\nStep1Get=href=\"/(w/[^\"]+)\"\r\nStep1Go=" + server_.Url("/") +
      "$_1_$\r\nStep2Get=<a class=\"download\" href=\"/(download/[^\"]+)\">\r\nStep2Go=" +
      server_.Url("/") + "$_1_$\r\n";
  WriteFileBytes(dir_.Join("prog/Sites.ini"), ini);
  const ProgramResult check = RunWith({"--check"});
  EXPECT_EQ(1, check.exit_code);
  EXPECT_EQ(ini, ReadFileBytes(dir_.Join("prog/Sites.ini")));  // nothing written
  const size_t mend =
      check.out.find("mends it (1600x900 pictures); replace Step2Get .. Step2Go with:\n");
  ASSERT_NE(std::string::npos, mend) << check.out;
  const std::regex kKeys("\n  (Step2Get=[^\n]+)\n  (Step2Go=[^\n]+)\n");
  std::smatch keys;
  const std::string tail = check.out.substr(mend);
  ASSERT_TRUE(std::regex_search(tail, keys, kKeys)) << tail;
  EXPECT_EQ(std::string::npos, tail.find("Step3Get"));

  // Put in place as printed, the keys take the site to its full-size pictures.
  std::string mended = ini.substr(0, ini.find("Step2Get="));
  mended += keys[1].str() + "\r\n" + keys[2].str() + "\r\n";
  WriteFileBytes(dir_.Join("prog/Sites.ini"), mended);
  const ProgramResult again = RunWith({"--check"});
  EXPECT_EQ(0, again.exit_code) << again.out;
  EXPECT_NE(std::string::npos, again.out.find("1600x900, would be taken")) << again.out;
}

}  // namespace
