#include "retrieval/link_extraction.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "config/ini_document.h"
#include "config/settings.h"
#include "diagnostics/format.h"
#include "diagnostics/reporter.h"
#include "retrieval/crawler.h"
#include "support/test_support.h"

namespace {

using Links = std::vector<std::string>;

class LinkExtractionTest : public ::testing::Test {
 protected:
  // A step's links as the crawl collects them, errors traced in debug mode.
  Links Collect(const std::string& text, const std::string& expression,
                const std::string& url_template, int step = 1) {
    const Reporter reporter(fakes_.console, fakes_.boxes, /*debug=*/true,
                            /*suppress_messages=*/false, "wallpaper-fetcher");
    CrawlObserver deaf;
    return CollectLinks(text, expression, url_template, step, deaf, reporter);
  }
  // The page as the crawl sees it: written to disk as the download left it,
  // then read back.
  std::string PageFromDisk(const std::string& bytes) {
    const std::string path = dir_.Join("temp.file");
    WriteFileBytes(path, bytes);
    std::string text = "left over from an earlier step";
    EXPECT_TRUE(ReadTextFile(path, text));
    return text;
  }
  const std::string& traces() const { return fakes_.console.written; }

  ScopedTempDir dir_;
  FakePlatform fakes_;
};

TEST_F(LinkExtractionTest, LeftmostLongestRuleChoosesTheMatch) {
  // Two alternatives start at the same place; the second covers more text.
  // Perl's first-found rule would report "<a href=\"p1.html\">" with group 1.
  const std::string page =
      "<td><a href=\"p1.html\"><img src=\"t1.jpg\"></a></td>"
      "<td><a href=\"p2.html\">text only</a></td>";
  EXPECT_EQ((Links{"[|p1.html|t1.jpg]", "[p2.html||]"}),
            Collect(page, "<a href=\"([^\"]*)\">|<a href=\"([^\"]*)\"><img src=\"([^\"]*)\"",
                    "[$_1_$|$_2_$|$_3_$]"));
  // The longer alternative wins even when it is written second.
  EXPECT_EQ((Links{"abcd", "ab"}), Collect("abcde abx", "(ab|abcd)", "$_1_$"));
  // Equally long whole matches: the earlier group that is longer decides.
  EXPECT_EQ((Links{"ab+c"}), Collect("abc", "(a|ab)(bc|c)", "$_1_$+$_2_$"));
  // Greedy repeats: the longest whole match from the leftmost start.
  EXPECT_EQ((Links{"x/1\">a</a><a href=\"x/2"}),
            Collect("<a href=\"x/1\">a</a><a href=\"x/2\">b</a>", "href=\"(.*)\">", "$_1_$"));
  EXPECT_EQ("", traces());
}

TEST_F(LinkExtractionTest, MalformedExpressionIsTracedAndGivesNoLinks) {
  EXPECT_TRUE(Collect("<a href=\"x\">", "<a href=\"([^\"]*\"", "http://h/$_1_$", 2).empty());
  EXPECT_EQ("Wrong (StepXXXGet)regular expression for the step 2\n", traces());
  fakes_.console.written.clear();
  EXPECT_TRUE(Collect("abc", "[[:nosuchclass:]]", "t", 7).empty());
  EXPECT_TRUE(Collect("abc", "a{2,1}", "t", 8).empty());
  EXPECT_TRUE(Collect("abc", "*a", "t", 9).empty());
  EXPECT_EQ(
      "Wrong (StepXXXGet)regular expression for the step 7\n"
      "Wrong (StepXXXGet)regular expression for the step 8\n"
      "Wrong (StepXXXGet)regular expression for the step 9\n",
      traces());
  EXPECT_TRUE(fakes_.boxes.boxes.empty());  // traced, never shown
}

TEST_F(LinkExtractionTest, TemplatePlaceholders) {
  // A group that takes no part in the match gives "".
  EXPECT_EQ((Links{"http://h/a=1&b=", "http://h/a=&b=2"}),
            Collect("x1 y2", "x(\\d)|y(\\d)", "http://h/a=$_1_$&b=$_2_$"));
  // Only the first occurrence of each placeholder is filled; $_0_$ and
  // numbers beyond the groups stay as they are.
  EXPECT_EQ((Links{"7/$_1_$/8/$_0_$/$_3_$"}),
            Collect("7-8", "(\\d)-(\\d)", "$_1_$/$_1_$/$_2_$/$_0_$/$_3_$"));
  // Without groups every match gives the template unchanged; equal links
  // are all kept.
  EXPECT_EQ((Links{"http://h/$_1_$", "http://h/$_1_$"}), Collect("ab ab", "ab", "http://h/$_1_$"));
  EXPECT_EQ((Links{"same", "same"}), Collect("<b>x</b><b>x</b>", "<b>(x)</b>", "same"));
  // Group text is inserted byte for byte; a placeholder it brings in is
  // filled by a later group if it comes first.
  EXPECT_EQ((Links{"<two sp&ce>"}),
            Collect("[$_2_$ sp&ce|two]", "\\[([^|]*)\\|(\\w*)\\]|(zz)", "<$_1_$>"));
  EXPECT_EQ((Links{"two.jpg $_2_$"}), Collect("$_2_$|two.jpg", "(.*)\\|(.*)", "$_1_$ $_2_$"));
  // Group 10 and beyond: "$_1_$" is not a prefix of "$_10_$".
  EXPECT_EQ((Links{"j|a|k"}),
            Collect("abcdefghijk", "(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)(k)", "$_10_$|$_1_$|$_11_$"));
  EXPECT_EQ("", traces());
}

TEST_F(LinkExtractionTest, PageReadBackInTextMode) {
  // CR LF reads as LF, a lone CR stays.
  const std::string page = PageFromDisk("<a href=\"/1\">\r\n<a href=\"/2\">\rx\r\n");
  EXPECT_EQ("<a href=\"/1\">\n<a href=\"/2\">\rx\n", page);
  EXPECT_TRUE(Collect(page, ">\\r\\n", "t").empty());
  EXPECT_EQ((Links{"1", "2"}), Collect(page, "href=\"/(\\d)\">(\\n|\\r)", "$_1_$"));
  // A 0x1A byte ends the page: nothing after it is searched.
  const std::string cut = PageFromDisk("<a href=\"/1\">\r\n\x1a<a href=\"/2\">\r\n");
  EXPECT_EQ("<a href=\"/1\">\n", cut);
  EXPECT_EQ((Links{"1"}), Collect(cut, "href=\"/(\\d)\"", "$_1_$"));
  // An empty file is an empty page; a missing file, or one too large to
  // search, is no page at all.
  EXPECT_EQ("", PageFromDisk(""));
  std::string text = "old";
  EXPECT_FALSE(ReadTextFile(dir_.Join("no-such-file"), text));
  EXPECT_EQ("", text);
  const std::string huge = dir_.Join("huge.html");
  WriteFileBytes(huge, "");
  ASSERT_EQ(0, ::truncate(huge.c_str(), static_cast<off_t>(kMaxPageBytes) + 1));  // sparse
  text = "old";
  EXPECT_FALSE(ReadTextFile(huge, text));
  EXPECT_EQ("", text);
  ASSERT_EQ(0, ::truncate(huge.c_str(), 5));
  EXPECT_TRUE(ReadTextFile(huge, text));
  EXPECT_EQ(std::string(5, '\0'), text);
  // A large page comes back whole.
  std::string big;
  for (int i = 0; i < 100000; ++i) big += Format("<a href=\"/%d\">\r\n", i);
  const std::string big_page = PageFromDisk(big);
  EXPECT_EQ(big.size() - 100000, big_page.size());
  const Links links = Collect(big_page, "href=\"/(\\d+)\">\\n", "$_1_$");
  ASSERT_EQ(100000u, links.size());
  EXPECT_EQ("99999", links.back());
}

TEST_F(LinkExtractionTest, ExpressionThatMatchesTheEmptyString) {
  // Empty matches give links too, with empty groups; a non-empty match at
  // the same place is preferred, and the search moves on without looping.
  const Links links = Collect("axxb", "(x*)", "[$_1_$]");
  EXPECT_EQ((Links{"[]", "[xx]", "[]", "[]"}), links);
  EXPECT_EQ((Links{"[]"}), Collect("", "(x*)", "[$_1_$]"));
  EXPECT_EQ((Links{"[]", "[]", "[]", "[]"}), Collect("abc", "(\\d?)", "[$_1_$]"));
  EXPECT_EQ("", traces());
}

TEST_F(LinkExtractionTest, TooComplexSearchKeepsTheLinksFoundBefore) {
  // Nested repeats over a long run of x without the final y make the
  // search explode; the library gives up with an exception.
  const std::string page = "<p>xxy</p><p>xxxy</p><p>" + std::string(40, 'x') + "</p><p>xxy</p>";
  const Links links = Collect(page, "(x+x+)+y", "http://h/$_1_$", 3);
  EXPECT_EQ((Links{"http://h/xx", "http://h/xxx"}), links);
  EXPECT_EQ("Wrong format (StepXXXGo) regular expression for the step 3\n", traces());
  // The fetcher goes on working afterwards.
  fakes_.console.written.clear();
  EXPECT_EQ((Links{"http://h/xx"}), Collect("xxy", "(x+x+)+y", "http://h/$_1_$", 4));
  EXPECT_EQ("", traces());
  EXPECT_TRUE(fakes_.boxes.boxes.empty());
}

TEST_F(LinkExtractionTest, PagesBuiltToMatchEverywhereAreCutShort) {
  // One match a character: the first kMaxLinks links are kept, the search
  // ends there like a search that became too complex.
  const std::string page(kMaxLinks + 5000, 'a');
  Links links = Collect(page, "(a)", "http://h/pictures/$_1_$.jpg", 2);
  ASSERT_EQ(kMaxLinks, links.size());
  EXPECT_EQ("http://h/pictures/a.jpg", links.front());
  EXPECT_EQ("http://h/pictures/a.jpg", links.back());
  EXPECT_EQ("Wrong format (StepXXXGo) regular expression for the step 2\n", traces());

  // Links that each hold the rest of the page: they stop at kMaxLinkBytes
  // together, long before the page runs out of places to match.
  fakes_.console.written.clear();
  const std::string long_page(9u << 20, 'b');
  links = Collect(long_page, "(?=(b*))", "$_1_$", 3);
  size_t bytes = 0;
  for (const std::string& link : links) bytes += link.size();
  EXPECT_LE(bytes, kMaxLinkBytes);
  EXPECT_EQ(7u, links.size());  // 7 x 9 MiB fit in 64 MiB, 8 do not
  EXPECT_EQ(long_page, links.front());
  EXPECT_EQ("Wrong format (StepXXXGo) regular expression for the step 3\n", traces());

  // Below the bounds nothing changes.
  fakes_.console.written.clear();
  EXPECT_EQ(kMaxLinks - 1, Collect(std::string(kMaxLinks - 1, 'a'), "a", "x").size());
  EXPECT_EQ("", traces());
}

// Snippets of the kind of pages the built-in configuration was written for.
TEST_F(LinkExtractionTest, DefaultConfigurationExpressions) {
  IniDocument ini;
  ini.Parse(DefaultSitesIni);
  auto collect = [&](const std::string& site, int step, const std::string& page) {
    return Collect(page, ini.GetValue(site, Format("Step%dGet", step)),
                   ini.GetValue(site, Format("Step%dGo", step)), step);
  };

  // Site 1, step 1: the pager links, each followed by "&nbsp;|". The group
  // runs to the ">" and so keeps the closing quote.
  EXPECT_EQ((Links{"http://www.gamewallpapers.com/wallpapers_games/index.php?page=1\"",
                   "http://www.gamewallpapers.com/wallpapers_games/index.php?page=2\""}),
            collect("Site1", 1,
                    "<div class=\"pager\">\n"
                    "<a href=\"/wallpapers_games/index.php?page=1\">1</a>&nbsp;|\n"
                    "<a href=\"/wallpapers_games/index.php?page=2\">2</a>&nbsp;|\n"
                    "<a href=\"/wallpapers_games/index.php?page=3\">Next page</a>&nbsp;|\n"
                    "<a href=\"/members/\">Members</a>\n"
                    "</div>\n"));
  // Step 2: thumbnails; the group stops before the quote.
  EXPECT_EQ(
      (Links{"http://www.gamewallpapers.com/wallpaper.php?id=101",
             "http://www.gamewallpapers.com/wallpaper.php?id=102"}),
      collect(
          "Site1", 2,
          "<table><tr>\n"
          "<td><a href=\"/wallpaper.php?id=101\"><IMG src=\"/thumbs/101.jpg\" border=0></a></td>\n"
          "<td><a href=\"/wallpaper.php?id=102\"><IMG src=\"/thumbs/102.jpg\" border=0></a></td>\n"
          "<td><a href=\"/about.php\">About</a></td>\n"
          "</tr></table>\n"));
  // Step 3: the 1280x1024 download among the sizes.
  EXPECT_EQ(
      (Links{"http://files.gamewallpapers.com/wallpapers/game_1280x1024.jpg"}),
      collect(
          "Site1", 3,
          "<A href=\"javascript:getWall('17','wallpapers/game_1024x768.jpg')\">1024x768</a><br>\n"
          "<A href=\"javascript:getWall('17','wallpapers/game_1280x1024.jpg')\">1280x1024</a><br>\n"
          "<A href=\"javascript:getWall('17','wallpapers/game_1600x1200.jpg')\">1600x1200</a>\n"));

  // Site 2, step 1: a word of three or more letters after "the".
  const Links words = collect("Site2", 1,
                              "<p>Storm hits the coast as the\nwinds rise; see the 4 photos "
                              "and theatre news.</p>");
  ASSERT_EQ(3u, words.size());
  EXPECT_EQ(0u, words[0].find("http://images.google.com/images?as_q=coast&svnum=25&"));
  EXPECT_EQ(0u, words[1].find("http://images.google.com/images?as_q=winds&svnum=25&"));
  EXPECT_EQ(0u, words[2].find("http://images.google.com/images?as_q=atre&svnum=25&"));
  // Step 2: the next result pages.
  EXPECT_EQ((Links{"http://www.google.com/images?q=coast+filetype:jpg&imgsz=xxlarge&svnum=25&hl=en&"
                   "newwindow=1&start=20&sa=N"}),
            collect("Site2", 2,
                    "<a href=/images?q=coast+filetype:jpg&imgsz=xxlarge&svnum=25&hl=en&newwindow=1"
                    "&start=20&sa=N><img src=nav_next.gif></a>"));
  // Step 3: the picture behind each result.
  EXPECT_EQ((Links{"http://www.example.org/photos/coast.jpg", "http://pics.example.net/a/b.jpg"}),
            collect("Site2", 3,
                    "<a href=/imgres?imgurl=www.example.org/photos/coast.jpg&imgrefurl=http://"
                    "www.example.org/&h=1200&w=1600><img src=t1></a> "
                    "<a href=/imgres?imgurl=pics.example.net/a/b.jpg&imgrefurl=http://"
                    "pics.example.net/&h=900><img src=t2></a>"));
  EXPECT_EQ("", traces());
}

}  // namespace
