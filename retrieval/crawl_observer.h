#ifndef RETRIEVAL_CRAWL_OBSERVER_H_
#define RETRIEVAL_CRAWL_OBSERVER_H_

#include <string>
#include <vector>

#include "picture/picture_refusal.h"
#include "platform/network/internet.h"

// What one download did, as the crawl's observer hears of it.
struct FetchRecord {
  std::string url;
  int result = 0;        // the worker's result: bytes (>= 0) or kDownloadFailed, ...
  double seconds = 0.0;  // real time the download took
  InternetSession::Details details;
};

// What the conversion made of the picture.
struct PictureRecord {
  int format = -1;          // by extension (FreeImage numbering), -1 when unknown
  std::string extension;    // from the last "." of the path, "" when there is none
  bool size_known = false;  // the header was read
  long long width = 0;
  long long height = 0;
  PictureRefusal refusal = PictureRefusal::kNone;  // why a run would not take it
  int limit = 0;  // the configured limit it is over (kTallerThanLimit, kWiderThanLimit)
};

// What a crawl reports as it happens. A run's crawl hears nothing (a
// NullCrawlObserver); a check of a site (--check) walks the same code as a
// run (the same downloads with their time limit, the same searches,
// templates, picture header check and decoding) with an observer that
// IsCheck(). Such a crawl changes nothing but its working files under
// SavePath, which a check points at a private directory: a URL without file
// object fails its fetch instead of ending the process, a picture in the
// history is examined all the same, and nothing is installed, recorded or
// deleted.
class CrawlObserver {
 public:
  virtual ~CrawlObserver() = default;
  // True for a check: the one question whose answer makes a crawl behave
  // other than a run's.
  virtual bool IsCheck() const = 0;
  // Every download, successful or not.
  virtual void OnFetch(const FetchRecord& fetch) = 0;
  // A link from a web page into this machine's files, refused unfetched.
  virtual void OnLocalLinkRefused(const std::string& url) = 0;
  // Step `step` begins with this expression and template.
  virtual void OnStep(int step, const std::string& expression, const std::string& url_template) = 0;
  // The expression could not be compiled (`compiling`) or its search ended
  // early; `position` is where in the expression the error lies, -1 when
  // unknown.
  virtual void OnExpressionError(int step, bool compiling, const std::string& what,
                                 long position) = 0;
  // The links of a step and the index picked (-1 when there are none).
  virtual void OnLinks(int step, const std::vector<std::string>& links, int picked) = 0;
  // The chain has ended at `url`; `file_name` is the picture's name, "" when
  // the URL gives no usable one.
  virtual void OnPictureName(const std::string& url, const std::string& file_name) = 0;
  // The picture's URL is one of the remembered ones.
  virtual void OnPictureInHistory() = 0;
  virtual void OnPicture(const PictureRecord& picture) = 0;
};

// A run's observer: not a check, and deaf.
class NullCrawlObserver final : public CrawlObserver {
 public:
  bool IsCheck() const override { return false; }
  void OnFetch(const FetchRecord&) override {}
  void OnLocalLinkRefused(const std::string&) override {}
  void OnStep(int, const std::string&, const std::string&) override {}
  void OnExpressionError(int, bool, const std::string&, long) override {}
  void OnLinks(int, const std::vector<std::string>&, int) override {}
  void OnPictureName(const std::string&, const std::string&) override {}
  void OnPictureInHistory() override {}
  void OnPicture(const PictureRecord&) override {}
};

#endif  // RETRIEVAL_CRAWL_OBSERVER_H_
