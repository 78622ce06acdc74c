#include "app/site_check.h"

#include <cstdlib>

#include "app/check_report.h"
#include "app/wallpaper_fetcher.h"
#include "config/config_keys.h"
#include "config/config_lint.h"
#include "config/ini_document.h"
#include "config/paths.h"
#include "config/settings.h"
#include "platform/filesystem/scratch_directory.h"

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

// What keeps site `site` from being crawled at all, "" when nothing does.
std::string ConfigurationProblem(const IniDocument& ini, int site) {
  const std::string name = SiteSectionName(site);
  if (!ini.SectionExists(name)) return "there is no [" + name + "] section";
  if (ini.GetValue(name, "Begin").empty()) return "[" + name + "] has no Begin";
  for (int step = 1; ini.KeyExists(name, StepKey(step, StepPart::kGet)); ++step) {
    if (ini.GetValue(name, StepKey(step, StepPart::kGet)).empty())
      return StepKey(step, StepPart::kGet) + " is empty";
    if (ini.GetValue(name, StepKey(step, StepPart::kGo)).empty())
      return StepKey(step, StepPart::kGo) + " is missing or empty";
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
  if (!fetcher.m_Ini.SectionExists(kGeneralSection)) {
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
    std::fprintf(err, "wallpaper-fetcher: no private temporary directory could be made: %s\n",
                 scratch.outcome().message().c_str());
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
    report.Print(out, site, fetcher.m_Ini.GetValue(SiteSectionName(site), "Name"), ok);
  }
  return all_ok ? 0 : 1;
}
