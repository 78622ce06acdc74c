#include "config/config_lint.h"

#include <algorithm>
#include <boost/regex.hpp>
#include <cctype>
#include <cstdlib>
#include <ctime>
#include <set>

#include "config/config_keys.h"
#include "config/ini_document.h"
#include "config/paths.h"
#include "diagnostics/format.h"
#include "platform/desktop/wallpaper_style.h"
#include "platform/filesystem/user_files.h"
#include "platform/text_case.h"

namespace {

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  const size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

// True when atoi would read a number from the text (blanks, a sign, a digit).
bool StartsWithNumber(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  return i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]));
}

// The key a run reads that `key` was meant to be, when it differs only by
// blanks around it or by case; "" when it resembles none.
std::string MeantKey(const std::string& key, bool in_site) {
  const std::string lowered = Lower(Trimmed(key));
  if (in_site) {
    for (const char* name : kSiteKeys) {
      if (lowered == Lower(name)) return name;
    }
    for (const StepPart part : {StepPart::kGet, StepPart::kGo}) {
      const std::string suffix = StepPartSuffix(part);
      std::string canonical = lowered;
      if (canonical.compare(0, 4, "step") == 0) canonical.replace(0, 4, "Step");
      const std::string tail = Lower(suffix);
      if (canonical.size() > tail.size() &&
          canonical.compare(canonical.size() - tail.size(), tail.size(), tail) == 0) {
        canonical.replace(canonical.size() - tail.size(), tail.size(), suffix);
      }
      if (StepNumberOf(canonical, part) > 0) return canonical;
    }
    return "";
  }
  for (const GeneralKeyInfo& info : kGeneralKeys) {
    if (lowered == Lower(info.name)) return info.name;
  }
  if (lowered.compare(0, 6, "recent") == 0 && IsHistoryKey("Recent" + lowered.substr(6)))
    return "Recent" + lowered.substr(6);
  return "";
}

// Warnings for keys of `section` that a run does not read as the user meant:
// a blank around the name, another case, a name it never reads, a second
// entry of the same key.
void WarnAboutKeys(const IniSection& section, bool in_site, std::vector<std::string>* warnings) {
  std::set<std::string> seen;
  const std::string where = "[" + section.name + "] ";
  for (const IniEntry& entry : section.entries) {
    const std::string& key = entry.key;
    if (in_site ? IsSiteKey(key) : IsGeneralKey(key)) {
      if (!seen.insert(key).second) {
        warnings->push_back(where + key + " is given twice: a run reads only the first");
      }
      continue;
    }
    const std::string meant = MeantKey(key, in_site);
    if (meant.empty()) {
      warnings->push_back(where + "\"" + key + "\" is not a key a run reads");
    } else if (Trimmed(key) != key) {
      warnings->push_back(where + "\"" + key + "\" is not read as " + meant +
                          ": blanks around a key's name are part of it");
    } else {
      warnings->push_back(where + "\"" + key + "\" is not read as " + meant +
                          ": names are case-sensitive");
    }
  }
}

// Settings that atoi reads as 0 although something else was written.
void WarnAboutNumbers(const IniSection& general, std::vector<std::string>* warnings) {
  for (const IniEntry& entry : general.entries) {
    for (const GeneralKeyInfo& info : kGeneralKeys) {
      if (entry.key == info.name && info.numeric && !StartsWithNumber(entry.value)) {
        warnings->push_back("[General] " + entry.key + "=" + entry.value + " reads as 0");
      }
    }
  }
}

// Numbers a run reads as written but cannot mean: a history it does not
// keep, or keeps shorter than asked.
void WarnAboutHistoryLength(const IniDocument& ini, std::vector<std::string>* warnings) {
  const char* key = GeneralKeyName(GeneralKey::kKeepInHistory);
  const int length = ini.GetIntValue(kGeneralSection, key);
  if (length < 0) {
    warnings->push_back(
        Format("%s=%d: no history is kept, and a run may take the same picture "
               "again at once",
               key, length));
  } else if (length > kMaxHistoryLength) {
    warnings->push_back(
        Format("%s=%d: a run keeps at most %d, and writes all %d of them into "
               "Sites.ini",
               key, length, kMaxHistoryLength, kMaxHistoryLength));
  }
}

