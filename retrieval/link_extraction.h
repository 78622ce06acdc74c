#ifndef RETRIEVAL_LINK_EXTRACTION_H_
#define RETRIEVAL_LINK_EXTRACTION_H_

#include <string>
#include <vector>

#include <boost/regex.hpp>

// Reads a page file in text mode (CR LF as LF, a 0x1A byte ends it) into
// `text`. A file that cannot be opened gives empty text.
void ReadTextFile(const std::string& path, std::string& text);

// Fills `url_template`: the first occurrence of "$_i_$" is replaced by capture
// group i, for i = 1 .. match.size()-1 in order; a group that did not take part
// gives "". Nothing is escaped.
std::string ExpandTemplate(const std::string& url_template,
                           const boost::smatch& match);

// The search's callback: appends one filled template per match.
class LinkCollector {
 public:
  LinkCollector(std::vector<std::string>& links, std::string url_template)
      : links_(links), template_(std::move(url_template)) {}
  bool operator()(const boost::smatch& match) const;

 private:
  std::vector<std::string>& links_;
  std::string template_;
};

#endif  // RETRIEVAL_LINK_EXTRACTION_H_
