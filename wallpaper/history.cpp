#include "wallpaper/history.h"

#include <unordered_set>

#include "config/config_keys.h"
#include "platform/filesystem/filesystem.h"

namespace {

std::string RecentKey(int index) { return "Recent" + std::to_string(index); }

}  // namespace

History::History(IniDocument& ini, int keep_in_history)
    : ini_(ini),
      length_(keep_in_history > kMaxHistoryLength ? kMaxHistoryLength : keep_in_history) {}

bool History::Contains(const std::string& url) const {
  for (int i = 0; i < length_; ++i) {
    if (ini_.GetValue(kGeneralSection, RecentKey(i)) == url) return true;
  }
  return false;
}

bool History::ContainsAll(const std::vector<std::string>& urls) const {
  return CountNew(urls) == 0;
}

int History::CountNew(const std::vector<std::string>& urls) const {
  std::unordered_set<std::string> remembered;
  for (int i = 0; i < length_; ++i) remembered.insert(ini_.GetValue(kGeneralSection, RecentKey(i)));
  int count = 0;
  for (const std::string& url : urls) count += remembered.count(url) == 0;
  return count;
}

Outcome History::Add(const std::string& url) {
  // No history kept (0), or a length that makes no sense (negative): nothing
  // is stored and Sites.ini is left as it is.
  if (length_ <= 0) return Outcome::Ok();
  // Every entry moves one index down, dropping Recent0; missing keys are
  // created in index order at the end of [General].
  for (int i = 1; i < length_; ++i) {
    ini_.SetValue(kGeneralSection, RecentKey(i - 1), ini_.GetValue(kGeneralSection, RecentKey(i)),
                  /*create=*/true);
  }
  ini_.SetValue(kGeneralSection, RecentKey(length_ - 1), url, /*create=*/true);
  return ini_.Save();
}

void DeleteLastDownload(bool delete_last, const std::string& picture) {
  if (delete_last && FileExists(picture)) (void)DeleteFileAt(picture);
}
