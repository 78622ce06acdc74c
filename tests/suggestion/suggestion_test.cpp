// The suggestion's parts on pages held in memory: the links a page offers,
// and the rules made from the links a step must find.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "suggestion/page_links.h"
#include "suggestion/step_rule.h"

namespace {

std::vector<std::string> Urls(const std::vector<PageLink>& links) {
  std::vector<std::string> urls;
  for (const PageLink& link : links) urls.push_back(link.url);
  return urls;
}

TEST(PageLinksTest, EveryWayAPageWritesAnAddressIsFoundDecodedAndResolved) {
  const std::string page =
      "<html><head><base href=\"/gallery/\">\n"
      "<meta property=\"og:image\" content=\"https://cdn.example/og.jpg\">\n"
      "<script>var data = {\"url\":\"\\/th?id=A\\u0026pid=hp\", \"text\":\"not a link here\"};"
      "</script></head>\n"
      "<a href='show.php?id=12&amp;size=full'>x</a> <a href=../up/a.jpg>y</a>\n"
      "<img src=\"data:image/gif;base64,AAAA\" data-src=\"//cdn.example/lazy.jpg\" "
      "srcset=\"s-300x200.jpg 300w, https://cdn.example/img/c_scale,w_1600/big.jpg 1600w\">\n"
      "<a href=\"#top\">top</a> <a href=\"mailto:me@example.org\">mail</a>\n";
  const std::vector<std::string> expected = {
      "http://site.example/gallery/",
      "https://cdn.example/og.jpg",
      "http://site.example/th?id=A&pid=hp",
      "http://site.example/gallery/show.php?id=12&size=full",
      "http://site.example/up/a.jpg",
      "http://cdn.example/lazy.jpg",
      "http://site.example/gallery/s-300x200.jpg",
      "https://cdn.example/img/c_scale,w_1600/big.jpg",
  };
  EXPECT_EQ(expected, Urls(FindPageLinks(page, "http://site.example/dir/page.html")));
}

}  // namespace

namespace {

// The rule for the links of `page` (from http://site.example/dir/page.html)
// that `wanted` picks, and what it finds on `other`.
struct Made {
  bool made = false;
  StepRule rule;
  RuleFit fit;
};

Made MakeFor(const std::string& page, const std::function<bool(const PageLink&)>& wanted,
             std::vector<PageLink>* links) {
  *links = FindPageLinks(page, "http://site.example/dir/page.html");
  RulePage rule_page{"http://site.example/dir/page.html", &page, {}};
  for (const PageLink& link : *links) {
    if (wanted(link)) rule_page.wanted.push_back(&link);
  }
  Made made;
  made.made = MakeStepRule({rule_page}, &made.rule, &made.fit);
  return made;
}

TEST(StepRuleTest, RulesFindTheWantedLinksTodayAndTomorrowAndNothingElse) {
  std::vector<PageLink> links;
  // One size of several: its size stays literal, the name is a class.
  const std::string downloads =
      "<a href=\"/files/aurora-fjord-101-1280x720.jpg\">s</a>\n"
      "<a href=\"/files/aurora-fjord-101-1920x1080.jpg\">l</a>\n<img src=\"/t/aurora.jpg\">\n";
  Made made = MakeFor(
      downloads, [](const PageLink& l) { return l.raw.find("1920") != std::string::npos; }, &links);
  ASSERT_TRUE(made.made);
  EXPECT_EQ(0, made.fit.unwanted) << made.rule.expression;
  EXPECT_EQ(
      std::vector<std::string>{"http://site.example/files/salt-flats-at-dawn-7-1920x1080.jpg"},
      ApplyStepRule(made.rule,
                    "<a href=\"/files/salt-flats-at-dawn-7-1280x720.jpg\">s</a>"
                    "<a href=\"/files/salt-flats-at-dawn-7-1920x1080.jpg\">l</a>"));

  // Siblings under date folders: tomorrow's folder is found too.
  const std::string blog =
      "<a href=\"/up/2024/05/aurora.jpg\">a</a> <a href=\"/up/2024/05/dunes.jpg\">d</a> "
      "<a href=\"/about.html\">about</a>";
  made = MakeFor(
      blog, [](const PageLink& l) { return l.raw.find("/up/") == 0; }, &links);
  ASSERT_TRUE(made.made);
  EXPECT_EQ(0, made.fit.unwanted);
  EXPECT_EQ(std::vector<std::string>{"http://site.example/up/2025/01/new-one.jpg"},
            ApplyStepRule(made.rule, "<a href=\"/up/2025/01/new-one.jpg\">n</a>"));

  // Entities and JSON escapes stay in the expression, not in the link.
  const std::string php = "<a href='view.php?id=12&amp;cat=3'>x</a> <a href='index.php?p=2'>n</a>";
  made = MakeFor(
      php, [](const PageLink& l) { return l.raw.find("view") == 0; }, &links);
  ASSERT_TRUE(made.made);
  EXPECT_EQ(std::vector<std::string>{"http://site.example/dir/view.php?id=40&cat=3"},
            ApplyStepRule(made.rule, "<a href='view.php?id=40&amp;cat=3'>y</a>"));
  const std::string json =
      "{\"url\":\"\\/th?id=OHR.Aurora_EN4711_1920x1080.jpg\\u0026pid=hp\","
      "\"thumb\":\"\\/th?id=OHR.Aurora_EN4711_320x180.jpg\\u0026pid=hp\"}";
  made = MakeFor(
      json, [](const PageLink& l) { return l.raw.find("1920") != std::string::npos; }, &links);
  ASSERT_TRUE(made.made);
  EXPECT_EQ(0, made.fit.unwanted) << made.rule.expression;
  EXPECT_EQ(
      std::vector<std::string>{"http://site.example/th?id=OHR.Salt_EN0815_1920x1080.jpg&pid=hp"},
      ApplyStepRule(made.rule,
                    "{\"url\":\"\\/th?id=OHR.Salt_EN0815_1920x1080.jpg\\u0026pid=hp\","
                    "\"thumb\":\"\\/th?id=OHR.Salt_EN0815_320x180.jpg\\u0026pid=hp\"}"));
}

}  // namespace
