#ifndef SUGGESTION_PAGE_LINKS_H_
#define SUGGESTION_PAGE_LINKS_H_

#include <cstddef>
#include <string>
#include <vector>

// Every address a page offers, as a step's expression would meet it: in
// the attributes that link (href, src, srcset, lazy-loading data-*
// attributes, poster, a meta tag's content), quoted either way or not at
// all, and in the strings of scripts and JSON.
struct PageLink {
  size_t at = 0;       // where `raw` begins in the page
  std::string raw;     // as the page writes it (entities, JSON escapes)
  std::string url;     // decoded and resolved against the page and its <base>
  std::string source;  // "href", "src", "srcset", "data-src", "content", "string", ...
  std::string before;  // the page's text just before `raw`, on its line
  std::string after;   // and just after
};

// The links of `page`, fetched from `page_url`, in page order; one address
// that the page writes twice is two links. Only http and https addresses.
std::vector<PageLink> FindPageLinks(const std::string& page, const std::string& page_url);

// `raw` with HTML's character references (&amp; &#38; &#x26; &quot; ...)
// and JSON's escapes (\u0026, \/) decoded.
std::string DecodeLinkText(const std::string& raw);

// `link` made absolute against `base` (an absolute http or https URL):
// "//host/x", "/x", "x", "../x", "?q", "#f" as a browser resolves them.
std::string ResolveUrl(const std::string& base, const std::string& link);

#endif  // SUGGESTION_PAGE_LINKS_H_
