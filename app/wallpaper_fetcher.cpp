#include "app/wallpaper_fetcher.h"

#include "app/crt_random.h"
#include "app/diagnostics.h"
#include "app/run_record.h"
#include "app/single_instance_guard.h"
#include "config/config_keys.h"
#include "config/paths.h"

WallpaperFetcher::WallpaperFetcher(const Platform& platform, std::time_t seed)
    : platform_(platform) {
  SetTraceConsole(platform.console);
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
  SetTraceConsole(nullptr);  // the console goes with its owner
}

void WallpaperFetcher::Run() {
  LoadSitesIni();
  ReadGeneralSettings();
  if (m_yDebug) {
    OpenLog(MakeFullPath("log.log", GetProgramDir(), false));
    platform_.console->Open();
    if (!SingleInstanceProblem().empty()) {
      Trace("\"Single instance\"", "Single instance: " + SingleInstanceProblem());
    }
  }
  DumpSettings();
  ChooseSite();
  if (m_iTryNumber < 1) NoteFailure(Format("TryNumber=%d: no attempt was made", m_iTryNumber));
  for (int iAttempt = 0; iAttempt < m_iTryNumber; ++iAttempt) {
    if (m_yDebug) {
      Trace("Format(\"Going to a %d try\",iAttempt).data()", Format("Going to a %d try", iAttempt));
    }
    if (CrawlSite()) break;
  }
  SaveRunRecordIfKept();
}

void WallpaperFetcher::ChooseSite() {
  m_iSite = RandomInRange(1, m_iNumOfSites);
  if (m_yDebug) Trace("m_iNumOfSites", m_iNumOfSites);
  CurrentRunRecord().site = m_iSite;
  CurrentRunRecord().site_name = m_Ini.GetValue(SiteSectionName(m_iSite), "Name");
}
