// The main object's reporting: the reporter built from the two switches.
#include <cstdlib>

#include "app/wallpaper_fetcher.h"
#include "platform/console/message_box.h"

Reporter WallpaperFetcher::MakeReporter() const {
  return Reporter(*platform_.console, *platform_.boxes, m_yDebug != 0, m_ySuppressMessages != 0,
                  ApplicationName(invocation_.program));
}

void WallpaperFetcher::TraceMessage(const std::string& text) { MakeReporter().TraceMessage(text); }

void WallpaperFetcher::ShowMessage(const std::string& text) { MakeReporter().ShowMessage(text); }

void WallpaperFetcher::FatalError(const std::string& text) { FatalError(text, ""); }

void WallpaperFetcher::FatalError(const std::string& text, const std::string& hint) {
  // Recorded before the box is shown: a run whose box nobody answers, or
  // that is ended while it waits, has said why all the same.
  recorder_.NoteFailure(text);
  if (platform_.boxes->ShowsWindows()) recorder_.NoteErrorBox(kBoxTimeoutSeconds / 60);
  SaveRunRecord();
  MakeReporter().ShowFatal(text, hint);
  if (record_.box_minutes > 0 && platform_.boxes->LastErrorBoxFailed()) {
    record_.box_failed = true;
    AmendRunRecord();
  }
  std::exit(101);
}

void WallpaperFetcher::DumpSettings() {
  const Reporter reporter = MakeReporter();
  reporter.Trace("m_ySuppressMessages", static_cast<int>(m_ySuppressMessages));
  reporter.Trace("m_yDebug", static_cast<int>(m_yDebug));
  reporter.Trace("m_yNotMakeAWallpaper", static_cast<int>(m_yNotMakeAWallpaper));
  reporter.Trace("m_yDeleteLast", static_cast<int>(m_yDeleteLast));
  reporter.Trace("m_iTryNumber", m_iTryNumber);
  reporter.Trace("m_iKeepInHistory", m_iKeepInHistory);
  reporter.Trace("m_iNumOfSites", m_iNumOfSites);
  reporter.Trace("m_strSavePath.data()", m_strSavePath);
  reporter.Trace("m_iMaxWallpHeight", m_iMaxWallpHeight);
  reporter.Trace("m_iMaxWallpWidth", m_iMaxWallpWidth);
}
