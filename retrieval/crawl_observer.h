#ifndef RETRIEVAL_CRAWL_OBSERVER_H_
#define RETRIEVAL_CRAWL_OBSERVER_H_

#include <string>
#include <vector>

#include "picture/picture_refusal.h"
#include "platform/desktop/desktop.h"
#include "platform/network/internet.h"
#include "platform/outcome.h"

// What a crawl is for. A run's crawl takes the picture: it installs,
// records and deletes it. A check's (--check) walks the same code (the same
// downloads with their time limit, the same searches, templates, picture
// header check and decoding) and changes nothing but its working files under
// SavePath, which a check points at a private directory: a URL without file
// object fails its fetch instead of ending the process, a picture in the
// history is examined all the same, and nothing is installed, recorded or
// deleted.
enum class CrawlMode { kRun, kCheck };

// Download results besides a byte count (>= 0).
constexpr int kDownloadFailed = -1;        // the transfer or the file failed
constexpr int kDownloadNoFile = -2;        // no file object for the URL
constexpr int kDownloadTimedOut = -3;      // ended at the time limit
constexpr int kDownloadStillActive = 259;  // the status while the worker runs

// What one download did, as the crawl's observer hears of it.
struct FetchRecord {
  std::string url;
  int result = 0;        // bytes (>= 0) or kDownloadFailed, ...
  double seconds = 0.0;  // real time the download took
  long time_limit = 0;   // SecondsToDownload it ran under
  InternetSession::Details details;
};

// What a crawl reports as it happens, for whoever keeps account of it: the
// run's record (--status) or the check's report. Hearing changes nothing in
// the crawl; each event is ignored unless overridden.
class CrawlObserver {
 public:
  virtual ~CrawlObserver() = default;
  // Every download, successful or not.
  virtual void OnFetch(const FetchRecord&) {}
  // A link from a web page into this machine's files, refused unfetched.
  virtual void OnLocalLinkRefused(const std::string& /*url*/) {}
  // Step `step` begins with this expression and template.
  virtual void OnStep(int /*step*/, const std::string& /*expression*/,
                      const std::string& /*url_template*/) {}
  // The expression could not be compiled (`compiling`) or its search ended
  // early; `position` is where in the expression the error lies, -1 when
  // unknown.
  virtual void OnExpressionError(int /*step*/, bool /*compiling*/, const std::string& /*what*/,
                                 long /*position*/) {}
  // The links of a step and the index picked (-1 when there are none).
  virtual void OnLinks(int /*step*/, const std::vector<std::string>& /*links*/, int /*picked*/) {}
  // A run's last step picked a link that is in the history, and so fetches
  // nothing; `new_links` of the `links` the step found are not in it.
  virtual void OnLinkInHistory(int /*new_links*/, int /*links*/) {}
  // The chain has ended at `url`; `file_name` is the picture's name, "" when
  // the URL gives no usable one.
  virtual void OnPictureName(const std::string& /*url*/, const std::string& /*file_name*/) {}
  // The picture's URL is one of the remembered ones.
  virtual void OnPictureInHistory() {}
  // What the conversion made of the picture.
  virtual void OnPicture(const PictureRecord&) {}
  // A run has taken the picture from `url`, saved as `file`; the desktop is
  // asked to show it unless NotMakeAWallpaper (`desktop_asked` false).
  virtual void OnPictureTaken(const std::string& /*url*/, const std::string& /*file*/,
                              bool /*desktop_asked*/) {}
  // What the desktop made of it.
  virtual void OnWallpaper(const WallpaperOutcome&) {}
  // Nobody saw the picture (no graphical session, no desktop reached): it
  // is not added to the history, so that a later run may take it again.
  virtual void OnPictureKept() {}
  // The history was saved with the picture's URL, or why it was not.
  virtual void OnHistorySaved(const Outcome&) {}
};

#endif  // RETRIEVAL_CRAWL_OBSERVER_H_
