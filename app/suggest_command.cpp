#include "app/suggest_command.h"

#include <algorithm>

#include "config/config_keys.h"
#include "config/ini_document.h"
#include "config/settings.h"
#include "config/site_append.h"
#include "diagnostics/format.h"
#include "platform/crt_random.h"
#include "platform/filesystem/filesystem.h"
#include "suggestion/proof.h"
#include "suggestion/suggester.h"

namespace {

// The number after the highest site of the configuration at `path`: its
// NumOfSites or its highest [SiteN], whichever is larger; 1 when there is
// no configuration.
int NextSiteNumber(const std::string& path) {
  IniDocument ini;
  ini.SetFileName(path);
  if (path.empty() || !ini.Load()) return 1;
  int highest = std::max(0, ini.GetIntValue(kGeneralSection, "NumOfSites"));
  for (const IniSection& section : ini.sections()) {
    if (section.name.compare(0, 4, "Site") != 0 || section.name.size() > 11) continue;
    const std::string digits = section.name.substr(4);
    if (!digits.empty() && digits.find_first_not_of("0123456789") == std::string::npos)
      highest = std::max(highest, std::stoi(digits));
  }
  return highest + 1;
}

std::string HostOf(const std::string& url) {
  const size_t start = url.find("://") + 3;
  return url.substr(start, url.find_first_of("/?#", start) - start);
}

// A comment line of Sites.ini: a line that a run reads as no key, so it
// holds no "=".
std::string CommentLine(std::string text) {
  std::replace(text.begin(), text.end(), '=', ':');
  std::replace(text.begin(), text.end(), '\n', ' ');
  return "; " + text + "\n";
}

}  // namespace

int RunSuggest(const SuggestRequest& request, const Platform& platform, std::FILE* out,
               std::FILE* err) {
  const std::string* named = request.file_named ? &request.file : nullptr;
  const std::string config = FindSitesIni(named, request.program_dir);
  // --add: FILE, else the configuration a run reads, else the one --init
  // writes; known to be there before anything is fetched.
  const std::string target =
      request.file_named ? request.file : (config.empty() ? UserConfigFile() : config);
  if (request.add && !FileExists(target)) {
    std::fprintf(err, "wallpaper-fetcher: cannot add a site to %s: it does not exist%s\n",
                 target.c_str(), request.file_named ? "" : " (wallpaper-fetcher --init writes it)");
    return 1;
  }
  const int site = NextSiteNumber(request.add ? target : config);
  CrtSrand(static_cast<uint32_t>(platform.clock()));
  WebProbe probe(*platform.internet, platform.clock, ProbeLimits());
  const ProofTools tools{*platform.internet, *platform.pictures, *platform.desktop, platform.clock,
                         ""};
  const Suggestion suggestion = SuggestSite(request.url, probe, tools);
  const std::string cost = Format("%d requests in %.1f s", probe.requests(),
                                  static_cast<double>(probe.ElapsedMs()) / 1000);
  if (!suggestion.proved) {
    std::fprintf(err, "wallpaper-fetcher: no chain of steps was found for %s (%s):\n",
                 request.url.c_str(), cost.c_str());
    for (const std::string& reason : suggestion.reasons)
      std::fprintf(err, "  %s\n", reason.c_str());
    if (!suggestion.comments.empty()) std::fprintf(err, "What the page offered:\n");
    for (const std::string& note : suggestion.comments) std::fprintf(err, "  %s\n", note.c_str());
    return 1;
  }
  std::string text;
  for (const std::string& comment : suggestion.comments) text += CommentLine(comment);
  text += CommentLine(Format("proved: 3 runs of the check's crawl each reached a picture of at "
                             "least %lldx%lld; ",
                             suggestion.width / 2, suggestion.height / 2) +
                      cost);
  const std::string name = request.name.empty() ? HostOf(request.url) : request.name;
  text += SiteSectionText(site, name, 60, request.url, suggestion.steps);
  std::fputs(text.c_str(), out);
  std::fflush(out);
  if (!request.add) return 0;
  const Outcome added = AppendSiteSection(target, text, site);
  if (!added.ok()) {
    std::fprintf(err, "wallpaper-fetcher: the site was not added to %s: %s\n", target.c_str(),
                 added.message().c_str());
    return 1;
  }
  std::fprintf(out, "Added as [%s] to %s, with NumOfSites=%d\n", SiteSectionName(site).c_str(),
               target.c_str(), site);
  return 0;
}
