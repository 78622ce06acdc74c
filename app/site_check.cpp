#include "app/site_check.h"

#include <boost/regex.hpp>
#include <cctype>
#include <cstdlib>
#include <map>
#include <set>

#include "app/diagnostics.h"
#include "app/wallpaper_fetcher.h"
#include "config/ini_document.h"
#include "config/paths.h"
#include "config/settings.h"
#include "picture/formats.h"
#include "platform/filesystem/scratch_directory.h"
#include "retrieval/crawl_observer.h"
#include "retrieval/download.h"

namespace {

// The [General] keys a run reads; the history keys Recent0.. come beside them.
const char* const kGeneralKeys[] = {
    "SuppressMessages",  "DebugMode",  "TryNumber", "KeepInHistory", "NumOfSites",
    "NotMakeAWallpaper", "DeleteLast", "SavePath",  "MaxWallpWidth", "MaxWallpHeight"};

// The site number of a section named "Site" and digits, else -1.
int SiteNumberOf(const std::string& section) {
  if (section.size() <= 4 || section.compare(0, 4, "Site") != 0) return -1;
  for (size_t i = 4; i < section.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(section[i]))) return -1;
  }
  if (section.size() > 13) return -1;
  return std::atoi(section.c_str() + 4);
}

// "Step" K "Get" or "Step" K "Go": K, else 0.
int StepNumberOf(const std::string& key, const char* suffix) {
  const std::string tail = suffix;
  if (key.size() <= 4 + tail.size() || key.compare(0, 4, "Step") != 0) return 0;
  if (key.compare(key.size() - tail.size(), tail.size(), tail) != 0) return 0;
  const std::string digits = key.substr(4, key.size() - 4 - tail.size());
  if (digits.size() > 9 || digits[0] == '0') return 0;
  for (char c : digits) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return 0;
  }
  return std::atoi(digits.c_str());
}

bool IsGeneralKey(const std::string& key) {
  for (const char* known : kGeneralKeys) {
    if (key == known) return true;
  }
  if (key.size() > 6 && key.compare(0, 6, "Recent") == 0) {
    for (size_t i = 6; i < key.size(); ++i) {
      if (!std::isdigit(static_cast<unsigned char>(key[i]))) return false;
    }
    return true;
  }
  return false;
}

bool IsSiteKey(const std::string& key) {
  return key == "Name" || key == "SecondsToDownload" || key == "Begin" ||
         StepNumberOf(key, "Get") > 0 || StepNumberOf(key, "Go") > 0;
}

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  const size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The text on one line of the report: control characters (a line feed
// that an expression took into a link) are written as escapes.
std::string Printable(const std::string& text) {
  std::string shown;
  for (const char c : text) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (c == '\n') {
      shown += "\\n";
    } else if (c == '\r') {
      shown += "\\r";
    } else if (c == '\t') {
      shown += "\\t";
    } else if (byte < 0x20 || byte == 0x7f) {
      shown += Format("\\x%02x", byte);
    } else {
      shown += c;
    }
  }
  return shown;
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
    for (const char* name : {"Name", "SecondsToDownload", "Begin"}) {
      if (lowered == Lower(name)) return name;
    }
    for (const char* suffix : {"Get", "Go"}) {
      std::string canonical = lowered;
      if (canonical.compare(0, 4, "step") == 0) canonical.replace(0, 4, "Step");
      const std::string tail = Lower(suffix);
      if (canonical.size() > tail.size() &&
          canonical.compare(canonical.size() - tail.size(), tail.size(), tail) == 0) {
        canonical.replace(canonical.size() - tail.size(), tail.size(), suffix);
      }
      if (StepNumberOf(canonical, suffix) > 0) return canonical;
    }
    return "";
  }
  for (const char* name : kGeneralKeys) {
    if (lowered == Lower(name)) return name;
  }
  if (lowered.compare(0, 6, "recent") == 0 && IsGeneralKey("Recent" + lowered.substr(6)))
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

