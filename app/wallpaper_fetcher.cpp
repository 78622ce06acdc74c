#include "app/wallpaper_fetcher.h"

#include <cstdio>

#include "config/config_keys.h"
#include "config/paths.h"
#include "platform/console/console.h"
#include "platform/crt_random.h"
#include "retrieval/crawler.h"
#include "retrieval/download.h"
#include "wallpaper/conversion.h"
#include "wallpaper/history.h"
#include "wallpaper/installation.h"

WallpaperFetcher::WallpaperFetcher(const Platform& platform, std::time_t seed,
                                   Invocation invocation)
    : platform_(platform), invocation_(std::move(invocation)) {
  CrtSrand(static_cast<uint32_t>(seed));
  CrtRand();
  m_ySuppressMessages = 0;
  m_yDebug = 0;
  m_yNotMakeAWallpaper = 0;
  m_yDeleteLast = 0;
  m_iTryNumber = 3;
  m_iKeepInHistory = 20;
  m_iNumOfSites = 0;
  m_iMaxWallpWidth = 640;
  m_iMaxWallpHeight = 480;
  m_lSecondsToDownload = 180;
  m_iSite = 0;
}

WallpaperFetcher::~WallpaperFetcher() {
  if (m_yDebug) {
    CloseLog();
    platform_.console->Close();
  }
}

template <typename Step>
auto WallpaperFetcher::EndOnFatal(Step step) -> decltype(step()) {
  try {
    return step();
  } catch (const Fatal& fatal) {
    FatalError(fatal.text, fatal.hint);
  }
}

void WallpaperFetcher::Run() {
  LoadSitesIni();
  ReadGeneralSettings();
  if (m_yDebug) {
    OpenLog(MakeFullPath("log.log", invocation_.ProgramDir(), false));
    platform_.console->Open();
    if (!invocation_.single_instance_problem.empty()) {
      MakeReporter().Trace("\"Single instance\"",
                           "Single instance: " + invocation_.single_instance_problem);
    }
  }
  DumpSettings();
  ChooseSite();
  if (m_iTryNumber < 1) {
    recorder_.NoteFailure(Format("TryNumber=%d: no attempt was made", m_iTryNumber));
  }
  for (int iAttempt = 0; iAttempt < m_iTryNumber; ++iAttempt) {
    MakeReporter().Trace("Format(\"Going to a %d try\",iAttempt).data()",
                         Format("Going to a %d try", iAttempt));
    if (CrawlSite()) break;
  }
  SaveRunRecord();
}

void WallpaperFetcher::ChooseSite() {
  m_iSite = RandomInRange(1, m_iNumOfSites);
  MakeReporter().Trace("m_iNumOfSites", m_iNumOfSites);
  record_.site = m_iSite;
  record_.site_name = m_Ini.GetValue(SiteSectionName(m_iSite), "Name");
}

void WallpaperFetcher::LoadSitesIni() {
  EndOnFatal([this] {
    const std::string path = FindSitesIni(invocation_.NamedFile(), invocation_.ProgramDir());
    if (path.empty()) RestoreSitesIni();
    record_.config = path;
    // A mistyped name must not run another configuration unannounced.
    const std::string fallback =
        NamedConfigurationFallback(invocation_.NamedFile(), invocation_.ProgramDir(), path);
    if (!fallback.empty()) {
      record_.named_not_found = invocation_.file;
      std::fprintf(stderr, "wallpaper-fetcher: %s\n", fallback.c_str());
    }
    ::LoadSitesIni(m_Ini, path);
  });
}

void WallpaperFetcher::ReadGeneralSettings() {
  const GeneralSettings settings = ::ReadGeneralSettings(m_Ini);
  m_ySuppressMessages = settings.suppress_messages;
  m_yDebug = settings.debug;
  m_yNotMakeAWallpaper = settings.not_make_a_wallpaper;
  m_yDeleteLast = settings.delete_last;
  m_iTryNumber = settings.try_number;
  m_iKeepInHistory = settings.keep_in_history;
  m_iNumOfSites = settings.num_of_sites;
  m_strSavePath = settings.save_path;
  m_iMaxWallpWidth = settings.max_wallp_width;
  m_iMaxWallpHeight = settings.max_wallp_height;
  m_WallpaperLook = settings.look;
}

