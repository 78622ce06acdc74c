#ifndef RETRIEVAL_CRAWLER_H_
#define RETRIEVAL_CRAWLER_H_

#include <string>
#include <vector>

#include "config/ini_document.h"
#include "config/settings.h"
#include "diagnostics/reporter.h"
#include "picture/picture_codec.h"
#include "platform/desktop/desktop.h"
#include "retrieval/crawl_observer.h"
#include "retrieval/download.h"
#include "wallpaper/history.h"

// What a crawl works with besides the site's keys. The references outlive
// the crawler.
struct CrawlTools {
  Downloader& downloader;
  History& history;
  PictureCodec& pictures;
  Desktop& desktop;
  const Reporter& reporter;
  CrawlObserver& observer;
  char* buffer;  // the transfer buffer every download goes through
  int buffer_size;
};

// Step `step`'s links: one per match of `expression` in `text`, from
// `url_template` (retrieval/link_extraction.h); an expression that cannot be
// compiled or a search that ends early is told to `observer` and traced.
std::vector<std::string> CollectLinks(const std::string& text, const std::string& expression,
                                      const std::string& url_template, int step,
                                      CrawlObserver& observer, const Reporter& reporter);

// One attempt at one site: fetches its start page (Begin), walks its steps
// (StepNGet, StepNGo from N = 1 while StepNGet exists) to a picture, and in
// a run converts it to Walp.bmp, installs it, records it in the history
// (unless no screen could be reached to show it) and deletes it when asked;
// a check only converts it (CrawlMode). The page
// fetched last is kept in temp.file under SavePath.
class Crawler {
 public:
  // `ini`: the configuration, whose [SiteN] (`site`) is walked; `settings`:
  // its [General]; `program_dir`: what relative paths are made full against.
  Crawler(const IniDocument& ini, int site, const GeneralSettings& settings,
          std::string program_dir, const CrawlTools& tools, CrawlMode mode);

  // The whole attempt. True when it reached a picture that was taken (a
  // run) or would be (a check). Throws Fatal when the working file cannot
  // be written or, in a run, a URL yields no file object.
  bool CrawlSite();

  // What the attempt got to, for the caller: the time limit of the site,
  // the URL fetched last, the picture's path and Walp.bmp's.
  long seconds_to_download() const { return seconds_to_download_; }
  const std::string& last_url() const { return last_url_; }
  const std::string& picture_path() const { return picture_path_; }
  const std::string& bitmap_path() const { return bitmap_path_; }

 private:
  bool FetchStartPage(const std::string& url);
  bool CrawlStep(int step, std::string* url);
  // The last step's link `url`, picked from `links`, in the history: a run
  // refuses it unfetched.
  bool RefusedByHistory(const std::string& url, const std::vector<std::string>& links);
  bool FetchPage(const std::string& url, bool may_be_local);
  bool TakePicture(const std::string& url);
  // Walp.bmp from the picture, the verdict told to the observer.
  bool ConvertPicture();
  // The picture, named and in place, becomes the wallpaper (a run).
  bool InstallPicture();
  std::string StepValue(int step, bool get) const;

  const IniDocument& ini_;
  const std::string section_;
  const GeneralSettings& settings_;
  const std::string program_dir_;
  const CrawlTools& tools_;
  const CrawlMode mode_;
  const std::string working_file_;
  const int steps_;  // StepNGet from N = 1 up to the first gap
  long seconds_to_download_ = 0;
  std::string last_url_;
  std::string picture_path_;
  std::string bitmap_path_;
};

#endif  // RETRIEVAL_CRAWLER_H_
