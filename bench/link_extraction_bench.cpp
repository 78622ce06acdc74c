// Link extraction over large gallery pages with the expressions of the
// built-in configuration. Run: build/bench/link_extraction_bench
#include <benchmark/benchmark.h>

#include <boost/regex.hpp>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "config/ini_document.h"
#include "config/settings.h"
#include "diagnostics/format.h"
#include "retrieval/link_extraction.h"

namespace {

// The steps measured: [Site1] steps 1 to 3 and [Site2] step 1.
struct Step {
  const char* site;
  int number;
};
const Step kSteps[] = {{"Site1", 1}, {"Site1", 2}, {"Site1", 3}, {"Site2", 1}};

const char* const kWords[] = {"racing",  "space",  "fantasy", "strategy",
                              "shooter", "puzzle", "sports",  "horror"};

// A gallery page of about `size` bytes: thumbnail tables, download links in
// several sizes, captions, a pager every so often, scripts and styles, as a
// wallpaper site serves them.
std::string GalleryPage(size_t size) {
  std::string page =
      "<!DOCTYPE html>\n<html><head><title>Game wallpapers</title>\n"
      "<style>td.thumb{width:170px} .pager a{margin:0 2px}</style>\n"
      "<script type=\"text/javascript\">function getWall(id,f){window.open('/dl.php?id='+id+"
      "'&f='+f,'w');}</script>\n</head><body>\n<table class=\"gallery\">\n";
  for (int i = 0; page.size() < size; ++i) {
    const char* word = kWords[i % 8];
    const int id = 100000 + i;
    page += Format(
        "<tr>\n<td class=\"thumb\"><a href=\"/wallpaper.php?id=%d\"><IMG src=\"/thumbs/%d.jpg\" "
        "width=160 height=120 alt=\"%s wallpaper %d\"></a></td>\n"
        "<td class=\"info\"><p>Posted in the %s gallery by <b>user%d</b>: one of the best of "
        "the week, rated %d of 10.</p>\n"
        "<A href=\"javascript:getWall('%d','wallpapers/%s_%d_1024x768.jpg')\">1024x768</a> | "
        "<A href=\"javascript:getWall('%d','wallpapers/%s_%d_1280x1024.jpg')\">1280x1024</a> | "
        "<A href=\"javascript:getWall('%d','wallpapers/%s_%d_1600x1200.jpg')\">1600x1200</a>\n"
        "</td></tr>\n",
        id, id, word, id, word, i % 977, i % 10, id, word, id, id, word, id, id, word, id);
    if (i % 40 == 39) {
      page += "</table>\n<div class=\"pager\">";
      for (int p = 1; p <= 10; ++p) {
        page += Format("<a href=\"/wallpapers_games/index.php?cat=%s&page=%d\">%d</a>&nbsp;|\n",
                       word, p, p);
      }
      page += "<a href=\"/members/\">Members area</a></div>\n<table class=\"gallery\">\n";
    }
  }
  page += "</table>\n</body></html>\n";
  return page;
}

const std::string& Page(int megabytes) {
  static std::map<int, std::string> pages;
  std::string& page = pages[megabytes];
  if (page.empty()) page = GalleryPage(static_cast<size_t>(megabytes) * 1000000);
  return page;
}

void BM_CollectLinks(benchmark::State& state) {
  const Step& step = kSteps[state.range(0)];
  const std::string& page = Page(static_cast<int>(state.range(1)));
  IniDocument ini;
  ini.Parse(DefaultSitesIni);
  const std::string expression = ini.GetValue(step.site, Format("Step%dGet", step.number));
  const std::string url_template = ini.GetValue(step.site, Format("Step%dGo", step.number));
  size_t links = 0;
  for (auto _ : state) {
    const std::vector<std::string> vec = FindLinks(page, expression, url_template).links;
    links = vec.size();
    benchmark::DoNotOptimize(vec.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
  state.counters["links"] = static_cast<double>(links);
  state.SetLabel(
      Format("%s Step%dGet, %d MB page", step.site, step.number, static_cast<int>(state.range(1))));
}

BENCHMARK(BM_CollectLinks)
    ->ArgsProduct({{0, 1, 2, 3}, {2, 20}})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.0);

// For comparison only: the same search under Perl's first-found rule, which
// the program does not use. Shows what the leftmost-longest rule costs.
void BM_FirstFoundReference(benchmark::State& state) {
  const Step& step = kSteps[state.range(0)];
  const std::string& page = Page(static_cast<int>(state.range(1)));
  IniDocument ini;
  ini.Parse(DefaultSitesIni);
  const boost::regex expression(ini.GetValue(step.site, Format("Step%dGet", step.number)).c_str(),
                                boost::regex::normal);
  const std::string url_template = ini.GetValue(step.site, Format("Step%dGo", step.number));
  size_t links = 0;
  for (auto _ : state) {
    std::vector<std::string> vec;
    std::vector<std::string> groups;
    const auto collect = [&](const boost::smatch& match) {
      groups.clear();
      for (size_t i = 0; i < match.size(); ++i) groups.push_back(match[static_cast<int>(i)].str());
      vec.push_back(ExpandTemplate(url_template, groups));
      return true;
    };
    boost::regex_grep(collect, page.begin(), page.end(), expression, boost::match_default);
    links = vec.size();
    benchmark::DoNotOptimize(vec.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
  state.counters["links"] = static_cast<double>(links);
  state.SetLabel(
      Format("%s Step%dGet, %d MB page", step.site, step.number, static_cast<int>(state.range(1))));
}

BENCHMARK(BM_FirstFoundReference)
    ->ArgsProduct({{0, 1, 2, 3}, {20}})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.0);

// Reading a 20 MB page back from disk in text mode (CR LF line ends).
void BM_ReadTextFile(benchmark::State& state) {
  std::string bytes;
  for (char c : Page(20)) {
    if (c == '\n') bytes += '\r';
    bytes += c;
  }
  const std::string path = "/tmp/link_extraction_bench.page";
  if (std::FILE* file = std::fopen(path.c_str(), "wb")) {
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
  }
  std::string text;
  for (auto _ : state) {
    ReadTextFile(path, text);
    benchmark::DoNotOptimize(text.data());
  }
  std::remove(path.c_str());
  if (text.size() != Page(20).size()) state.SkipWithError("page read back wrongly");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

BENCHMARK(BM_ReadTextFile)->Unit(benchmark::kMillisecond)->MinTime(1.0);

}  // namespace

BENCHMARK_MAIN();
