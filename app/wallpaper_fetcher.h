#ifndef APP_WALLPAPER_FETCHER_H_
#define APP_WALLPAPER_FETCHER_H_

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "app/invocation.h"
#include "app/platform_services.h"
#include "app/run_record.h"
#include "config/ini_document.h"
#include "config/settings.h"
#include "diagnostics/reporter.h"
#include "platform/desktop/wallpaper_style.h"
#include "retrieval/download.h"

// The main object: it owns the document of Sites.ini, every setting read from
// it, the state of the one run and the transfer buffer. One lives on the main
// thread's stack for the whole run. It conducts: each operation builds the
// subsystem's type with what it needs from the members, runs it and keeps
// what it gave back (ARCHITECTURE.md names the type behind each one).
class WallpaperFetcher {
 public:
  // Seeds the random generator with `seed` (the calendar time by default) and
  // discards one draw. `platform` supplies every operating-system service,
  // `invocation` how the program was started.
  explicit WallpaperFetcher(const Platform& platform = SystemPlatform(),
                            std::time_t seed = std::time(nullptr),
                            Invocation invocation = Invocation());
  // In debug mode: closes the log and lets the console go.
  virtual ~WallpaperFetcher();

  WallpaperFetcher(const WallpaperFetcher&) = delete;
  WallpaperFetcher& operator=(const WallpaperFetcher&) = delete;

  // The whole job: configuration, diagnostics, site choice, attempts. A
  // fatal error ends the process (101) from here, with this object alive.
  void Run();
  // m_iSite = RandomInRange(1, m_iNumOfSites).
  void ChooseSite();

  // Finds Sites.ini (first argument, current dir, program dir, the user's)
  // and loads it; ends the process (101) when there is none (after restoring
  // the default) or it has no [General] section. (config/settings.h)
  void LoadSitesIni();
  // Copies the [General] keys into the settings, no defaults substituted,
  // and the wallpaper's style and colour into m_WallpaperLook.
  void ReadGeneralSettings();

  // One attempt: walk the chosen site to a picture, install it, remember it.
  // True on success. May end the process (101). (retrieval/crawler.h)
  bool CrawlSite();
  // One link per match of `expression` in `text`, from `url_template`.
  std::vector<std::string> CollectLinks(const std::string& text, const std::string& expression,
                                        const std::string& url_template, int iStepNumber);
  // Fetches `url` into `output_path` within m_lSecondsToDownload seconds.
  // Returns the byte count (259 reads as 258), 0 on failure or time-out;
  // ends the process (101) when the URL yields no file. (retrieval/download.h)
  int DownloadFile(char* buffer, int buffer_size, std::string url, std::string output_path);

  // Writes Walp.bmp from m_strWalpFileName; false when refused or failed.
  // (wallpaper/conversion.h)
  bool ConvertToBmp();
  // Installs m_strBmpFileName as the wallpaper. Failures are only traced.
  // (wallpaper/installation.h)
  void SetWallpaper();

  // The history (wallpaper/history.h). False when m_strLastUrl is among
  // Recent0 .. Recent(KeepInHistory-1).
  bool IsNotInHistory();
  bool IsInHistory(const std::string& url);
  bool AreAllInHistory(const std::vector<std::string>& urls);
  // Records m_strLastUrl as the newest entry and saves Sites.ini.
  void AddToHistory();
  // Deletes the downloaded picture when DeleteLast is set.
  void DeleteLastDownload();

  // Reporting (diagnostics/reporter.h), by the debug and message switches.
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
  // WallpaperStyle and WallpaperBackground; not in the settings' trace.
  WallpaperLook m_WallpaperLook;

  // What this run did, for --status.
  const RunRecord& run_record() const { return record_; }

 private:
  Reporter MakeReporter() const;
  GeneralSettings Settings() const;
  // Ends the process through FatalError when `step` throws Fatal.
  template <typename Step>
  auto EndOnFatal(Step step) -> decltype(step());
  // Writes the run's record, once, when the invocation keeps one.
  void SaveRunRecord();
  // Writes the record again in place of the line SaveRunRecord wrote.
  void AmendRunRecord();

  Platform platform_;
  Invocation invocation_;
  RunRecord record_;
  RunRecorder recorder_{record_};
  bool record_saved_ = false;
  std::string saved_line_;  // the line SaveRunRecord wrote
  std::time_t saved_at_ = 0;
};

#endif  // APP_WALLPAPER_FETCHER_H_
