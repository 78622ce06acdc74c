#ifndef APP_SUGGEST_COMMAND_H_
#define APP_SUGGEST_COMMAND_H_

#include <cstdio>
#include <string>

#include "app/platform_services.h"

// wallpaper-fetcher --suggest URL [--name NAME] [--add [FILE]]: finds the
// chain of crawl steps from the page at URL to its largest pictures
// (suggestion/suggester.h), proves it, and prints it as a ready [SiteN]
// section under comment lines that say what each step matches and what was
// left out. With --add the section is appended to a configuration.

struct SuggestRequest {
  std::string url;
  std::string name;  // "" for the address's host
  bool add = false;
  bool file_named = false;
  std::string file;         // --add FILE, as given
  std::string program_dir;  // the program's directory, "" for a bare name
};

// Does it: the section to `out`, what went wrong to `err`. Returns the exit
// code: 0 when a chain was proved (and, with --add, written), 1 when none
// was (the reasons on `err`) or the file could not be written.
int RunSuggest(const SuggestRequest& request, const Platform& platform, std::FILE* out,
               std::FILE* err);

#endif  // APP_SUGGEST_COMMAND_H_
