// A suggestion's reading of hostile pages: whatever two pages hold, the links
// found are where the page has them and are web addresses, and a step rule
// made for any choice of them returns (no exception, no crash, no hang)
// with an expression that compiles and placeholders that its groups fill.
//
// Input: one byte choosing the wanted links, then page 0x1F second page.
#include <boost/regex.hpp>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "suggestion/page_links.h"
#include "suggestion/step_rule.h"

namespace {

constexpr char kSeparator = '\x1f';

// The links of `text`, each checked against the page it came from.
std::vector<PageLink> CheckedLinks(const std::string& text, const std::string& url) {
  std::vector<PageLink> links = FindPageLinks(text, url);
  for (const PageLink& link : links) {
    if (link.at > text.size() || text.compare(link.at, link.raw.size(), link.raw) != 0)
      std::abort();
    if (link.url.rfind("http://", 0) != 0 && link.url.rfind("https://", 0) != 0) std::abort();
  }
  return links;
}

// Every `stride`th link of `links` from `first`, four at most.
std::vector<const PageLink*> Choose(const std::vector<PageLink>& links, size_t first,
                                    size_t stride) {
  std::vector<const PageLink*> chosen;
  for (size_t i = first; i < links.size() && chosen.size() < 4; i += stride)
    chosen.push_back(&links[i]);
  return chosen;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0 || size > 16384) return 0;  // a step rule tries many drafts
  const unsigned choice = data[0];
  const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  const size_t split = bytes.find(kSeparator);
  const std::string first = bytes.substr(0, split);
  const std::string second = split == std::string::npos ? "" : bytes.substr(split + 1);
  const std::string base = "http://site.example/dir/page.html";
  const std::vector<PageLink> first_links = CheckedLinks(first, base);
  const std::vector<PageLink> second_links = CheckedLinks(second, base + "?p=2");
  (void)ResolveUrl(base, DecodeLinkText(first));

  std::vector<RulePage> pages = {
      {base, &first, Choose(first_links, choice & 3u, 1 + ((choice >> 2) & 3u))}};
  if (split != std::string::npos)
    pages.push_back({base + "?p=2", &second, Choose(second_links, 0, 1 + (choice >> 6))});
  StepRule rule;
  RuleFit fit;
  if (!MakeStepRule(pages, &rule, &fit)) return 0;
  boost::regex regex;
  try {
    regex.assign(rule.expression, boost::regex::normal);
  } catch (...) {
    std::abort();  // a rule that Sites.ini cannot use
  }
  if (fit.unwanted < 0) std::abort();
  // Each placeholder names a group of the expression.
  for (size_t at = rule.url_template.find("$_"); at != std::string::npos;
       at = rule.url_template.find("$_", at + 2)) {
    const int group = std::atoi(rule.url_template.c_str() + at + 2);
    if (group < 1 || static_cast<size_t>(group) > regex.mark_count()) std::abort();
  }
  return 0;
}
