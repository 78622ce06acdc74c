#include "retrieval/crawler.h"

#include <cctype>
#include <cerrno>
#include <cstdio>

#include "config/config_keys.h"
#include "config/paths.h"
#include "picture/formats.h"
#include "platform/crt_random.h"
#include "platform/filesystem/filesystem.h"
#include "platform/system_error.h"
#include "retrieval/link_extraction.h"
#include "retrieval/picture_name.h"
#include "wallpaper/conversion.h"
#include "wallpaper/installation.h"

namespace {

// Creates (or empties) the working file; why it cannot be written otherwise.
Outcome ProbeWorkingFile(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "w");
  if (file == nullptr) return PosixError(errno);
  std::fclose(file);
  return Outcome::Ok();
}

// True when a picture's file name would name the save directory itself or
// reach outside it.
bool IsUnsafeFileName(const std::string& name) {
  return name.empty() || name == "." || name == ".." || !IsPlainFileName(name);
}

// True when `url` names a file on this machine (scheme "file", any case).
bool IsLocalFileUrl(const std::string& url) {
  static const char kScheme[] = "file:";
  if (url.size() < sizeof kScheme - 1) return false;
  for (size_t i = 0; i < sizeof kScheme - 1; ++i) {
    if (std::tolower(static_cast<unsigned char>(url[i])) != kScheme[i]) return false;
  }
  return true;
}

}  // namespace

std::vector<std::string> CollectLinks(const std::string& text, const std::string& expression,
                                      const std::string& url_template, int step,
                                      CrawlObserver& observer, const Reporter& reporter) {
  LinkSearch search = FindLinks(text, expression, url_template);
  if (search.failed) {
    observer.OnExpressionError(step, search.compiling, search.what, search.position);
    if (search.compiling) {
      reporter.Trace(
          "Format(\"Wrong (StepXXXGet)regular expression for the step %d\",iStepNumber).data()",
          Format("Wrong (StepXXXGet)regular expression for the step %d", step));
    } else {
      reporter.Trace(
          "Format(\"Wrong format (StepXXXGo) regular expression for the step "
          "%d\",iStepNumber).data()",
          Format("Wrong format (StepXXXGo) regular expression for the step %d", step));
    }
  }
  return std::move(search.links);
}

Crawler::Crawler(const IniDocument& ini, int site, const GeneralSettings& settings,
                 std::string program_dir, const CrawlTools& tools, CrawlMode mode)
    : ini_(ini),
      section_(SiteSectionName(site)),
      settings_(settings),
      program_dir_(std::move(program_dir)),
      tools_(tools),
      mode_(mode),
      working_file_(MakeFullPath(settings.save_path + "temp.file", program_dir_, false)),
      steps_(CountSteps(ini, section_)) {}

std::string Crawler::StepValue(int step, bool get) const {
  return ini_.GetValue(section_, StepKey(step, get ? StepPart::kGet : StepPart::kGo));
}

bool Crawler::CrawlSite() {
  const Reporter& reporter = tools_.reporter;
  std::string url = ini_.GetValue(section_, "Begin");
  reporter.Trace("m_Ini.GetValue(strSite,\"Name\").data()", ini_.GetValue(section_, "Name"));
  reporter.Trace("strUrl.data()", url);
  if (!FetchStartPage(url)) return false;
  for (int step = 1; step <= steps_; ++step) {
    if (!CrawlStep(step, &url)) return false;
  }
  // The file fetched last is the picture.
  return TakePicture(url);
}

bool Crawler::FetchStartPage(const std::string& url) {
  const Reporter& reporter = tools_.reporter;
  const Outcome probed = ProbeWorkingFile(working_file_);
  if (!probed.ok()) {
    reporter.Trace("(\"Please, check if this path exists: \"+strDebugFile).data()",
                   "Please, check if this path exists: " + working_file_);
    // Which folder, and what the system said of it: what the user can mend.
    throw Fatal{
        "Can't create temp file, most probably problem with SavePath var in INI file",
        "SavePath gives the folder " + GetDirOfPath(working_file_) + ": " + probed.message()};
  }
  seconds_to_download_ = ini_.GetIntValue(section_, "SecondsToDownload");
  if (seconds_to_download_ == 0) seconds_to_download_ = 120;
  reporter.Trace("m_lSecondsToDownload", seconds_to_download_);
  tools_.downloader.SetTimeLimit(seconds_to_download_);
  return FetchPage(url, /*may_be_local=*/true);
}

