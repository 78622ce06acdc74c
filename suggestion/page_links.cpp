#include "suggestion/page_links.h"

#include <boost/regex.hpp>
#include <cctype>
#include <cstdlib>

#include "platform/text_case.h"

namespace {

constexpr size_t kContext = 48;

// The named entities a link may hold.
struct Entity {
  const char* name;
  char value;
};
constexpr Entity kEntities[] = {{"amp;", '&'}, {"quot;", '"'}, {"apos;", '\''},
                                {"lt;", '<'},  {"gt;", '>'},   {"sol;", '/'}};

// Decodes the reference at `raw[at]` ('&' or '\\') into `out`; the length
// it took, 0 when it is none.
size_t DecodeOne(const std::string& raw, size_t at, std::string* out) {
  if (raw[at] == '\\' && at + 1 < raw.size()) {
    const char next = raw[at + 1];
    if (next == 'u' && at + 6 <= raw.size()) {
      const long code = std::strtol(raw.substr(at + 2, 4).c_str(), nullptr, 16);
      if (code > 0 && code < 0x80) {
        *out += static_cast<char>(code);
        return 6;
      }
    }
    if (next == '/' || next == '\\' || next == '"') {
      *out += next;
      return 2;
    }
    return 0;
  }
  if (raw[at] != '&') return 0;
  if (at + 2 < raw.size() && raw[at + 1] == '#') {
    const bool hex = raw[at + 2] == 'x' || raw[at + 2] == 'X';
    const size_t digits = at + (hex ? 3 : 2);
    const size_t semicolon = raw.find(';', digits);
    if (semicolon == std::string::npos || semicolon - digits > 6 || semicolon == digits) return 0;
    const long code =
        std::strtol(raw.substr(digits, semicolon - digits).c_str(), nullptr, hex ? 16 : 10);
    if (code <= 0 || code >= 0x80) return 0;
    *out += static_cast<char>(code);
    return semicolon + 1 - at;
  }
  for (const Entity& entity : kEntities) {
    if (raw.compare(at + 1, std::char_traits<char>::length(entity.name), entity.name) == 0) {
      *out += entity.value;
      return 1 + std::char_traits<char>::length(entity.name);
    }
  }
  return 0;
}

bool LooksLikeAddress(const std::string& text) {
  if (text.empty() || text.size() > 2000) return false;
  for (const char c : text) {
    if (std::isspace(static_cast<unsigned char>(c)) || c == '<' || c == '>') return false;
  }
  const std::string lower = Lower(text.substr(0, 8));
  if (lower.compare(0, 7, "http://") == 0 || lower.compare(0, 8, "https://") == 0) return true;
  return text[0] == '/' || text.find('/') != std::string::npos ||
         text.find('.') != std::string::npos;
}

// A script's strings are mostly not addresses: one counts when it is an
// absolute or rooted address, or a relative one that ends in a file name,
// with none of the characters that code has and addresses do not.
bool LooksLikeStringAddress(const std::string& text) {
  if (text.find_first_of("(){}[]|^`\\!*;") != std::string::npos) return false;
  const std::string lower = Lower(text.substr(0, 8));
  if (lower.compare(0, 7, "http://") == 0 || lower.compare(0, 8, "https://") == 0) return true;
  if (text.size() >= 2 && text[0] == '/' && std::isalnum(static_cast<unsigned char>(text[1])))
    return true;
  const size_t dot = text.rfind('.');
  return text.find('/') != std::string::npos && dot != std::string::npos &&
         dot + 5 >= text.size() && dot + 1 < text.size();
}

bool IsHttp(const std::string& url) {
  const std::string lower = Lower(url.substr(0, 8));
  return lower.compare(0, 7, "http://") == 0 || lower.compare(0, 8, "https://") == 0;
}

// Where the path of an absolute URL begins (its end when it has none).
size_t PathStart(const std::string& url) {
  const size_t scheme = url.find("://");
  if (scheme == std::string::npos) return 0;
  const size_t path = url.find_first_of("/?#", scheme + 3);
  return path == std::string::npos ? url.size() : path;
}

// "/a/./b/../c" as "/a/c".
std::string RemoveDotSegments(const std::string& path) {
  std::vector<std::string> parts;
  size_t start = 1;
  while (start <= path.size()) {
    size_t slash = path.find('/', start);
    if (slash == std::string::npos) slash = path.size();
    const std::string part = path.substr(start, slash - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
      if (slash == path.size()) parts.push_back("");
    } else if (part == ".") {
      if (slash == path.size()) parts.push_back("");
    } else {
      parts.push_back(part);
    }
    start = slash + 1;
  }
  std::string joined;
  for (const std::string& part : parts) joined += "/" + part;
  return joined.empty() ? "/" : joined;
}

class LinkFinder {
 public:
  LinkFinder(const std::string& page, const std::string& base) : page_(page), base_(base) {}

