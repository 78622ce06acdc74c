#ifndef WALLPAPER_HISTORY_H_
#define WALLPAPER_HISTORY_H_

#include <string>
#include <vector>

#include "config/ini_document.h"
#include "platform/outcome.h"

// The URLs of the pictures taken lately, kept in Sites.ini itself: the keys
// Recent0 .. Recent(KeepInHistory-1) of [General], Recent0 the oldest, the
// highest index the newest. A missing key reads as "" and so never matches
// a picture's URL. Over the document it is given, which outlives it.
class History {
 public:
  // `keep_in_history`: KeepInHistory; a length over 10,000 is taken as
  // 10,000 (every length is written out as that many keys), and 0 or less
  // keeps nothing.
  History(IniDocument& ini, int keep_in_history);

  bool Contains(const std::string& url) const;
  // True when every one of `urls` is remembered.
  bool ContainsAll(const std::vector<std::string>& urls) const;
  // How many of `urls` are not remembered.
  int CountNew(const std::vector<std::string>& urls) const;
  // Records `url` as the newest entry, dropping the oldest, and saves
  // Sites.ini; why the save failed otherwise. With no history kept, nothing
  // is stored or saved.
  Outcome Add(const std::string& url);

 private:
  IniDocument& ini_;
  int length_;
};

// Deletes the downloaded picture `picture` when DeleteLast (`delete_last`)
// is set.
void DeleteLastDownload(bool delete_last, const std::string& picture);

#endif  // WALLPAPER_HISTORY_H_
