#include "app/command_line_help.h"

#include "config/paths.h"

std::string HelpOrVersionText(const std::vector<std::string>& words) {
  if (words.size() < 2) return "";
  const std::string& arg = words[1];
  if (arg != "--help" && arg != "-h" && arg != "--version") return "";
  if (FindFile(arg) != "") return "";  // a file of that name is the configuration
  if (arg == "--version") return std::string("wallpaper-fetcher ") + FETCHER_VERSION + "\n";
  return "Usage: wallpaper-fetcher [CONFIG]\n"
         "       wallpaper-fetcher --init [PATH]\n"
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
         "[General] keys:\n"
         "  DebugMode=1          trace every step to the console and log.log\n"
         "  SuppressMessages=1   in debug mode, show no message boxes (pauses)\n"
         "  TryNumber=3          attempts at the chosen site\n"
         "  NumOfSites=2         sites [Site1] .. [SiteN] to choose from\n"
         "  KeepInHistory=20     how many recent picture URLs are refused\n"
         "  SavePath=            directory for the downloads, with a trailing /\n"
         "                       (relative to the program's directory)\n"
         "  NotMakeAWallpaper=1  fetch and remember the picture, but do not install it\n"
         "  DeleteLast=1         delete the downloaded picture after use\n"
         "  MaxWallpWidth=0      largest accepted width in pixels (0: no limit)\n"
         "  MaxWallpHeight=0     largest accepted height in pixels (0: no limit)\n"
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
         "Options: --help, -h  this text;  --version  the version.\n";
}
