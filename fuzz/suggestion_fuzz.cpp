// A suggestion's reading of hostile pages: whatever two pages hold, the links
// found are where the page has them and are web addresses, and a step rule
// is made for any choice of them without an exception, a crash or a hang.
//
// Input: one byte choosing the wanted links, then page 0x1F second page.
#include <cctype>
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
    // The scheme in any case, as a page's <base> may write it.
    std::string scheme = link.url.substr(0, link.url.find("://"));
    for (char& c : scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (scheme != "http" && scheme != "https") std::abort();
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
  (void)MakeStepRule(pages, &rule, &fit);
  return 0;
}