// A style or colour a run cannot read: it keeps the desktop's own.
void WarnAboutLook(const IniDocument& ini, std::vector<std::string>* warnings) {
  const char* style_key = GeneralKeyName(GeneralKey::kWallpaperStyle);
  const std::string style = ini.GetValue(kGeneralSection, style_key);
  WallpaperStyle parsed_style;
  if (!ParseWallpaperStyle(style, &parsed_style)) {
    warnings->push_back(std::string("[General] ") + style_key + "=" + style +
                        " is not a style (fill, fit, stretch, center, tile, span): a run keeps "
                        "the desktop's own");
  }
  const char* colour_key = GeneralKeyName(GeneralKey::kWallpaperBackground);
  const std::string colour = ini.GetValue(kGeneralSection, colour_key);
  uint32_t parsed_colour;
  if (!ParseBackgroundColour(colour, &parsed_colour)) {
    warnings->push_back(std::string("[General] ") + colour_key + "=" + colour +
                        " is not a colour #RRGGBB: a run uses black");
  }
}

void WarnAboutSite(const IniDocument& ini, int site, std::vector<std::string>* warnings) {
  const std::string name = SiteSectionName(site);
  const std::string where = "[" + name + "] ";
  const IniSection* section = ini.FindSection(name);
  if (section == nullptr) return;  // said with NumOfSites
  if (ini.GetValue(name, "Begin").empty()) {
    warnings->push_back(where + "has no Begin: a run fetches nothing");
  }
  const int seconds = ini.GetIntValue(name, "SecondsToDownload");
  if (seconds < 0) {
    warnings->push_back(where + Format("SecondsToDownload=%d: every fetch fails at once", seconds));
  }
  const int last = CountSteps(ini, name);  // the chain is Step1 .. Step(last)
  std::set<int> unused;
  for (const IniEntry& entry : section->entries) {
    const int step =
        std::max(StepNumberOf(entry.key, StepPart::kGet), StepNumberOf(entry.key, StepPart::kGo));
    if (step > last) unused.insert(step);
  }
  if (!unused.empty()) {
    warnings->push_back(where + "has no " + StepKey(last + 1, StepPart::kGet) + ": " +
                        (last == 0 ? std::string("the start page is the picture, ")
                                   : Format("the chain ends after step %d, ", last)) +
                        Format("and the keys of step %d", *unused.begin()) +
                        (unused.size() > 1 ? " and later" : "") + " are never used");
  }
  for (int step = 1; step <= last; ++step) {
    const std::string get_key = StepKey(step, StepPart::kGet);
    const std::string go_key = StepKey(step, StepPart::kGo);
    const std::string expression = ini.GetValue(name, get_key);
    const std::string url_template = ini.GetValue(name, go_key);
    if (!ini.KeyExists(name, go_key)) {
      warnings->push_back(where + get_key + " has no " + go_key +
                          Format(": the site fails at step %d", step));
      continue;
    }
    boost::regex compiled;
    try {
      compiled.assign(expression.c_str(), boost::regex::normal);
    } catch (...) {
      continue;  // the check of the site says where the expression breaks
    }
    const int groups = static_cast<int>(compiled.mark_count());
    static const boost::regex kPlaceholder("\\$_([0-9]+)_\\$");
    std::set<long> reported;
    for (boost::sregex_iterator it(url_template.begin(), url_template.end(), kPlaceholder), end;
         it != end; ++it) {
      const long number = std::strtol((*it)[1].str().c_str(), nullptr, 10);
      if ((number >= 1 && number <= groups) || !reported.insert(number).second) continue;
      warnings->push_back(where + go_key + " has " + it->str() + " but " + get_key + " has " +
                          Format("%d group%s", groups, groups == 1 ? "" : "s") +
                          ": it stays in the link as written");
    }
  }
}

// What each section says: [General]'s keys once, those of the sites a run
// reads, and sections that look meant to be read but are not.
void WarnAboutSections(const IniDocument& ini, const std::vector<int>& sites,
                       std::vector<std::string>* warnings) {
  bool general_seen = false;
  for (const IniSection& section : ini.sections()) {
    if (section.name == kGeneralSection) {
      if (general_seen) {
        warnings->push_back("a second [General] section is never read");
        continue;
      }
      general_seen = true;
      WarnAboutKeys(section, /*in_site=*/false, warnings);
      WarnAboutNumbers(section, warnings);
      WarnAboutHistoryLength(ini, warnings);
      WarnAboutLook(ini, warnings);
    } else if (SiteNumberOf(section.name) >= 0) {
      for (int site : sites) {
        if (SiteSectionName(site) == section.name) {
          WarnAboutKeys(section, /*in_site=*/true, warnings);
          break;
        }
      }
    } else if (Lower(section.name).find("site") == 0 || Lower(section.name) == "general") {
      warnings->push_back("[" + section.name + "] is not a section a run reads");
    }
  }
}

