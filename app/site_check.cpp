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
  const std::string path = FindSitesIni(request.file_named ? &request.file : nullptr);
  if (path.empty()) {
    std::string looked = request.file_named ? request.file + ", " : "";
    looked += GetCurrentDir() + "Sites.ini";
    if (GetProgramDir() != GetCurrentDir()) looked += ", " + GetProgramDir() + "Sites.ini";
    if (!UserConfigFile().empty()) looked += ", " + UserConfigFile();
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

  // Every site number from 1 to NumOfSites, or, when more than a few of
  // them have no section, the sites present and one line for the others:
  // a mistyped NumOfSites costs no more than the sections written.
  std::vector<int> sites;
  int unlisted_missing = 0;
  if (request.site > 0) {
    sites.push_back(request.site);
  } else if (MissingSites(fetcher.m_Ini, fetcher.m_iNumOfSites, kMissingSitesListed + 1).size() <=
             kMissingSitesListed) {
    for (int site = 1; site <= fetcher.m_iNumOfSites; ++site) sites.push_back(site);
  } else {
    sites = ExistingSites(fetcher.m_Ini, fetcher.m_iNumOfSites);
    unlisted_missing = fetcher.m_iNumOfSites - static_cast<int>(sites.size());
  }

  std::fprintf(out, "Checking %s\n", path.c_str());
  if (request.file_named && path != FindFile(request.file)) {
    std::fprintf(out, "warning: %s does not exist: a run reads %s instead\n", request.file.c_str(),
                 path.c_str());
  }
  for (const std::string& warning : ConfigurationWarnings(fetcher.m_Ini, sites))
    std::fprintf(out, "warning: %s\n", warning.c_str());
  const std::vector<std::string> failures = ConfigurationFailures(fetcher.m_Ini, GetProgramDir());
  for (const std::string& failure : failures)
    std::fprintf(out, "FAILED at configuration: %s\n", failure.c_str());
  // How the picture would look: the desktop, its words for the style, on
  // the X root window the monitors.
  if (fetcher.m_yNotMakeAWallpaper) {
    std::fprintf(out, "wallpaper: not made (NotMakeAWallpaper=1)\n");
  } else {
    for (const std::string& line : platform.desktop->Describe(fetcher.m_WallpaperLook))
      std::fprintf(out, "wallpaper: %s\n", line.c_str());
  }
  if (unlisted_missing > 0) {
    std::fprintf(out, "FAILED at configuration: %d of the site numbers 1 to %d have no section\n",
                 unlisted_missing, fetcher.m_iNumOfSites);
  }
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
  return all_ok && failures.empty() && unlisted_missing == 0 ? 0 : 1;
}