  void Add(size_t at, size_t length, const std::string& source) {
    const std::string raw = page_.substr(at, length);
    const std::string decoded = DecodeLinkText(raw);
    if (!LooksLikeAddress(decoded)) return;
    if (source == "string" && !LooksLikeStringAddress(decoded)) return;
    const std::string url = ResolveUrl(base_, decoded);
    if (!IsHttp(url)) return;
    PageLink link;
    link.at = at;
    link.raw = raw;
    link.url = url;
    link.source = source;
    link.before = Context(at, /*forward=*/false);
    link.after = Context(at + length, /*forward=*/true);
    links_.push_back(std::move(link));
  }

  // A srcset's addresses: each up to the blank before its descriptor.
  void AddSourceSet(size_t at, size_t length, const std::string& source) {
    size_t i = at;
    const size_t end = at + length;
    while (i < end) {
      while (i < end && (std::isspace(static_cast<unsigned char>(page_[i])) || page_[i] == ','))
        ++i;
      const size_t start = i;
      while (i < end && !std::isspace(static_cast<unsigned char>(page_[i]))) ++i;
      size_t stop = i;
      if (stop > start && page_[stop - 1] == ',') --stop;
      if (stop > start) Add(start, stop - start, source);
      while (i < end && page_[i] != ',') ++i;
    }
  }

  std::vector<PageLink> Take() { return std::move(links_); }

 private:
  std::string Context(size_t at, bool forward) const {
    if (forward) {
      const size_t line_end = page_.find('\n', at);
      const size_t stop = line_end == std::string::npos ? page_.size() : line_end;
      return page_.substr(at, std::min(kContext, stop - at));
    }
    const size_t line_start = at == 0 ? std::string::npos : page_.rfind('\n', at - 1);
    const size_t begin = line_start == std::string::npos ? 0 : line_start + 1;
    const size_t from = at - begin > kContext ? at - kContext : begin;
    return page_.substr(from, at - from);
  }

  const std::string& page_;
  const std::string base_;
  std::vector<PageLink> links_;
};

bool IsLinkAttribute(const std::string& name) {
  return name == "href" || name == "src" || name == "srcset" || name == "poster" ||
         name == "content" ||
         (name.compare(0, 5, "data-") == 0 &&
          (name.find("src") != std::string::npos || name.find("url") != std::string::npos ||
           name.find("href") != std::string::npos || name.find("original") != std::string::npos ||
           name.find("full") != std::string::npos));
}

// The document's <base href>, resolved against the page's address.
std::string BaseOf(const std::string& page, const std::string& page_url) {
  static const boost::regex kBase("<base\\s[^>]*href\\s*=\\s*[\"']?([^\"'\\s>]+)",
                                  boost::regex::perl | boost::regex::icase);
  boost::smatch match;
  try {
    if (!boost::regex_search(page, match, kBase)) return page_url;
  } catch (const std::exception&) {
    return page_url;
  }
  return ResolveUrl(page_url, DecodeLinkText(match[1].str()));
}

}  // namespace

std::string DecodeLinkText(const std::string& raw) {
  std::string out;
  for (size_t i = 0; i < raw.size();) {
    const size_t taken = DecodeOne(raw, i, &out);
    if (taken == 0) out += raw[i++];
    i += taken;
  }
  return out;
}

