#ifndef RETRIEVAL_LINK_EXTRACTION_H_
#define RETRIEVAL_LINK_EXTRACTION_H_

#include <boost/regex.hpp>
#include <cstddef>
#include <memory>
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

// Fills `url_template`: the first occurrence of "$_i_$" is replaced by capture
// group i, for i = 1 .. match.size()-1 in order; a group that did not take part
// gives "". Nothing is escaped.
std::string ExpandTemplate(const std::string& url_template, const boost::smatch& match);

// At most this many links are gathered from one page, holding at most this
// many bytes together: far more than any gallery page has, and far less
// than a page built to match everywhere would otherwise take.
constexpr size_t kMaxLinks = 100000;
constexpr size_t kMaxLinkBytes = 64u << 20;

// The search's callback: appends one filled template per match. Copies
// append to the same list. A link that would go past the bounds above
// throws std::length_error instead, which ends the search.
class LinkCollector {
 public:
  LinkCollector(std::vector<std::string>& links, std::string url_template)
      : links_(links), template_(std::move(url_template)), bytes_(std::make_shared<size_t>(0)) {}
  bool operator()(const boost::smatch& match) const;

 private:
  std::vector<std::string>& links_;
  std::string template_;
  std::shared_ptr<size_t> bytes_;  // of every link appended, shared by copies
};

#endif  // RETRIEVAL_LINK_EXTRACTION_H_
