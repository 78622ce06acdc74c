#include "app/command_line_help.h"

#include "app/diagnostics.h"
#include "config/config_keys.h"
#include "config/paths.h"

namespace {

// One line per key, "  NAME=EXAMPLE" and what it does beside it; a second
// line of the text under the first.
std::string GeneralKeysHelp() {
  std::string text;
  for (const GeneralKeyInfo& info : kGeneralKeys) {
    const std::string help = info.help;
    const size_t line_end = help.find('\n');
    text += Format("  %-21s", (std::string(info.name) + "=" + info.example).c_str()) +
            help.substr(0, line_end) + "\n";
    if (line_end != std::string::npos) {
      text += std::string(23, ' ') + help.substr(line_end + 1) + "\n";
    }
  }
  return text;
}

}  // namespace

std::string HelpOrVersionText(const std::vector<std::string>& words) {
  if (words.size() < 2) return "";
  const std::string& arg = words[1];
  if (arg != "--help" && arg != "-h" && arg != "--version") return "";
  if (FindFile(arg) != "") return "";  // a file of that name is the configuration
  if (arg == "--version") return std::string("wallpaper-fetcher ") + FETCHER_VERSION + "\n";
  return "Usage: wallpaper-fetcher [CONFIG]\n"
         "       wallpaper-fetcher --init [PATH]\n"
         "       wallpaper-fetcher --check [--site N] [CONFIG]\n"
         "\n"
         "Fetches a new desktop wallpaper: picks one site of the configuration at\n"
         "random, follows its chain of crawl steps to a picture, saves it, converts it\n"
         "to Walp.bmp and installs it as the wallpaper. The picture's URL is kept in\n"
         "the configuration's history so the same picture is not taken again soon.\n"
         "\n"
         "The configuration is CONFIG if that file exists, else Sites.ini in the\n"
         "current directory, else Sites.ini in the program's directory. If none is\n"
         "found, a default Sites.ini is written to the program's directory and the\n"
         "program ends with exit code 101.\n"
         "\n"
         "[General] keys:\n" +
         GeneralKeysHelp() +
         "\n"
         "Exit codes: 0 after a run (with or without a new wallpaper) or when another\n"
         "copy is running; 101 after a fatal error.\n"
         "\n"
         "--init [PATH] writes a starter configuration with example sites to PATH\n"
         "(default: $XDG_CONFIG_HOME/wallpaper-fetcher/Sites.ini, else\n"
         "~/.config/wallpaper-fetcher/Sites.ini), never over an existing file; its\n"
         "pictures go to $XDG_DATA_HOME/wallpaper-fetcher/pictures/ (else\n"
         "~/.local/share/wallpaper-fetcher/pictures/).\n"
         "\n"
         "--check walks every site from 1 to NumOfSites (or only site N) as a run\n"
         "would and says per site whether it reaches a picture that would become the\n"
         "wallpaper (\"SiteN \"NAME\": OK\"), or where and why not (\"FAILED at STAGE:\n"
         "REASON\"), with each fetch, step and the picture below it, after warnings\n"
         "about keys a run would silently misread. It changes nothing: no Sites.ini,\n"
         "no SavePath, no log.log, no Walp.bmp, no wallpaper; its downloads go to a\n"
         "private temporary directory, removed at the end. It runs beside a running\n"
         "copy. Exit codes: 0 every checked site is OK, 1 one is not, 2 no\n"
         "configuration (or no [General] section) to check.\n"
         "\n"
         "Options: --help, -h  this text;  --version  the version;\n"
         "         --init [PATH]  write a starter configuration;\n"
         "         --check [--site N]  check the sites, change nothing.\n";
}
