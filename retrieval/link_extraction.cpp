#include "retrieval/link_extraction.h"

#include <new>
#include <stdexcept>

#include "app/diagnostics.h"
#include "app/wallpaper_fetcher.h"
#include "config/text_file.h"
#include "retrieval/crawl_observer.h"

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

}  // namespace

bool ReadTextFile(const std::string& path, std::string& text) {
  try {
    return ReadTextModeFile(path, &text, kMaxPageBytes);
  } catch (const std::bad_alloc&) {
    text.clear();
    return false;
  }
}

std::string ExpandTemplate(const std::string& url_template, const boost::smatch& match) {
  std::string result = url_template;
  for (size_t i = 1; i < match.size(); ++i) {
    const std::string placeholder = Format("$_%d_$", static_cast<int>(i));
    const size_t at = result.find(placeholder);
    if (at == std::string::npos) continue;
    // str() of a group that took no part in the match is "".
    result.replace(at, placeholder.size(), match[static_cast<int>(i)].str());
  }
  return result;
}

bool LinkCollector::operator()(const boost::smatch& match) const {
  std::string link = ExpandTemplate(template_, match);
  if (links_.size() >= kMaxLinks || link.size() > kMaxLinkBytes - *bytes_) {
    throw std::length_error("too many links on one page");
  }
  *bytes_ += link.size();
  links_.push_back(std::move(link));
  return true;
}

std::vector<std::string> WallpaperFetcher::CollectLinks(const std::string& text,
                                                        const std::string& strRExpression,
                                                        const std::string& strRFormatExp,
                                                        int iStepNumber) {
  boost::regex expression;
  try {
    // Perl-like syntax; a malformed expression throws (Boost reports errors
    // by exception unless told not to).
    expression.assign(strRExpression.c_str(), boost::regex::normal);
  } catch (...) {
    ReportExpressionError(iStepNumber, /*bCompiling=*/true);
    if (m_yDebug) {
      Trace("Format(\"Wrong (StepXXXGet)regular expression for the step %d\",iStepNumber).data()",
            Format("Wrong (StepXXXGet)regular expression for the step %d", iStepNumber));
    }
    return {};
  }

  std::vector<std::string> vec;
  LinkCollector collector(vec, strRFormatExp);
  try {
    // The site expressions were written for the leftmost-longest rule: where
    // two alternatives fit at one place, the one covering more text wins.
    // Boost matches Perl syntax first-found unless match_posix is given.
    boost::regex_grep(collector, text.begin(), text.end(), expression,
                      boost::match_default | boost::match_posix);
  } catch (...) {
    // Too complex a search (a regex_error), memory, or the collector itself
    // (a page with more links than it takes): the links found so far are
    // kept.
    ReportExpressionError(iStepNumber, /*bCompiling=*/false);
    if (m_yDebug) {
      Trace(
          "Format(\"Wrong format (StepXXXGo) regular expression for the step "
          "%d\",iStepNumber).data()",
          Format("Wrong format (StepXXXGo) regular expression for the step %d", iStepNumber));
    }
  }
  return vec;
}

void WallpaperFetcher::ReportExpressionError(int iStepNumber, bool bCompiling) {
  // Called inside a catch block: the exception at hand is the one to report.
  CrawlObserver& observer = Observer();
  try {
    throw;
  } catch (const boost::regex_error& error) {
    observer.OnExpressionError(iStepNumber, bCompiling, FirstSentence(error.what()),
                               bCompiling ? static_cast<long>(error.position()) : -1L);
  } catch (const std::length_error&) {
    observer.OnExpressionError(iStepNumber, bCompiling, "too many links on one page", -1);
  } catch (const std::bad_alloc&) {
    observer.OnExpressionError(iStepNumber, bCompiling, "out of memory", -1);
  } catch (const std::exception& error) {
    observer.OnExpressionError(iStepNumber, bCompiling, error.what(), -1);
  } catch (...) {
    observer.OnExpressionError(iStepNumber, bCompiling, "unknown error", -1);
  }
}
