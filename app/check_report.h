#ifndef APP_CHECK_REPORT_H_
#define APP_CHECK_REPORT_H_

#include <cstdio>
#include <string>
#include <vector>

#include "retrieval/crawl_observer.h"

// The text on one line of the report: control characters (a line feed that
// an expression took into a link) are written as escapes.
std::string Printable(const std::string& text);

// What --check says of one site: hears what one crawl does, turns it into
// the lines of the site, and names the stage and the reason where the crawl
// stopped short of a picture that a run would take.
class SiteReport : public CrawlObserver {
 public:
  void OnFetch(const FetchRecord& fetch) override;
  void OnLocalLinkRefused(const std::string& url) override;
  void OnStep(int step, const std::string& expression, const std::string& url_template) override;
  void OnExpressionError(int step, bool compiling, const std::string& what, long position) override;
  void OnLinks(int step, const std::vector<std::string>& links, int picked) override;
  void OnPictureName(const std::string& url, const std::string& file_name) override;
  void OnPictureInHistory() override;
  void OnPicture(const PictureRecord& picture) override;

  // A configuration problem found before any crawl: the site was not
  // crawled.
  void Refuse(const std::string& reason);

  // Where the chain broke, for a mend: the step whose expression found no
  // links, or the last step when it led to no picture (0 when the chain did
  // not break there: a fetch failed, or it is whole), and the address of the
  // page that step searched ("" when unknown).
  int broken_step() const { return broken_step_; }
  std::string PageBeforeBreak() const;
  // The links the step before the break found: pages of the same kind.
  const std::vector<std::string>& SiblingsBeforeBreak() const { return links_before_break_; }

  // Writes `SiteN "NAME": OK` (or `FAILED at STAGE: REASON`) and the lines
  // under it, and flushes `out`. `ok` is what the crawl returned.
  void Print(std::FILE* out, int site, const std::string& name, bool ok) const;

 private:
  std::vector<std::string> lines_;
  std::string stage_ = "begin";
  std::string reason_;
  std::string expression_;
  std::string picture_name_;
  long last_status_ = 0;
  std::string last_content_type_;
  bool in_history_ = false;
  bool expression_broken_ = false;
  int step_ = 0;                      // the step under way, 0 before the first
  std::vector<std::string> fetched_;  // the pages and the picture fetched, in order
  int broken_step_ = 0;
  std::vector<std::string> last_links_;          // of the step under way
  std::vector<std::string> links_before_last_;   // of the step before it
  std::vector<std::string> links_before_break_;  // of the step before the break
};

#endif  // APP_CHECK_REPORT_H_
