#ifndef APP_SITE_CHECK_H_
#define APP_SITE_CHECK_H_

#include <cstdio>
#include <string>
#include <vector>

#include "app/platform_services.h"

// wallpaper-fetcher --check [--site N] [FILE]: walks the sites of a
// configuration as a run would, changing nothing, and says per site whether
// it reaches a picture that would become the wallpaper, and if not, where and
// why.

struct CheckRequest {
  int site = 0;  // 0: every site from 1 to NumOfSites
  bool file_named = false;
  std::string file;         // as given on the command line
  std::string program_dir;  // the program's directory, "" for a bare name
};

// Runs the check: the configuration's warnings (config/config_lint.h), then
// each site crawled in check mode (retrieval/crawler.h) in a private scratch
// directory with a SiteReport (app/check_report.h) as the crawl's observer.
// Writes the report to `out` and usage or configuration errors to `err`.
// Returns the exit code: 0 when every checked site reached a picture that
// would be taken, 1 otherwise, 2 when there is nothing to check (no
// configuration, no [General], a usage error).
int RunCheck(const CheckRequest& request, const Platform& platform, std::FILE* out, std::FILE* err);

#endif  // APP_SITE_CHECK_H_