void WarnAboutSite(const IniDocument& ini, int site, std::vector<std::string>* warnings) {
  const std::string name = Format("Site%d", site);
  const std::string where = "[" + name + "] ";
  if (!ini.SectionExists(name)) return;  // said with NumOfSites
  if (ini.GetValue(name, "Begin").empty()) {
    warnings->push_back(where + "has no Begin: a run fetches nothing");
  }
  int last = 0;  // the chain is Step1 .. Step(last)
  while (ini.KeyExists(name, Format("Step%dGet", last + 1))) ++last;
  const IniSection* section = nullptr;
  for (const IniSection& candidate : ini.sections()) {
    if (candidate.name == name) {
      section = &candidate;
      break;
    }
  }
  std::set<int> unused;
  for (const IniEntry& entry : section->entries) {
    const int step = std::max(StepNumberOf(entry.key, "Get"), StepNumberOf(entry.key, "Go"));
    if (step > last) unused.insert(step);
  }
  if (!unused.empty()) {
    warnings->push_back(where + Format("has no Step%dGet: ", last + 1) +
                        (last == 0 ? std::string("the start page is the picture, ")
                                   : Format("the chain ends after step %d, ", last)) +
                        Format("and the keys of step %d", *unused.begin()) +
                        (unused.size() > 1 ? " and later" : "") + " are never used");
  }
  for (int step = 1; step <= last; ++step) {
    const std::string get_key = Format("Step%dGet", step);
    const std::string go_key = Format("Step%dGo", step);
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

}  // namespace

std::vector<std::string> ConfigurationWarnings(const IniDocument& ini,
                                               const std::vector<int>& sites,
                                               const std::string& program_dir) {
  std::vector<std::string> warnings;
  bool general_seen = false;
  for (const IniSection& section : ini.sections()) {
    if (section.name == "General") {
      if (general_seen) {
        warnings.push_back("a second [General] section is never read");
        continue;
      }
      general_seen = true;
      WarnAboutKeys(section, /*in_site=*/false, &warnings);
      for (const IniEntry& entry : section.entries) {
        if (IsGeneralKey(entry.key) && entry.key != "SavePath" &&
            entry.key.compare(0, 6, "Recent") != 0 && !StartsWithNumber(entry.value)) {
          warnings.push_back("[General] " + entry.key + "=" + entry.value + " reads as 0");
        }
      }
    } else if (SiteNumberOf(section.name) >= 0) {
      for (int site : sites) {
        if (Format("Site%d", site) == section.name) {
          WarnAboutKeys(section, /*in_site=*/true, &warnings);
          break;
        }
      }
    } else if (Lower(section.name).find("site") == 0 || Lower(section.name) == "general") {
      warnings.push_back("[" + section.name + "] is not a section a run reads");
    }
  }

  const int sites_count = ini.GetIntValue("General", "NumOfSites");
  const int tries = ini.GetIntValue("General", "TryNumber");
  if (tries < 1) warnings.push_back(Format("TryNumber=%d: a run makes no attempt", tries));
  if (sites_count < 1) {
    warnings.push_back(Format("NumOfSites=%d: a run draws site %s", sites_count,
                              sites_count == 0 ? "0 or 1" : "1 to 32767"));
  }
  for (int site = 1; site <= sites_count && site <= 100000; ++site) {
    if (!ini.SectionExists(Format("Site%d", site))) {
      warnings.push_back(Format("NumOfSites=%d but there is no [Site%d]: ", sites_count, site) +
                         "a run that draws it fails");
    }
  }
  for (const IniSection& section : ini.sections()) {
    const int site = SiteNumberOf(section.name);
    if (site >= 0 && (site < 1 || site > sites_count)) {
      warnings.push_back("[" + section.name +
                         "] is never drawn: " + Format("NumOfSites=%d", sites_count));
    }
  }

  const std::string save_path = ini.GetValue("General", "SavePath");
  if (!save_path.empty() && save_path.back() != '/' && save_path.back() != '\\') {
    const std::string leaf = save_path.substr(GetDirOfPath(save_path).size());
    warnings.push_back("SavePath=" + save_path + " has no trailing /: files would be named " +
                       leaf + "Walp.bmp beside it");
  }
  const std::string save_dir = GetDirOfPath(MakeFullPath(save_path + "x", program_dir, false));
  if (!save_dir.empty() && !FileExists(save_dir)) {
    warnings.push_back("SavePath=" + save_path + ": " + save_dir +
                       " does not exist: a run ends with exit code 101");
  }

  for (int site : sites) WarnAboutSite(ini, site, &warnings);
  return warnings;
}

bool IsCheckCommandLine(const std::vector<std::string>& words) {
  return words.size() >= 2 && words[1] == "--check" && FindFile(words[1]).empty();
}

CheckRequest ParseCheckCommandLine(const std::vector<std::string>& words) {
  CheckRequest request;
  for (size_t i = 2; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (word == "--site") {
      char* end = nullptr;
      const long site = i + 1 < words.size() ? std::strtol(words[i + 1].c_str(), &end, 10) : 0;
      if (i + 1 >= words.size() || *end != '\0' || site < 1 || site > 1000000) {
        request.usage_error = "--site needs a site number from 1";
        return request;
      }
      request.site = static_cast<int>(site);
      ++i;
    } else if (request.file_named) {
      request.usage_error = "only one configuration file may be named";
      return request;
    } else {
      request.file_named = true;
      request.file = word;
    }
  }
  return request;
}

namespace {

// Hears what one crawl does and turns it into the lines of one site.
class SiteReport : public CrawlObserver {
 public:
  SiteReport(const WallpaperFetcher& fetcher) : fetcher_(fetcher) {}

  void OnFetch(const FetchRecord& fetch) override {
    std::string line = "  fetch " + Printable(fetch.url) + ": ";
    std::string problem;
    if (fetch.result == kDownloadTimedOut) {
      problem = Format("no complete answer within SecondsToDownload=%ld s",
                       fetcher_.m_lSecondsToDownload);
    } else if (fetch.result < 0) {
      problem = fetch.details.error.empty() ? "the transfer failed" : fetch.details.error;
    } else if (fetch.result == 0) {
      problem = "nothing was received";
    }
    if (fetch.details.status != 0) line += Format("HTTP %ld, ", fetch.details.status);
    if (!fetch.details.content_type.empty()) line += fetch.details.content_type + ", ";
    if (fetch.result >= 0) line += Format("%d bytes, ", fetch.result);
    if (fetch.result < 0) line += "failed: " + problem + ", ";
    line += Format("%.2f s", fetch.seconds);
    lines_.push_back(line);
    last_status_ = fetch.details.status;
    last_content_type_ = fetch.details.content_type;
    if (!problem.empty()) reason_ = problem;
  }

  void OnLocalLinkRefused(const std::string& url) override {
    lines_.push_back("  fetch " + Printable(url) +
                     ": refused: a page from the web may not lead to a file");
    reason_ = "a page from the web links a file on this machine";
  }

  void OnStep(int step, const std::string& expression, const std::string&) override {
    stage_ = Format("step %d", step);
    expression_ = expression;
    lines_.push_back("  " + stage_ + ": expression " + Printable(expression));
  }

  void OnExpressionError(int, bool compiling, const std::string& what, long position) override {
    if (!compiling) {
      lines_.push_back("  " + stage_ + ": the search ended early: " + what);
      reason_ = "the search ended early: " + what;
      return;
    }
    std::string text = "the expression is malformed";
    if (position >= 0) text += Format(" at position %ld", position);
    text += ": " + what;
    lines_.push_back("  " + stage_ + ": " + text);
    if (position >= 0 && static_cast<size_t>(position) <= expression_.size()) {
      const size_t indent = 2 + stage_.size() + std::string(": expression ").size();
      const size_t shown = Printable(expression_.substr(0, static_cast<size_t>(position))).size();
      lines_.push_back(std::string(indent + shown, ' ') + "^");
    }
    reason_ = text;
    expression_broken_ = true;
  }

  void OnLinks(int, const std::vector<std::string>& links, int picked) override {
    if (links.empty()) {
      if (expression_broken_) return;  // said already, with the place of the error
      lines_.push_back("  " + stage_ + ": found no links");
      if (reason_.compare(0, 10, "the search") != 0) {
        reason_ = "the expression found no links";
        if (last_status_ >= 400) reason_ += Format(" (the page came with HTTP %ld)", last_status_);
      }
      return;
    }
    std::string line =
        "  " + stage_ +
        Format(": found %d link%s", static_cast<int>(links.size()), links.size() == 1 ? "" : "s");
    line += links.size() > 3 ? ", the first three: " : ": ";
    for (size_t i = 0; i < links.size() && i < 3; ++i)
      line += (i ? ", " : "") + Printable(links[i]);
    lines_.push_back(line);
    lines_.push_back("  " + stage_ + Format(": picked link %d: ", picked + 1) +
                     Printable(links[static_cast<size_t>(picked)]));
  }

  void OnPictureName(const std::string& url, const std::string& file_name) override {
    stage_ = "picture";
    if (file_name.empty()) {
      lines_.push_back("  picture " + Printable(url) + ": no usable file name after the last /");
      reason_ = "no usable file name after the last / of " + Printable(url);
    }
    picture_name_ = Printable(file_name);
  }

  void OnPictureInHistory() override {
    in_history_ = true;
    reason_ = "already in the history (a run refuses it)";
  }

  void OnPicture(const PictureRecord& picture) override {
    std::string line = "  picture " + picture_name_ + ": ";
    if (picture.extension.empty()) {
      line += "no extension";
    } else {
      line += picture.format < 0 ? "extension " + picture.extension
                                 : std::string(PictureFormatName(picture.format)) +
                                       " by its extension " + picture.extension;
    }
    if (picture.size_known) line += Format(", %lldx%lld", picture.width, picture.height);
    std::string refusal =
        DescribePictureRefusal(picture.refusal, picture.format, picture.extension, picture.limit);
    const bool content_refused = picture.refusal == PictureRefusal::kHeaderUnreadable ||
                                 picture.refusal == PictureRefusal::kUndecodable;
    if (content_refused && !last_content_type_.empty()) {
      refusal += " (the server sent " + last_content_type_ +
                 (last_status_ != 0 ? Format(", HTTP %ld", last_status_) : "") + ")";
    }
    std::vector<std::string> refusals;
    if (in_history_) refusals.push_back("in the history");
    if (!refusal.empty()) refusals.push_back(refusal);
    if (refusals.empty()) {
      line += ", would be taken";
    } else {
      line += ", would be refused: ";
      for (size_t i = 0; i < refusals.size(); ++i) line += (i ? "; " : "") + refusals[i];
    }
    lines_.push_back(line);
    if (!in_history_ && !refusal.empty()) reason_ = refusal;
  }

  // Configuration problems found before any crawl.
  void Refuse(const std::string& reason) {
    stage_ = "configuration";
    reason_ = reason;
  }

  std::string Verdict(bool ok) const {
    if (ok) return "OK";
    return "FAILED at " + stage_ + ": " + (reason_.empty() ? "the attempt failed" : reason_);
  }
  const std::vector<std::string>& lines() const { return lines_; }

 private:
  const WallpaperFetcher& fetcher_;
  std::vector<std::string> lines_;
  std::string stage_ = "begin";
  std::string reason_;
  std::string expression_;
  std::string picture_name_;
  long last_status_ = 0;
  std::string last_content_type_;
  bool in_history_ = false;
  bool expression_broken_ = false;
};

// What keeps site `site` from being crawled at all, "" when nothing does.
std::string ConfigurationProblem(const IniDocument& ini, int site) {
  const std::string name = Format("Site%d", site);
  if (!ini.SectionExists(name)) return "there is no [" + name + "] section";
  if (ini.GetValue(name, "Begin").empty()) return "[" + name + "] has no Begin";
  for (int step = 1; ini.KeyExists(name, Format("Step%dGet", step)); ++step) {
    if (ini.GetValue(name, Format("Step%dGet", step)).empty())
      return Format("Step%dGet is empty", step);
    if (ini.GetValue(name, Format("Step%dGo", step)).empty())
      return Format("Step%dGo is missing or empty", step);
  }
  return "";
}

}  // namespace

int RunCheck(const CheckRequest& request, const Platform& platform, std::FILE* out,
             std::FILE* err) {
  if (!request.usage_error.empty()) {
    std::fprintf(err, "wallpaper-fetcher: %s\nUsage: wallpaper-fetcher --check [--site N] [FILE]\n",
                 request.usage_error.c_str());
    return 2;
  }
  const std::string path = FindSitesIni(request.file_named ? &request.file : nullptr);
  if (path.empty()) {
    std::string looked = request.file_named ? request.file + ", " : "";
    looked += GetCurrentDir() + "Sites.ini";
    if (GetProgramDir() != GetCurrentDir()) looked += ", " + GetProgramDir() + "Sites.ini";
    std::fprintf(err, "wallpaper-fetcher: no configuration found (looked for %s)\n",
                 looked.c_str());
    return 2;
  }

  WallpaperFetcher fetcher(platform);
  fetcher.m_Ini.SetFileName(path);
  if (!fetcher.m_Ini.Load()) {
    std::fprintf(err, "wallpaper-fetcher: %s cannot be read\n", path.c_str());
    return 2;
  }
  if (!fetcher.m_Ini.SectionExists("General")) {
    std::fprintf(err, "wallpaper-fetcher: %s has no [General] section\n", path.c_str());
    return 2;
  }
  fetcher.ReadGeneralSettings();
  // The report is the check's only output: no trace, no log.log, no boxes.
  fetcher.m_yDebug = 0;
  fetcher.m_ySuppressMessages = 1;

  std::vector<int> sites;
  if (request.site > 0) {
    sites.push_back(request.site);
  } else {
    for (int site = 1; site <= fetcher.m_iNumOfSites; ++site) sites.push_back(site);
  }

  std::fprintf(out, "Checking %s\n", path.c_str());
  if (request.file_named && path != FindFile(request.file)) {
    std::fprintf(out, "warning: %s does not exist: a run reads %s instead\n", request.file.c_str(),
                 path.c_str());
  }
  for (const std::string& warning : ConfigurationWarnings(fetcher.m_Ini, sites, GetProgramDir()))
    std::fprintf(out, "warning: %s\n", warning.c_str());
  if (sites.empty()) {
    std::fprintf(out, "No site to check: NumOfSites=%d\n", fetcher.m_iNumOfSites);
    std::fflush(out);
    return 1;
  }
  std::fflush(out);

  // Every file the crawls write goes here, and goes with it.
  ScratchDirectory scratch;
  if (scratch.path().empty()) {
    std::fprintf(err, "wallpaper-fetcher: no private temporary directory could be made\n");
    return 2;
  }
  fetcher.m_strSavePath = scratch.path();

  bool all_ok = true;
  for (int site : sites) {
    SiteReport report(fetcher);
    const std::string problem = ConfigurationProblem(fetcher.m_Ini, site);
    bool ok = false;
    if (!problem.empty()) {
      report.Refuse(problem);
    } else {
      fetcher.m_iSite = site;
      fetcher.m_pCrawlObserver = &report;
      ok = fetcher.CrawlSite();
      fetcher.m_pCrawlObserver = nullptr;
    }
    all_ok = all_ok && ok;
    const std::string name = fetcher.m_Ini.GetValue(Format("Site%d", site), "Name");
    std::fprintf(out, "Site%d \"%s\": %s\n", site, Printable(name).c_str(),
                 report.Verdict(ok).c_str());
    for (const std::string& line : report.lines()) std::fprintf(out, "%s\n", line.c_str());
    std::fflush(out);
  }
  return all_ok ? 0 : 1;
}
