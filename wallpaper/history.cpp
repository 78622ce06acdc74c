#include <unordered_set>

#include "app/diagnostics.h"
#include "app/run_record.h"
#include "app/wallpaper_fetcher.h"
#include "config/paths.h"
#include "platform/filesystem/filesystem.h"

// The history is the keys Recent0 .. Recent(KeepInHistory-1) of [General]:
// Recent0 the oldest URL, the highest index the newest. A missing key reads
// as "" and so never matches a picture's URL.

namespace {

// A longer history is taken as this long: every length is written out as
// that many keys, and a mistyped 2147483647 must not make a run fill the
// memory and the disk.
constexpr int kMaxHistoryLength = 10000;

int HistoryLength(int keep_in_history) {
  return keep_in_history > kMaxHistoryLength ? kMaxHistoryLength : keep_in_history;
}

}  // namespace

bool WallpaperFetcher::IsNotInHistory() { return !IsInHistory(m_strLastUrl); }

bool WallpaperFetcher::IsInHistory(const std::string& url) {
  const int n = HistoryLength(m_iKeepInHistory);
  for (int i = 0; i < n; ++i) {
    if (m_Ini.GetValue("General", Format("Recent%d", i)) == url) return true;
  }
  return false;
}

bool WallpaperFetcher::AreAllInHistory(const std::vector<std::string>& urls) {
  std::unordered_set<std::string> remembered;
  const int n = HistoryLength(m_iKeepInHistory);
  for (int i = 0; i < n; ++i) remembered.insert(m_Ini.GetValue("General", Format("Recent%d", i)));
  for (const std::string& url : urls) {
    if (remembered.count(url) == 0) return false;
  }
  return true;
}

void WallpaperFetcher::AddToHistory() {
  const int n = HistoryLength(m_iKeepInHistory);
  // No history kept (0), or a length that makes no sense (negative): nothing
  // is stored and Sites.ini is left as it is.
  if (n <= 0) return;
  // Every entry moves one index down, dropping Recent0; missing keys are
  // created in index order at the end of [General].
  for (int i = 1; i < n; ++i) {
    m_Ini.SetValue("General", Format("Recent%d", i - 1),
                   m_Ini.GetValue("General", Format("Recent%d", i)),
                   /*create=*/true);
  }
  m_Ini.SetValue("General", Format("Recent%d", n - 1), m_strLastUrl, /*create=*/true);
  const Outcome saved = m_Ini.Save();
  if (!saved.ok()) CurrentRunRecord().history_error = saved.message();
}

void WallpaperFetcher::DeleteLastDownload() {
  if (m_yDeleteLast && FileExists(m_strWalpFileName)) (void)DeleteFileAt(m_strWalpFileName);
}
