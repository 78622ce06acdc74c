#include "suggestion/proof.h"

#include <memory>

#include "config/config_keys.h"
#include "config/ini_document.h"
#include "config/settings.h"
#include "diagnostics/format.h"
#include "diagnostics/reporter.h"
#include "picture/picture_refusal.h"
#include "platform/console/console.h"
#include "platform/console/message_box.h"
#include "platform/filesystem/scratch_directory.h"
#include "retrieval/crawler.h"

namespace {

// Hears one proof run: its requests, where it ended and what the picture was.
class ProofObserver : public CrawlObserver {
 public:
  void OnFetch(const FetchRecord& fetch) override {
    ++fetches;
    last_url = fetch.url;
    if (fetch.result < 0 || fetch.result == 0)
      failure = "fetching " + fetch.url + " failed" +
                (fetch.details.error.empty() ? "" : ": " + fetch.details.error);
  }
  void OnLinks(int step, const std::vector<std::string>&, int picked) override {
    if (picked < 0) failure = Format("step %d found no links", step);
  }
  void OnPictureName(const std::string& url, const std::string&) override { picture_url = url; }
  void OnPicture(const PictureRecord& record) override { picture = record; }

  int fetches = 0;
  std::string last_url;  // the address fetched last: where a failed run went wrong
  std::string failure;
  std::string picture_url;
  PictureRecord picture;
};

// A console and boxes that nobody sees: the proof's crawl is quiet.
class Silent : public Console, public MessageBoxes {
 public:
  void Open() override {}
  void Write(const std::string&) override {}
  void Close() override {}
  void ShowInfo(const std::string&, const std::string&) override {}
  void ShowError(const std::string&, const std::string&) override {}
};

}  // namespace

std::string SiteSectionText(int site, const std::string& name, long seconds,
                            const std::string& begin, const std::vector<StepRule>& steps) {
  std::string text = "[" + SiteSectionName(site) + "]\n";
  text += "Name=" + name + "\n";
  text += "SecondsToDownload=" + std::to_string(seconds) + "\n";
  text += "Begin=" + begin + "\n";
  for (size_t i = 0; i < steps.size(); ++i) {
    const int step = static_cast<int>(i) + 1;
    text += StepKey(step, StepPart::kGet) + "=" + steps[i].expression + "\n";
    text += StepKey(step, StepPart::kGo) + "=" + steps[i].url_template + "\n";
  }
  return text;
}

ProofResult ProveChain(const std::string& begin, const std::vector<StepRule>& steps, int runs,
                       long long min_width, long long min_height, WebProbe& probe,
                       const ProofTools& tools) {
  ProofResult result;
  std::unique_ptr<ScratchDirectory> scratch;
  std::string directory = tools.directory;
  if (directory.empty()) {
    scratch = std::make_unique<ScratchDirectory>();
    directory = scratch->path();
    if (directory.empty()) {
      result.failure = "no private directory for the proof: " + scratch->outcome().message();
      return result;
    }
  }
  const long seconds = static_cast<long>((probe.limits().fetch_ms + 999) / 1000);
  IniDocument ini;
  ini.Parse("[General]\nNumOfSites=1\nTryNumber=1\nKeepInHistory=0\n" +
            SiteSectionText(1, "proof", seconds, begin, steps));
  GeneralSettings settings = ReadGeneralSettings(ini);
  settings.save_path = directory;
  Silent silent;
  const Reporter quiet(silent, silent, /*debug=*/false, /*suppress_messages=*/true,
                       "wallpaper-fetcher");
  std::vector<char> buffer(kTransferBufferSize);
  for (int run = 0; run < runs; ++run) {
    if (probe.RequestsLeft() < static_cast<int>(steps.size()) + 1 || probe.MsLeft() <= 0) {
      result.failure = "the bounds were spent before the proof ended";
      return result;
    }
    ProofObserver observer;
    Downloader downloader(tools.internet, tools.clock, quiet, observer, CrawlMode::kCheck);
    History history(ini, 0);
    const CrawlTools crawl{downloader, history,  tools.pictures, tools.desktop,
                           quiet,      observer, buffer.data(),  kTransferBufferSize};
    Crawler crawler(ini, 1, settings, directory, crawl, CrawlMode::kCheck);
    const bool reached = crawler.CrawlSite();
    probe.Count(observer.fetches);
    ++result.runs;
    result.pictures.push_back(observer.picture_url);
    const PictureRecord& picture = observer.picture;
    if (!reached || !picture.size_known || picture.width < min_width || picture.height < min_height)
      result.failed_url = observer.last_url;
    if (!reached || !picture.size_known) {
      result.failure = observer.failure.empty()
                           ? "a run ended at " + observer.picture_url + ", which is no picture: " +
                                 DescribePictureRefusal(picture.refusal, picture.format,
                                                        picture.extension, picture.limit)
                           : observer.failure;
      return result;
    }
    if (picture.width < min_width || picture.height < min_height) {
      result.failure = Format("a run ended at a picture of %lldx%lld, smaller than %lldx%lld",
                              picture.width, picture.height, min_width, min_height);
      return result;
    }
  }
  result.proved = true;
  return result;
}