GeneralSettings WallpaperFetcher::Settings() const {
  GeneralSettings settings;
  settings.save_path = m_strSavePath;
  settings.suppress_messages = m_ySuppressMessages != 0;
  settings.debug = m_yDebug != 0;
  settings.not_make_a_wallpaper = m_yNotMakeAWallpaper != 0;
  settings.delete_last = m_yDeleteLast != 0;
  settings.try_number = m_iTryNumber;
  settings.keep_in_history = m_iKeepInHistory;
  settings.num_of_sites = m_iNumOfSites;
  settings.max_wallp_width = m_iMaxWallpWidth;
  settings.max_wallp_height = m_iMaxWallpHeight;
  settings.look = m_WallpaperLook;
  return settings;
}

bool WallpaperFetcher::CrawlSite() {
  recorder_.BeginAttempt();
  if (!m_Ini.SectionExists(SiteSectionName(m_iSite))) {
    recorder_.NoteFailure(Format("there is no [%s] section (NumOfSites=%d)",
                                 SiteSectionName(m_iSite).c_str(), m_iNumOfSites));
  }
  const Reporter reporter = MakeReporter();
  const GeneralSettings settings = Settings();
  Downloader downloader(*platform_.internet, platform_.clock, reporter, recorder_, CrawlMode::kRun);
  History history(m_Ini, m_iKeepInHistory);
  const CrawlTools tools{downloader, history,   *platform_.pictures, *platform_.desktop,
                         reporter,   recorder_, m_szBuffer,          kTransferBufferSize};
  Crawler crawler(m_Ini, m_iSite, settings, invocation_.ProgramDir(), tools, CrawlMode::kRun);
  const bool taken = EndOnFatal([&crawler] { return crawler.CrawlSite(); });
  m_lSecondsToDownload = crawler.seconds_to_download();
  if (!crawler.last_url().empty()) m_strLastUrl = crawler.last_url();
  if (!crawler.picture_path().empty()) m_strWalpFileName = crawler.picture_path();
  if (!crawler.bitmap_path().empty()) m_strBmpFileName = crawler.bitmap_path();
  return taken;
}

std::vector<std::string> WallpaperFetcher::CollectLinks(const std::string& text,
                                                        const std::string& expression,
                                                        const std::string& url_template,
                                                        int iStepNumber) {
  return ::CollectLinks(text, expression, url_template, iStepNumber, recorder_, MakeReporter());
}

int WallpaperFetcher::DownloadFile(char* buffer, int buffer_size, std::string url,
                                   std::string output_path) {
  const Reporter reporter = MakeReporter();
  Downloader downloader(*platform_.internet, platform_.clock, reporter, recorder_, CrawlMode::kRun);
  downloader.SetTimeLimit(m_lSecondsToDownload);
  return EndOnFatal([&] { return downloader.Download(buffer, buffer_size, url, output_path); });
}

bool WallpaperFetcher::ConvertToBmp() {
  const std::string bitmap = BitmapPath(m_strSavePath, invocation_.ProgramDir());
  const PictureVerdict verdict =
      ConvertPictureToBmp(m_strWalpFileName, bitmap, m_iMaxWallpWidth, m_iMaxWallpHeight,
                          *platform_.pictures, MakeReporter());
  if (verdict.bitmap_replaced) m_strBmpFileName = bitmap;
  recorder_.OnPicture(verdict.record);
  return verdict.converted;
}

void WallpaperFetcher::SetWallpaper() {
  recorder_.OnWallpaper(
      InstallWallpaper(m_strBmpFileName, m_WallpaperLook, *platform_.desktop, MakeReporter()));
}

bool WallpaperFetcher::IsNotInHistory() { return !IsInHistory(m_strLastUrl); }

bool WallpaperFetcher::IsInHistory(const std::string& url) {
  return History(m_Ini, m_iKeepInHistory).Contains(url);
}

bool WallpaperFetcher::AreAllInHistory(const std::vector<std::string>& urls) {
  return History(m_Ini, m_iKeepInHistory).ContainsAll(urls);
}

void WallpaperFetcher::AddToHistory() {
  recorder_.OnHistorySaved(History(m_Ini, m_iKeepInHistory).Add(m_strLastUrl));
}

void WallpaperFetcher::DeleteLastDownload() {
  ::DeleteLastDownload(m_yDeleteLast != 0, m_strWalpFileName);
}

void WallpaperFetcher::SaveRunRecord() {
  if (record_saved_ || invocation_.record_dir.empty()) return;
  record_saved_ = true;
  saved_at_ = std::time(nullptr);
  saved_line_ = FormatRunLine(record_, saved_at_);
  if (!AppendRunLine(invocation_.record_dir, saved_line_)) saved_line_.clear();
}

void WallpaperFetcher::AmendRunRecord() {
  if (saved_line_.empty()) return;
  ReplaceRunLine(invocation_.record_dir, saved_line_, FormatRunLine(record_, saved_at_));
}
