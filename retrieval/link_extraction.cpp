#include "retrieval/link_extraction.h"

#include <boost/regex.hpp>
#include <functional>
#include <new>

#include "diagnostics/format.h"
#include "platform/filesystem/text_file.h"

namespace {

// The first sentence of a Boost.Regex error, without what it adds about
// where: the position is reported apart.
std::string FirstSentence(const char* what) {
  std::string text = what;
  const size_t end = text.find(".  ");
  if (end != std::string::npos) text.resize(end);
  if (!text.empty() && text.back() == '.') text.pop_back();
  return text;
}

// Fills `url_template` from the `count` groups that `group(i)` gives.
template <typename Group>
std::string Expand(const std::string& url_template, size_t count, Group group) {
  std::string result = url_template;
  for (size_t i = 1; i < count; ++i) {
    const std::string placeholder = Format("$_%d_$", static_cast<int>(i));
    const size_t at = result.find(placeholder);
    if (at == std::string::npos) continue;
    result.replace(at, placeholder.size(), group(i));
  }
  return result;
}

// The search's callback: appends one filled template per match. A link that would go past the
// bounds ends the search (the callback answers false) and is noted in `*overflow`.
class LinkCollector {
 public:
  LinkCollector(std::vector<std::string>& links, const std::string& url_template, bool* overflow)
      : links_(links), template_(url_template), overflow_(overflow) {}

  bool operator()(const boost::smatch& match) {
    // str() of a group that took no part in the match is "".
    std::string link = Expand(template_, match.size(),
                              [&match](size_t i) { return match[static_cast<int>(i)].str(); });
    if (links_.size() >= kMaxLinks || link.size() > kMaxLinkBytes - bytes_) {
      *overflow_ = true;
      return false;
    }
    bytes_ += link.size();
    links_.push_back(std::move(link));
    return true;
  }

 private:
  std::vector<std::string>& links_;
  const std::string& template_;
  bool* overflow_;
  size_t bytes_ = 0;  // of every link appended
};

void Fail(LinkSearch* search, bool compiling, std::string what, long position) {
  search->failed = true;
  search->compiling = compiling;
  search->what = std::move(what);
  search->position = position;
}

}  // namespace

bool ReadTextFile(const std::string& path, std::string& text) {
  try {
    return ReadTextModeFile(path, &text, kMaxPageBytes);
  } catch (const std::bad_alloc&) {
    text.clear();
    return false;
  }
}

std::string ExpandTemplate(const std::string& url_template,
                           const std::vector<std::string>& groups) {
  return Expand(url_template, groups.size(), [&groups](size_t i) { return groups[i]; });
}

LinkSearch FindLinks(const std::string& text, const std::string& expression,
                     const std::string& url_template) {
  LinkSearch search;
  boost::regex compiled;
  try {
    // Boost reports a malformed expression by exception unless told not to.
    compiled.assign(expression.c_str(), boost::regex::normal);
  } catch (const boost::regex_error& error) {
    Fail(&search, /*compiling=*/true, FirstSentence(error.what()),
         static_cast<long>(error.position()));
    return search;
  } catch (const std::bad_alloc&) {
    Fail(&search, /*compiling=*/true, "out of memory", -1);
    return search;
  } catch (const std::exception& error) {
    Fail(&search, /*compiling=*/true, error.what(), -1);
    return search;
  }

  bool overflow = false;
  LinkCollector collector(search.links, url_template, &overflow);
  try {
    // Where two alternatives fit at one place, the one covering more text
    // wins (match_posix); Boost's Perl syntax is first-found without it.
    boost::regex_grep(std::ref(collector), text.begin(), text.end(), compiled,
                      boost::match_default | boost::match_posix);
  } catch (const boost::regex_error& error) {  // too complex a search
    Fail(&search, /*compiling=*/false, FirstSentence(error.what()), -1);
  } catch (const std::bad_alloc&) {
    Fail(&search, /*compiling=*/false, "out of memory", -1);
  } catch (const std::exception& error) {
    Fail(&search, /*compiling=*/false, error.what(), -1);
  }
  if (overflow) Fail(&search, /*compiling=*/false, "too many links on one page", -1);
  return search;
}
