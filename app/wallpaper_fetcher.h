#ifndef APP_WALLPAPER_FETCHER_H_
#define APP_WALLPAPER_FETCHER_H_

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "app/platform_services.h"
#include "config/ini_document.h"
#include "platform/desktop/wallpaper_style.h"

class CrawlObserver;

// Size of the transfer buffer that every download goes through.
constexpr int kTransferBufferSize = 640000;

// The main object: it owns the document of Sites.ini, every setting read from
// it, the state of the one run and the transfer buffer. One lives on the main
// thread's stack for the whole run; its operations are defined beside the
// subsystems they belong to; each group below names the file that defines
// it.
class WallpaperFetcher {
 public:
  // app/wallpaper_fetcher.cpp
  // Seeds the random generator with `seed` (the calendar time by default) and
  // discards one draw. `platform` supplies every operating-system service.
  explicit WallpaperFetcher(const Platform& platform = SystemPlatform(),
                            std::time_t seed = std::time(nullptr));
  // In debug mode: closes the log and lets the console go.
  virtual ~WallpaperFetcher();

  WallpaperFetcher(const WallpaperFetcher&) = delete;
  WallpaperFetcher& operator=(const WallpaperFetcher&) = delete;

  // The whole job: configuration, diagnostics, site choice, attempts.
  void Run();
  // m_iSite = RandomInRange(1, m_iNumOfSites).
  void ChooseSite();

  // config/settings.cpp
  // Finds Sites.ini (first argument, current dir, program dir) and loads it;
  // ends the process (101) when there is none (after restoring the default)
  // or it has no [General] section.
  void LoadSitesIni();
  // Copies the ten numeric and path keys of [General] into the settings, no
  // defaults substituted, and the wallpaper's style and colour into
  // m_WallpaperLook (a value it cannot read counts as absent).
  void ReadGeneralSettings();

  // retrieval/site_crawl.cpp
  // One attempt: walk the chosen site to a picture, install it, remember it.
  // True on success. May end the process (101).
  bool CrawlSite();
  // retrieval/link_extraction.cpp
  // One link per match of `expression` in `text`, from `url_template`.
  std::vector<std::string> CollectLinks(const std::string& text, const std::string& expression,
                                        const std::string& url_template, int iStepNumber);
  // Inside CollectLinks' catch blocks: tells the observer of the exception.
  void ReportExpressionError(int iStepNumber, bool bCompiling);

  // retrieval/download.cpp
  // Fetches `url` into `output_path` within m_lSecondsToDownload seconds.
  // Returns the byte count (259 reads as 258), 0 on failure or time-out
  // (reported here); ends the process (101) when the URL yields no file.
  int DownloadFile(char* buffer, int buffer_size, std::string url, std::string output_path);

  // wallpaper/conversion.cpp
  // Writes Walp.bmp from the downloaded picture; false when refused or failed.
  bool ConvertToBmp();

  // wallpaper/installation.cpp
  // Installs m_strBmpFileName as the wallpaper. Failures are only traced.
  void SetWallpaper();

  // wallpaper/history.cpp
  // False when m_strLastUrl is among Recent0 .. Recent(KeepInHistory-1).
  bool IsNotInHistory();
  // True when `url` is among them; AreAllInHistory: when every one of `urls` is.
  bool IsInHistory(const std::string& url);
  bool AreAllInHistory(const std::vector<std::string>& urls);
  // Records m_strLastUrl as the newest entry and saves Sites.ini.
  void AddToHistory();
  // Deletes the downloaded picture when DeleteLast is set.
  void DeleteLastDownload();

  // app/diagnostics.cpp: reporting.
  void TraceMessage(const std::string& text);
  void ShowMessage(const std::string& text);
  [[noreturn]] void FatalError(const std::string& text);
  // The same, with `hint` shown after the text: what the user can do next.
  [[noreturn]] void FatalError(const std::string& text, const std::string& hint);
  void DumpSettings();

  // The members in their fixed order. Settings (2 to 11) are assigned by
  // ReadGeneralSettings whether or not the keys are present.
  IniDocument m_Ini;
  std::string m_strSavePath;
  uint8_t m_ySuppressMessages;
  uint8_t m_yDebug;
  uint8_t m_yNotMakeAWallpaper;
  uint8_t m_yDeleteLast;
  int32_t m_iTryNumber;
  int32_t m_iKeepInHistory;
  int32_t m_iNumOfSites;
  int32_t m_iMaxWallpWidth;
  int32_t m_iMaxWallpHeight;
  long m_lSecondsToDownload;  // holds 32-bit values; traced as unsigned
  int32_t m_iSite;
  char m_szBuffer[kTransferBufferSize];
  std::string m_strWalpFileName;
  std::string m_strBmpFileName;
  std::string m_strLastUrl;
  // Set only by a check (--check), for the crawls it makes: see CrawlObserver.
  CrawlObserver* m_pCrawlObserver = nullptr;
  // WallpaperStyle and WallpaperBackground; not in the settings' trace.
  WallpaperLook m_WallpaperLook;

 private:
  // retrieval/site_crawl.cpp: the parts of CrawlSite, in their order.
  // The crawl's observer: the check's, else a run's NullCrawlObserver.
  CrawlObserver& Observer();
  // Probes the working file `strDebugFile` (ends the process, 101, when it
  // cannot be written), sets m_lSecondsToDownload from [strSite] and fetches
  // the start page `strUrl` into the working file. False when nothing came.
  bool FetchStartPage(const std::string& strSite, const std::string& strUrl,
                      const std::string& strDebugFile);
  // Step `iStepNumber` of [strSite]: searches the page in the working file
  // with the step's expression and fetches one link, drawn at random, into
  // the same file; *strUrl becomes that link. False when the chain breaks:
  // an empty expression or template, no links, nothing received.
  bool CrawlStep(const std::string& strSite, int iStepNumber, const std::string& strDebugFile,
                 std::string* strUrl);
  // Downloads `strUrl` into the working file; a link into this machine's
  // files is refused unfetched unless `bMayBeLocal` (the page it came from
  // was one too). False, traced, when nothing was received.
  bool FetchPage(const std::string& strUrl, bool bMayBeLocal, const std::string& strDebugFile);
  // The final phase: names the picture fetched last from `strUrl`, asks the
  // history, moves the working file to the picture's name and then (in a
  // run) converts, installs, records and deletes it; a check only converts.
  bool TakePicture(const std::string& strUrl, const std::string& strDebugFile);

  Platform platform_;
};

#endif  // APP_WALLPAPER_FETCHER_H_