// NumOfSites against the [SiteN] sections present.
void WarnAboutSiteCount(const IniDocument& ini, std::vector<std::string>* warnings) {
  const int sites_count = ini.GetIntValue(kGeneralSection, GeneralKeyName(GeneralKey::kNumOfSites));
  if (sites_count < 1) {
    warnings->push_back(Format("NumOfSites=%d: a run draws site %s", sites_count,
                               sites_count == 0 ? "0 or 1" : "1 to 32767"));
  }
  const std::vector<int> missing = MissingSites(ini, sites_count, kMissingSitesListed + 1);
  if (missing.size() <= kMissingSitesListed) {
    for (int site : missing) {
      warnings->push_back(Format("NumOfSites=%d but there is no [Site%d]: ", sites_count, site) +
                          "a run that draws it fails");
    }
  } else {
    warnings->push_back(
        Format("NumOfSites=%d but %d of the numbers 1 to %d have no [SiteN] section: ", sites_count,
               sites_count - static_cast<int>(ExistingSites(ini, sites_count).size()),
               sites_count) +
        "a run that draws one fails");
  }
  for (const IniSection& section : ini.sections()) {
    const int site = SiteNumberOf(section.name);
    if (site >= 0 && (site < 1 || site > sites_count)) {
      warnings->push_back("[" + section.name +
                          "] is never drawn: " + Format("NumOfSites=%d", sites_count));
    }
  }
}

void WarnAboutSavePath(const IniDocument& ini, std::vector<std::string>* warnings) {
  const std::string save_path =
      ini.GetValue(kGeneralSection, GeneralKeyName(GeneralKey::kSavePath));
  if (!save_path.empty() && save_path.back() != '/' && save_path.back() != '\\') {
    const std::string leaf = save_path.substr(GetDirOfPath(save_path).size());
    warnings->push_back("SavePath=" + save_path + " has no trailing " +
                        std::string(1, kPathSeparator) + ": files would be named " + leaf +
                        "Walp.bmp beside it");
  }
}

}  // namespace

std::vector<std::string> ConfigurationWarnings(const IniDocument& ini,
                                               const std::vector<int>& sites) {
  std::vector<std::string> warnings;
  WarnAboutSections(ini, sites, &warnings);
  WarnAboutSiteCount(ini, &warnings);
  WarnAboutSavePath(ini, &warnings);
  for (int site : sites) WarnAboutSite(ini, site, &warnings);
  return warnings;
}

std::vector<int> ExistingSites(const IniDocument& ini, int sites_count) {
  std::set<int> present;
  for (const IniSection& section : ini.sections()) {
    const int site = SiteNumberOf(section.name);
    if (site >= 1 && site <= sites_count) present.insert(site);
  }
  return std::vector<int>(present.begin(), present.end());
}

std::vector<int> MissingSites(const IniDocument& ini, int sites_count, size_t most) {
  std::vector<int> missing;
  const std::vector<int> present = ExistingSites(ini, sites_count);
  size_t next_present = 0;
  for (int site = 1; site <= sites_count && missing.size() < most; ++site) {
    if (next_present < present.size() && present[next_present] == site) {
      ++next_present;
    } else {
      missing.push_back(site);
    }
  }
  return missing;
}

std::vector<std::string> ConfigurationFailures(const IniDocument& ini,
                                               const std::string& program_dir) {
  std::vector<std::string> failures;
  const int tries = ini.GetIntValue(kGeneralSection, GeneralKeyName(GeneralKey::kTryNumber));
  if (tries < 1) failures.push_back(Format("TryNumber=%d: a run makes no attempt", tries));

  // A run writes its working file, the picture and Walp.bmp there, and ends
  // with exit code 101 when it cannot: try it with a file of our own.
  const std::string save_path =
      ini.GetValue(kGeneralSection, GeneralKeyName(GeneralKey::kSavePath));
  const std::string save_dir = GetDirOfPath(MakeFullPath(save_path + "x", program_dir, false));
  const std::string shown = save_dir.empty() ? "the current directory" : save_dir;
  const std::string where = "SavePath=" + save_path + ": " + shown;
  if (!save_dir.empty() && !FileExists(save_dir)) {
    failures.push_back(where + " does not exist: a run ends with exit code 101");
    return failures;
  }
  Outcome written = Outcome::Error("no name was free");
  for (int attempt = 0; attempt < 3 && !written.ok(); ++attempt) {
    const std::string probe =
        save_dir + Format(".wallpaper-fetcher-check-%lu-%d",
                          static_cast<unsigned long>(std::time(nullptr)), attempt);
    if (FileExists(probe)) continue;
    written = CreateFileExclusively(probe, "");
    if (written.ok()) (void)DeleteFileAt(probe);
  }
  if (!written.ok()) {
    failures.push_back(where + " cannot be written (" + written.message() +
                       "): a run ends with exit code 101");
  }
  return failures;
}
