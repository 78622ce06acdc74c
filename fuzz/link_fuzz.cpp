// A crawl step's link extraction on hostile input: whatever the page, the
// expression (Step%dGet) and the template (Step%dGo), FindLinks returns
// (no exception, no crash, no hang), and the links obey the template rules.
//
// Input: expression 0x1F template 0x1F page. Missing parts are empty.
#include <boost/regex.hpp>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "retrieval/link_extraction.h"

namespace {

constexpr char kSeparator = '\x1f';

// Next part of `bytes` from `at` up to the separator (or the end).
std::string TakePart(const std::string& bytes, size_t* at) {
  if (*at >= bytes.size()) return "";
  const size_t end = bytes.find(kSeparator, *at);
  const size_t stop = end == std::string::npos ? bytes.size() : end;
  std::string part = bytes.substr(*at, stop - *at);
  *at = end == std::string::npos ? bytes.size() : end + 1;
  return part;
}

bool HasPlaceholderStart(const std::string& text) { return text.find("$_") != std::string::npos; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  size_t at = 0;
  const std::string expression = TakePart(bytes, &at);
  const std::string url_template = TakePart(bytes, &at);
  const std::string page = bytes.substr(at);

  // The step compiles the expression from its C string, as Sites.ini holds it.
  const std::string compiled_text = expression.c_str();
  const std::vector<std::string> links = FindLinks(page, expression, url_template).links;

  boost::regex regex;
  try {
    regex.assign(compiled_text.c_str(), boost::regex::normal);
  } catch (...) {
    // A malformed expression gives no links at all.
    if (!links.empty()) std::abort();
    return 0;
  }

  // Matches never overlap; an empty one is followed by a non-empty one at
  // most, so there are at most two a position.
  if (links.size() > 2 * (page.size() + 1)) std::abort();
  // Nothing to fill: every link is the template itself.
  if (regex.mark_count() == 0 || !HasPlaceholderStart(url_template)) {
    for (const std::string& link : links) {
      if (link != url_template) std::abort();
    }
  }

  // One match expanded by hand: the first one the search finds.
  boost::smatch match;
  bool found = false;
  try {
    found = boost::regex_search(page.begin(), page.end(), match, regex,
                                boost::match_default | boost::match_posix);
  } catch (...) {
    return 0;  // too complex a search; FindLinks already kept what it had
  }
  if (!found) return 0;
  std::vector<std::string> groups;
  for (size_t i = 0; i < match.size(); ++i) groups.push_back(match[static_cast<int>(i)].str());
  const std::string expanded = ExpandTemplate(url_template, groups);
  if (links.empty() || links.front() != expanded) std::abort();
  // Each group fills at most one placeholder of five or more characters.
  size_t longest = url_template.size();
  for (size_t i = 1; i < match.size(); ++i)
    longest += static_cast<size_t>(match[static_cast<int>(i)].length());
  if (expanded.size() > longest) std::abort();
  if (match.size() == 1 && expanded != url_template) std::abort();
  return 0;
}
