#ifndef CONFIG_CONFIG_KEYS_H_
#define CONFIG_CONFIG_KEYS_H_

#include <cstddef>
#include <string>

// The names a run reads in Sites.ini, written here once: the settings read
// them, the check's warnings compare against them, --help lists them.

// [General]: the settings, and beside them the history Recent0, Recent1, ...
extern const char kGeneralSection[];

enum class GeneralKey {
  kDebugMode,
  kSuppressMessages,
  kTryNumber,
  kNumOfSites,
  kKeepInHistory,
  kSavePath,
  kNotMakeAWallpaper,
  kDeleteLast,
  kMaxWallpWidth,
  kMaxWallpHeight,
  kWallpaperStyle,
  kWallpaperBackground,
};

struct GeneralKeyInfo {
  GeneralKey key;
  const char* name;
  bool numeric;         // read as atoi reads it, else a text
  const char* example;  // the value --help shows with the name
  const char* help;     // what --help says of it; "\n" starts another line
};

// Every setting of [General], in the order --help lists them.
constexpr size_t kGeneralKeyCount = 12;
extern const GeneralKeyInfo kGeneralKeys[kGeneralKeyCount];

const char* GeneralKeyName(GeneralKey key);
// True for "Recent" followed by digits (Recent0, Recent17, ...).
bool IsHistoryKey(const std::string& key);
// The most history entries kept, whatever KeepInHistory says: a mistyped
// 2147483647 must not make a run fill the memory and the disk.
constexpr int kMaxHistoryLength = 10000;
// True for a [General] key a run reads: a setting or a history entry.
bool IsGeneralKey(const std::string& key);

// [SiteN]: N from 1; a key Name, SecondsToDownload, Begin, and the steps.
std::string SiteSectionName(int site);
// N of a section named "Site" and at most nine digits, as a run names it
// (no leading zero), else -1.
int SiteNumberOf(const std::string& section);

constexpr size_t kSiteKeyCount = 3;
extern const char* const kSiteKeys[kSiteKeyCount];  // besides the steps

// Step N of a site: its expression (StepNGet) and its URL template (StepNGo).
enum class StepPart { kGet, kGo };
const char* StepPartSuffix(StepPart part);  // "Get" or "Go"
std::string StepKey(int step, StepPart part);
// N when `key` is StepKey(N, part) for an N from 1, written without a
// leading zero and with at most nine digits; else 0.
int StepNumberOf(const std::string& key, StepPart part);
// True for a key of a site section a run reads.
bool IsSiteKey(const std::string& key);

class IniDocument;
// How many steps the site section `section` has: a crawl walks StepNGet
// from N = 1 while the key exists, whatever its value, and stops at the
// first gap.
int CountSteps(const IniDocument& ini, const std::string& section);

#endif  // CONFIG_CONFIG_KEYS_H_