bool Crawler::CrawlStep(int step, std::string* url) {
  const Reporter& reporter = tools_.reporter;
  reporter.Trace("Format(\"In step %d.\",iStepNumber).data()", Format("In step %d.", step));
  const std::string expression = StepValue(step, /*get=*/true);
  const std::string url_template = StepValue(step, /*get=*/false);
  reporter.Trace("strRExpression.data()", expression);
  reporter.Trace("strRFormatExp.data()", url_template);
  tools_.observer.OnStep(step, expression, url_template);
  if (expression.empty() || url_template.empty()) return false;

  // A page that cannot be read back (taken away, or too large to search)
  // leaves the step without links.
  std::vector<std::string> links;
  std::string text;
  if (ReadTextFile(working_file_, text))
    links = CollectLinks(text, expression, url_template, step, tools_.observer, reporter);
  reporter.Trace("Format(\"Found %d links for the step %d\",vec.size(),iStepNumber).data()",
                 Format("Found %d links for the step %d", static_cast<int>(links.size()), step));
  for (const std::string& link : links) reporter.Trace("pos->data()", link);
  if (links.empty()) {
    tools_.observer.OnLinks(step, links, -1);
    reporter.Trace("Format(\"No following links were found on step %d\",iStepNumber).data()",
                   Format("No following links were found on step %d", step));
    return false;
  }

  const int picked = RandomInRange(0, static_cast<int>(links.size()) - 1);
  tools_.observer.OnLinks(step, links, picked);
  // A page from the web may not lead the crawl into this machine's files:
  // their text could leave it in the next step's link.
  const bool may_be_local = IsLocalFileUrl(*url);
  *url = links[static_cast<size_t>(picked)];
  reporter.Trace("(Format(\"Picked %d : \",iNextAddress)+strUrl).data()",
                 Format("Picked %d : ", picked) + *url);
  const bool last_step = step == steps_;
  if (!(last_step && RefusedByHistory(*url, links)) && !FetchPage(*url, may_be_local)) {
    return false;
  }
  reporter.ShowMessage("Press any key, one step is done");
  return true;
}

bool Crawler::RefusedByHistory(const std::string& url, const std::vector<std::string>& links) {
  // The last step's link is the picture: a run refuses one already in the
  // history before any byte of it is fetched; a check fetches it all the
  // same, to examine it.
  if (mode_ == CrawlMode::kCheck || !tools_.history.Contains(url)) return false;
  tools_.observer.OnLinkInHistory(tools_.history.CountNew(links), static_cast<int>(links.size()));
  return true;
}

bool Crawler::FetchPage(const std::string& url, bool may_be_local) {
  int received = 0;
  if (!may_be_local && IsLocalFileUrl(url)) {
    tools_.observer.OnLocalLinkRefused(url);
    tools_.reporter.ShowMessage("Something wrong while getting remote file");
  } else {
    received = tools_.downloader.Download(tools_.buffer, tools_.buffer_size, url, working_file_);
  }
  tools_.reporter.Trace("iRet", received);
  if (received > 0) return true;
  tools_.reporter.TraceMessage("Noting was recieved from URL");
  return false;
}

bool Crawler::TakePicture(const std::string& url) {
  CrawlObserver& observer = tools_.observer;
  last_url_ = url;
  const std::string file_name =
      PictureFileName(url, PictureFormatFromContent(ReadPictureHead(working_file_)));
  if (IsUnsafeFileName(file_name)) {
    observer.OnPictureName(url, "");
    tools_.reporter.ShowMessage("Failure to detect filename of last download");
    return false;
  }
  observer.OnPictureName(url, file_name);
  picture_path_ = MakeFullPath(settings_.save_path + file_name, program_dir_, false);
  tools_.reporter.Trace("m_strWalpFileName.data()", picture_path_);

  // Ask the history first, so that a picture already taken does not cost the
  // user the earlier copy of a file of that name. A check examines it all
  // the same.
  const bool in_history = tools_.history.Contains(url);
  if (in_history) {
    observer.OnPictureInHistory();
    if (mode_ == CrawlMode::kRun) return false;
  }
  // A picture named like the working file already is where it belongs.
  if (picture_path_ != working_file_) {
    if (FileExists(picture_path_)) {
      tools_.reporter.TraceMessage("This file already exists, will be replaced by a new one.");
      (void)DeleteFileAt(picture_path_);
    }
    (void)RenameFile(working_file_, picture_path_);
  }
  if (mode_ == CrawlMode::kCheck) {
    // Converted in the check's private directory, and no further: nothing
    // is installed, recorded or deleted.
    return ConvertPicture() && !in_history;
  }
  return InstallPicture();
}

bool Crawler::ConvertPicture() {
  const std::string bitmap = BitmapPath(settings_.save_path, program_dir_);
  const PictureVerdict verdict =
      ConvertPictureToBmp(picture_path_, bitmap, settings_.max_wallp_width,
                          settings_.max_wallp_height, tools_.pictures, tools_.reporter);
  if (verdict.bitmap_replaced) bitmap_path_ = bitmap;
  tools_.observer.OnPicture(verdict.record);
  return verdict.converted;
}

bool Crawler::InstallPicture() {
  CrawlObserver& observer = tools_.observer;
  // A picture that reached no screen is not used up: for a site with one
  // picture a day, remembering it would cost the day's picture.
  // NotMakeAWallpaper=1 asks no screen, and remembers it all the same.
  bool unseen = false;
  if (!settings_.not_make_a_wallpaper) {
    if (!ConvertPicture()) return false;
    const WallpaperOutcome outcome =
        InstallWallpaper(bitmap_path_, settings_.look, tools_.desktop, tools_.reporter);
    observer.OnWallpaper(outcome);
    unseen = outcome.no_session_reached;
  }
  observer.OnPictureTaken(last_url_, picture_path_, !settings_.not_make_a_wallpaper);
  if (unseen) {
    observer.OnPictureKept();
  } else {
    observer.OnHistorySaved(tools_.history.Add(last_url_));
  }
  DeleteLastDownload(settings_.delete_last, picture_path_);
  tools_.reporter.ShowMessage("Press any key, all steps are done");
  return true;
}