std::string ResolveUrl(const std::string& base, const std::string& link) {
  if (IsHttp(link)) return link;
  if (link.find("://") != std::string::npos || link.compare(0, 11, "javascript:") == 0 ||
      link.compare(0, 7, "mailto:") == 0 || link.compare(0, 5, "data:") == 0)
    return link;
  const size_t path_start = PathStart(base);
  const std::string origin = base.substr(0, path_start);
  if (link.compare(0, 2, "//") == 0) return base.substr(0, base.find(':') + 1) + link;
  const std::string base_path =
      base.substr(path_start, base.find_first_of("?#", path_start) - path_start);
  if (link.empty() || link[0] == '#') return base.substr(0, base.find('#')) + link;
  if (link[0] == '?') return origin + (base_path.empty() ? "/" : base_path) + link;
  const size_t query = link.find_first_of("?#");
  const std::string link_path = link.substr(0, query);
  const std::string rest = query == std::string::npos ? "" : link.substr(query);
  std::string path;
  if (link[0] == '/') {
    path = link_path;
  } else {
    const size_t slash = base_path.rfind('/');
    path = (slash == std::string::npos ? "/" : base_path.substr(0, slash + 1)) + link_path;
  }
  return origin + RemoveDotSegments(path) + rest;
}

namespace {

// The links in the tags' attributes; the tags' places in `tags`.
void FindAttributeLinks(const std::string& page, LinkFinder* finder,
                        std::vector<std::pair<size_t, size_t>>* tags) {
  static const boost::regex kAttributeInTag(
      "\\s([a-zA-Z][a-zA-Z0-9_:-]*)\\s*=\\s*(?:\"([^\"]*)\"|'([^']*)'|([^\\s\"'<>`]+))",
      boost::regex::perl);
  static const boost::regex kTag("<[a-zA-Z][^<>]*>", boost::regex::perl);
  for (boost::sregex_iterator tag(page.begin(), page.end(), kTag), end; tag != end; ++tag) {
    const size_t tag_at = static_cast<size_t>(tag->position());
    tags->emplace_back(tag_at, tag_at + static_cast<size_t>(tag->length()));
    const std::string text = tag->str();
    for (boost::sregex_iterator a(text.begin(), text.end(), kAttributeInTag); a != end; ++a) {
      const std::string name = Lower((*a)[1].str());
      if (!IsLinkAttribute(name)) continue;
      const int group = (*a)[2].matched ? 2 : (*a)[3].matched ? 3 : 4;
      const size_t at = tag_at + static_cast<size_t>(a->position(group));
      const size_t length = static_cast<size_t>(a->length(group));
      if (name.find("srcset") != std::string::npos) {
        finder->AddSourceSet(at, length, name);
      } else {
        finder->Add(at, length, name);
      }
    }
  }
}

// The strings outside the tags: scripts and JSON.
void FindStringLinks(const std::string& page, const std::vector<std::pair<size_t, size_t>>& tags,
                     LinkFinder* finder) {
  static const boost::regex kString(
      "\"((?:[^\"\\\\\\n<>]|\\\\.){3,2000})\"|'((?:[^'\\\\\\n<>]|\\\\.){3,2000})'",
      boost::regex::perl);
  size_t next_tag = 0;
  for (boost::sregex_iterator s(page.begin(), page.end(), kString), end; s != end; ++s) {
    const int group = (*s)[1].matched ? 1 : 2;
    const size_t at = static_cast<size_t>(s->position(group));
    while (next_tag < tags.size() && tags[next_tag].second <= at) ++next_tag;
    if (next_tag < tags.size() && tags[next_tag].first < at) continue;
    finder->Add(at, static_cast<size_t>(s->length(group)), "string");
  }
}

}  // namespace

std::vector<PageLink> FindPageLinks(const std::string& page, const std::string& page_url) {
  LinkFinder finder(page, BaseOf(page, page_url));
  std::vector<std::pair<size_t, size_t>> tags;
  // A page built to make the search too complex, or too large for the
  // memory, gives the links found until then.
  try {
    FindAttributeLinks(page, &finder, &tags);
    FindStringLinks(page, tags, &finder);
  } catch (const std::exception&) {
  }
  std::vector<PageLink> links = finder.Take();
  std::stable_sort(links.begin(), links.end(),
                   [](const PageLink& a, const PageLink& b) { return a.at < b.at; });
  return links;
}
