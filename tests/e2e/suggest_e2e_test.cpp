// wallpaper-fetcher --suggest as a user runs it: the real binary against
// galleries of the kinds found on the web, served on 127.0.0.1, each on two
// days; the section suggested on the first day must still reach a full-size
// picture on the second, when the gallery shows new pictures under new
// names and folders.
#include <gtest/gtest.h>
#include <httplib.h>

#include <functional>
#include <map>
#include <regex>

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
  void ExpectCheckReaches(const std::string& section, const std::string& name_part) {
    WriteFileBytes(dir_.Join("prog/Sites.ini"),
                   ToTextMode("[General]\nNumOfSites=1\nTryNumber=1\nKeepInHistory=0\n" + section));
    const ProgramResult check = RunWith({"--check"});
    EXPECT_EQ(0, check.exit_code) << section << check.out << check.err;
    EXPECT_NE(std::string::npos, check.out.find(std::to_string(kFullWidth) + "x" +
                                                std::to_string(kFullHeight) + ", would be taken"))
        << check.out;
    const std::regex picked("picked link [0-9]+: ([^\n]+)\n(?![^\n]*picked)");
    std::string last;
    for (std::sregex_iterator it(check.out.begin(), check.out.end(), picked), end; it != end; ++it)
      last = (*it)[1].str();
    EXPECT_NE(std::string::npos, last.find(name_part)) << check.out;
  }

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
