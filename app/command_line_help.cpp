#include "app/command_line_help.h"

#include "config/config_keys.h"
#include "platform/filesystem/user_files.h"

namespace {

// One line per key, "  NAME=EXAMPLE" and what it does beside it; a second
// line of the text under the first.
std::string GeneralKeysHelp() {
  std::string text;
  for (const GeneralKeyInfo& info : kGeneralKeys) {
    const std::string help = info.help;
    const size_t line_end = help.find('\n');
    const std::string key = std::string(info.name) + "=" + info.example;
    // A long key gets its text on the next line, in the same column.
    text += "  " + key +
            (key.size() < 21 ? std::string(21 - key.size(), ' ') : "\n" + std::string(23, ' ')) +
            help.substr(0, line_end) + "\n";
    if (line_end != std::string::npos) {
      text += std::string(23, ' ') + help.substr(line_end + 1) + "\n";
    }
  }
  return text;
}

}  // namespace

std::string VersionText() { return std::string("wallpaper-fetcher ") + FETCHER_VERSION + "\n"; }

std::string HelpText() {
  const std::string config_dir = DescribeUserDir(UserDir::kConfig);
  const std::string data_dir = DescribeUserDir(UserDir::kData);
  const std::string state_dir = DescribeUserDir(UserDir::kState);
  return "Usage: wallpaper-fetcher [--] [CONFIG]\n"
         "       wallpaper-fetcher --init [PATH]\n"
         "       wallpaper-fetcher --check [--site N] [CONFIG]\n"
         "       wallpaper-fetcher --suggest URL [--name NAME] [--add [FILE]]\n"
         "       wallpaper-fetcher --status | --help | --version\n"
         "\n"
         "Fetches a new desktop wallpaper: picks one site of the configuration at\n"
         "random, follows its chain of crawl steps to a picture, saves it, converts it\n"
         "to Walp.bmp and installs it as the wallpaper. The picture's URL is kept in\n"
         "the configuration's history so the same picture is not taken again soon;\n"
         "one that no screen showed (no graphical session) is kept for a later run.\n"
         "\n"
         "The configuration is CONFIG if that file exists (one that does not is said\n"
         "on standard error), else Sites.ini in the\n"
         "current directory, else Sites.ini in the program's directory, else the\n"
         "user's own Sites.ini (the one --init writes) in " +
         config_dir +
         ".\n"
         "If none is found, the starter configuration of --init is written to the\n"
         "user's own Sites.ini and the program ends with exit code 101.\n"
         "\n"
         "[General] keys:\n" +
         GeneralKeysHelp() +
         "  Recent0=, Recent1=, ...  the history: the URLs of the latest pictures,\n"
         "                       written by the program\n"
         "\n"
         "[Site1] .. [SiteN] keys:\n"
         "  Name=                the site's name, for the trace and --check\n"
         "  SecondsToDownload=60 time limit of each download (0: 120 s)\n"
         "  Begin=URL            the start page\n"
         "  Step1Get=EXPRESSION  a regular expression searched in the page fetched last\n"
         "  Step1Go=TEMPLATE     the next URL made from each match: $_1_$, $_2_$, ...\n"
         "                       stand for the match's capture groups (the first place\n"
         "                       of each is filled); one link is picked at random\n"
         "  Step2Get=, Step2Go=, ...  further steps, while Step(N)Get exists; the file\n"
         "                       fetched last is the picture, saved under the name\n"
         "                       that ends its URL\n"
         "\n"
         "Exit codes: 0 after a run (with or without a new wallpaper) or when another\n"
         "copy is running; 101 after a fatal error; 2 for a command line it cannot\n"
         "read (an unknown option, a missing value), when nothing is done.\n"
         "\n"
         "--init [PATH] writes a starter configuration with example sites to PATH\n"
         "(default: Sites.ini in " +
         config_dir +
         "),\n"
         "never over an existing file; its pictures go to pictures/ in\n" +
         data_dir +
         ". Exit codes: 0 written, 1 not.\n"
         "\n"
         "--check walks every site from 1 to NumOfSites (or only site N) as a run\n"
         "would and says per site whether it reaches a picture that would become the\n"
         "wallpaper (\"SiteN \"NAME\": OK\"), or where and why not (\"FAILED at STAGE:\n"
         "REASON\"), with each fetch, step and the picture below it, after warnings\n"
         "about keys a run would silently misread. It changes nothing: no Sites.ini,\n"
         "no SavePath, no log.log, no Walp.bmp, no wallpaper; its downloads go to a\n"
         "private temporary directory, removed at the end. It runs beside a running\n"
         "copy. Exit codes: 0 every checked site is OK, 1 one is not (or the\n"
         "configuration would fail a run), 2 no configuration (or no [General]\n"
         "section) to check.\n"
         "\n"
         "--suggest URL finds the chain of at most three steps that leads from the\n"
         "page at URL to its largest pictures, proves it by crawling it three times\n"
         "as --check does, and prints it as a [SiteN] section (N: the next site\n"
         "number of the configuration a run would read) under comment lines that\n"
         "say what each step matches and what was left out. It makes at most 60\n"
         "requests, one at a time, within 60 s. --name NAME names the site (default:\n"
         "the address's host). --add [FILE] appends the section to FILE (default:\n"
         "the configuration a run would read, else the one --init writes) and\n"
         "raises NumOfSites, keeping every other byte of the file. Exit codes: 0 a\n"
         "chain was proved (and added), 1 none was (the reasons on standard error)\n"
         "or the file could not be written, 2 a usage error.\n"
         "\n"
         "--status prints what the last runs did, newest last: the time, the\n"
         "configuration, the site, and the picture taken or why nothing changed, and\n"
         "each start that gave way to a running copy.\n"
         "Every run records itself in runs.log in " +
         state_dir +
         ",\n"
         "which keeps the last 100 runs.\n"
         "\n"
         "Options: --help, -h  this text;  --version  the version;\n"
         "         --init [PATH]  write a starter configuration;\n"
         "         --check [--site N]  check the sites, change nothing;\n"
         "         --suggest URL [--name NAME] [--add [FILE]]  the steps for a gallery;\n"
         "         --status  what the last runs did;\n"
         "         --  the end of the options (a CONFIG that starts with -).\n";
}
