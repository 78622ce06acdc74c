#ifndef RETRIEVAL_LINK_EXTRACTION_H_
#define RETRIEVAL_LINK_EXTRACTION_H_

#include <cstddef>
#include <string>
#include <vector>

// Pages larger than this are not searched: no gallery page comes near it,
// and a server that streams without end must not fill the memory.
constexpr size_t kMaxPageBytes = 256u << 20;

// Reads a page file in text mode (CR LF as LF, a 0x1A byte ends it) into
// `text`. False, with `text` empty, when the file cannot be opened or read,
// is larger than kMaxPageBytes, or does not fit in memory: the step then has
// no page to search.
bool ReadTextFile(const std::string& path, std::string& text);

// Fills `url_template` from one match, whose capture groups are `groups`
// ([0] the whole match): the first occurrence of "$_i_$" is replaced by
// group i, for i = 1 .. groups.size()-1 in order; a group that did not take
// part is "". Nothing is escaped.
std::string ExpandTemplate(const std::string& url_template, const std::vector<std::string>& groups);

// At most this many links are gathered from one page, holding at most this
// many bytes together: far more than any gallery page has, and far less
// than a page built to match everywhere would otherwise take.
constexpr size_t kMaxLinks = 100000;
constexpr size_t kMaxLinkBytes = 64u << 20;

// The links a step's expression finds in a page, and what stopped it.
struct LinkSearch {
  std::vector<std::string> links;
  // Set when the expression could not be compiled (`compiling`, no links)
  // or the search ended early (the links found until then are kept): a
  // search too complex, memory, or a page with more links than the bounds
  // above take.
  bool failed = false;
  bool compiling = false;
  std::string what;    // Boost.Regex's first sentence, "too many links on one page", ...
  long position = -1;  // where in the expression a compile error lies, -1 when unknown
};

// One link per match of `expression` (Perl syntax, matched leftmost-longest,
// as the site expressions were written for) in `text`, from `url_template`.
LinkSearch FindLinks(const std::string& text, const std::string& expression,
                     const std::string& url_template);

#endif  // RETRIEVAL_LINK_EXTRACTION_H_
