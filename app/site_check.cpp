#include "app/site_check.h"

#include <algorithm>

#include "app/check_report.h"
#include "config/config_keys.h"
#include "config/config_lint.h"
#include "config/ini_document.h"
#include "config/paths.h"
#include "config/settings.h"
#include "platform/filesystem/scratch_directory.h"
#include "retrieval/crawler.h"
#include "suggestion/suggester.h"

namespace {

// What keeps site `site` from being crawled at all, "" when nothing does.
std::string ConfigurationProblem(const IniDocument& ini, int site) {
  const std::string name = SiteSectionName(site);
  if (!ini.SectionExists(name)) return "there is no [" + name + "] section";
  if (ini.GetValue(name, "Begin").empty()) return "[" + name + "] has no Begin";
  const int steps = CountSteps(ini, name);
  for (int step = 1; step <= steps; ++step) {
    if (ini.GetValue(name, StepKey(step, StepPart::kGet)).empty())
      return StepKey(step, StepPart::kGet) + " is empty";
    if (ini.GetValue(name, StepKey(step, StepPart::kGo)).empty())
      return StepKey(step, StepPart::kGo) + " is missing or empty";
  }
  return "";
}

// Finds and loads the configuration into `ini`: its path, or "" when there
// is none to check (said on `err`).
std::string LoadCheckedConfiguration(const CheckRequest& request, IniDocument* ini,
                                     std::FILE* err) {
  const std::string* named = request.file_named ? &request.file : nullptr;
  const std::string path = FindSitesIni(named, request.program_dir);
  if (path.empty()) {
    std::string looked = request.file_named ? request.file + ", " : "";
    looked += GetCurrentDir() + "Sites.ini";
    if (request.program_dir != GetCurrentDir()) looked += ", " + request.program_dir + "Sites.ini";
    if (!UserConfigFile().empty()) looked += ", " + UserConfigFile();
    std::fprintf(err, "wallpaper-fetcher: no configuration found (looked for %s)\n",
                 looked.c_str());
    return "";
  }
  const std::string fallback = NamedConfigurationFallback(named, request.program_dir, path);
  if (!fallback.empty()) std::fprintf(err, "wallpaper-fetcher: %s\n", fallback.c_str());
  ini->SetFileName(path);
  if (!ini->Load()) {
    std::fprintf(err, "wallpaper-fetcher: %s cannot be read\n", path.c_str());
    return "";
  }
  if (!ini->SectionExists(kGeneralSection)) {
    std::fprintf(err, "wallpaper-fetcher: %s has no [General] section\n", path.c_str());
    return "";
  }
  return path;
}

// The sites to check: the one asked for, every number from 1 to NumOfSites,
// or, when more than a few of them have no section, the sites present
// (`*unlisted_missing` counts the others: a mistyped NumOfSites costs no
// more than the sections written).
std::vector<int> ChooseSites(const IniDocument& ini, int asked, int num_of_sites,
                             int* unlisted_missing) {
  std::vector<int> sites;
  *unlisted_missing = 0;
  if (asked > 0) {
    sites.push_back(asked);
  } else if (MissingSites(ini, num_of_sites, kMissingSitesListed + 1).size() <=
             kMissingSitesListed) {
    for (int site = 1; site <= num_of_sites; ++site) sites.push_back(site);
  } else {
    sites = ExistingSites(ini, num_of_sites);
    *unlisted_missing = num_of_sites - static_cast<int>(sites.size());
  }
  return sites;
}

// The lines before the sites: the file, its warnings and failures, how the
// picture would look. False when the configuration itself fails.
bool PrintConfiguration(const CheckRequest& request, const std::string& path,
                        const IniDocument& ini, const GeneralSettings& settings,
                        const std::vector<int>& sites, Desktop& desktop, std::FILE* out) {
  std::fprintf(out, "Checking %s\n", path.c_str());
  if (request.file_named && path != FindFile(request.file, request.program_dir)) {
    std::fprintf(out, "warning: %s does not exist: a run reads %s instead\n", request.file.c_str(),
                 path.c_str());
  }
  for (const std::string& warning : ConfigurationWarnings(ini, sites))
    std::fprintf(out, "warning: %s\n", warning.c_str());
  const std::vector<std::string> failures = ConfigurationFailures(ini, request.program_dir);
  for (const std::string& failure : failures)
    std::fprintf(out, "FAILED at configuration: %s\n", failure.c_str());
  // How the picture would look: the desktop, its words for the style, on
  // the X root window the monitors.
  if (settings.not_make_a_wallpaper) {
    std::fprintf(out, "wallpaper: not made (NotMakeAWallpaper=1)\n");
  } else {
    for (const std::string& line : desktop.Describe(settings.look))
      std::fprintf(out, "wallpaper: %s\n", line.c_str());
  }
  return failures.empty();
}

// A broken chain: the same search a suggestion makes, from the last page
// that worked, and the keys that would mend it when one is proved. Nothing
// is written.
void MendChain(const IniDocument& ini, int site, const SiteReport& report,
               const std::string& directory, const Platform& platform, std::FILE* out) {
  const std::string page = report.PageBeforeBreak();
  if (page.empty()) return;
  const int broken = report.broken_step();
  const int steps = CountSteps(ini, SiteSectionName(site));
  WebProbe probe(*platform.internet, platform.clock, ProbeLimits());
  const ProofTools tools{*platform.internet, *platform.pictures, *platform.desktop, platform.clock,
                         directory};
  const Suggestion mend = SuggestSite(page, probe, tools, report.SiblingsBeforeBreak());
  if (!mend.proved || mend.steps.empty()) {
    std::fprintf(out, "  no replacement for step %d on was found from %s%s%s\n", broken,
                 Printable(page).c_str(), mend.reasons.empty() ? "" : ": ",
                 mend.reasons.empty() ? "" : mend.reasons[0].c_str());
    std::fflush(out);
    return;
  }
  const std::string first = StepKey(broken, StepPart::kGet);
  const std::string last = StepKey(std::max(steps, broken), StepPart::kGo);
  std::fprintf(out,
               "  a chain found from %s mends it (%lldx%lld pictures); replace %s .. %s with:\n",
               Printable(page).c_str(), mend.width, mend.height, first.c_str(), last.c_str());
  for (size_t i = 0; i < mend.steps.size(); ++i) {
    const int step = broken + static_cast<int>(i);
    std::fprintf(out, "  %s=%s\n  %s=%s\n", StepKey(step, StepPart::kGet).c_str(),
                 mend.steps[i].expression.c_str(), StepKey(step, StepPart::kGo).c_str(),
                 mend.steps[i].url_template.c_str());
  }
  std::fflush(out);
}

// Crawls `site` in check mode with its working files in `settings.save_path`
// and prints what it found. True when it reached a picture a run would take.
bool CheckSite(IniDocument& ini, int site, const GeneralSettings& settings,
               const std::string& program_dir, const Platform& platform, std::FILE* out) {
  SiteReport report;
  const std::string problem = ConfigurationProblem(ini, site);
  bool ok = false;
  if (!problem.empty()) {
    report.Refuse(problem);
  } else {
    // The report is the check's only output: no trace, no log.log, no boxes.
    const Reporter quiet(*platform.console, *platform.boxes, /*debug=*/false,
                         /*suppress_messages=*/true, "wallpaper-fetcher");
    Downloader downloader(*platform.internet, platform.clock, quiet, report, CrawlMode::kCheck);
    History history(ini, settings.keep_in_history);
    std::vector<char> buffer(kTransferBufferSize);
    const CrawlTools tools{downloader, history, *platform.pictures, *platform.desktop,
                           quiet,      report,  buffer.data(),      kTransferBufferSize};
    Crawler crawler(ini, site, settings, program_dir, tools, CrawlMode::kCheck);
    ok = crawler.CrawlSite();
  }
  report.Print(out, site, ini.GetValue(SiteSectionName(site), "Name"), ok);
  if (!ok && report.broken_step() > 0)
    MendChain(ini, site, report, settings.save_path, platform, out);
  return ok;
}

}  // namespace

int RunCheck(const CheckRequest& request, const Platform& platform, std::FILE* out,
             std::FILE* err) {
  IniDocument ini;
  const std::string path = LoadCheckedConfiguration(request, &ini, err);
  if (path.empty()) return 2;
  GeneralSettings settings = ReadGeneralSettings(ini);

  int unlisted_missing = 0;
  const std::vector<int> sites =
      ChooseSites(ini, request.site, settings.num_of_sites, &unlisted_missing);
  bool all_ok = PrintConfiguration(request, path, ini, settings, sites, *platform.desktop, out);
  if (unlisted_missing > 0) {
    std::fprintf(out, "FAILED at configuration: %d of the site numbers 1 to %d have no section\n",
                 unlisted_missing, settings.num_of_sites);
    all_ok = false;
  }
  if (sites.empty()) {
    std::fprintf(out, "No site to check: NumOfSites=%d\n", settings.num_of_sites);
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
  settings.save_path = scratch.path();
  for (int site : sites) {
    if (!CheckSite(ini, site, settings, request.program_dir, platform, out)) all_ok = false;
  }
  return all_ok ? 0 : 1;
}
