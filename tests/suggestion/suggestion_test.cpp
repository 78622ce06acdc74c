// The suggestion's parts on pages held in memory: the links a page offers,
// and the rules made from the links a step must find.
#include <gtest/gtest.h>

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
