#include "config/config_keys.h"

#include <cctype>
#include <cstdlib>

#include "config/ini_document.h"

const char kGeneralSection[] = "General";

const GeneralKeyInfo kGeneralKeys[kGeneralKeyCount] = {
    {GeneralKey::kDebugMode, "DebugMode", true, "1", "trace every step to the console and log.log"},
    {GeneralKey::kSuppressMessages, "SuppressMessages", true, "1",
     "in debug mode, show no message boxes (pauses)"},
    {GeneralKey::kTryNumber, "TryNumber", true, "3", "attempts at the chosen site"},
    {GeneralKey::kNumOfSites, "NumOfSites", true, "2", "sites [Site1] .. [SiteN] to choose from"},
    {GeneralKey::kKeepInHistory, "KeepInHistory", true, "20",
     "how many recent picture URLs are refused"},
    {GeneralKey::kSavePath, "SavePath", false, "",
     "directory for the downloads, with a trailing /\n(relative to the program's directory)"},
    {GeneralKey::kNotMakeAWallpaper, "NotMakeAWallpaper", true, "1",
     "fetch and remember the picture, but do not install it"},
    {GeneralKey::kDeleteLast, "DeleteLast", true, "1", "delete the downloaded picture after use"},
    {GeneralKey::kMaxWallpWidth, "MaxWallpWidth", true, "0",
     "largest accepted width in pixels (0: no limit)"},
    {GeneralKey::kMaxWallpHeight, "MaxWallpHeight", true, "0",
     "largest accepted height in pixels (0: no limit)"},
    {GeneralKey::kWallpaperStyle, "WallpaperStyle", false, "fit",
     "fill, fit, stretch, center, tile or span (all monitors);\nempty: the desktop's own"},
    {GeneralKey::kWallpaperBackground, "WallpaperBackground", false, "#000000",
     "the colour around the picture for fit and center"},
};

const char* const kSiteKeys[kSiteKeyCount] = {"Name", "SecondsToDownload", "Begin"};

namespace {

bool AllDigits(const std::string& text, size_t from, size_t to) {
  for (size_t i = from; i < to; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
  }
  return true;
}

}  // namespace

const char* GeneralKeyName(GeneralKey key) {
  for (const GeneralKeyInfo& info : kGeneralKeys) {
    if (info.key == key) return info.name;
  }
  return "";
}

bool IsHistoryKey(const std::string& key) {
  return key.size() > 6 && key.compare(0, 6, "Recent") == 0 && AllDigits(key, 6, key.size());
}

bool IsGeneralKey(const std::string& key) {
  for (const GeneralKeyInfo& info : kGeneralKeys) {
    if (key == info.name) return true;
  }
  return IsHistoryKey(key);
}

std::string SiteSectionName(int site) { return "Site" + std::to_string(site); }

int SiteNumberOf(const std::string& section) {
  // A run names its section "Site%d": [Site05] is not site 5's.
  if (section.size() <= 4 || section.size() > 13 || section.compare(0, 4, "Site") != 0 ||
      !AllDigits(section, 4, section.size()) || (section[4] == '0' && section.size() > 5)) {
    return -1;
  }
  return std::atoi(section.c_str() + 4);
}

const char* StepPartSuffix(StepPart part) { return part == StepPart::kGet ? "Get" : "Go"; }

std::string StepKey(int step, StepPart part) {
  return "Step" + std::to_string(step) + StepPartSuffix(part);
}

int StepNumberOf(const std::string& key, StepPart part) {
  const std::string tail = StepPartSuffix(part);
  if (key.size() <= 4 + tail.size() || key.compare(0, 4, "Step") != 0) return 0;
  if (key.compare(key.size() - tail.size(), tail.size(), tail) != 0) return 0;
  const size_t end = key.size() - tail.size();
  if (end - 4 > 9 || key[4] == '0' || !AllDigits(key, 4, end)) return 0;
  return std::atoi(key.c_str() + 4);
}

bool IsSiteKey(const std::string& key) {
  for (const char* name : kSiteKeys) {
    if (key == name) return true;
  }
  return StepNumberOf(key, StepPart::kGet) > 0 || StepNumberOf(key, StepPart::kGo) > 0;
}

int CountSteps(const IniDocument& ini, const std::string& section) {
  int steps = 0;
  while (ini.KeyExists(section, StepKey(steps + 1, StepPart::kGet))) ++steps;
  return steps;
}
