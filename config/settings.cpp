#include "config/settings.h"

#include "config/config_keys.h"
#include "config/paths.h"
#include "config/starter_config.h"
#include "diagnostics/reporter.h"
#include "platform/filesystem/text_file.h"
#include "platform/filesystem/user_files.h"

const std::string DefaultSitesIni =
    "[General]\n"
    "SuppressMessages=1\n"
    "DebugMode=1\n"
    "TryNumber=3\n"
    "KeepInHistory=20\n"
    "NumOfSites=2\n"
    "NotMakeAWallpaper=0\n"
    "DeleteLast=0\n"
    "SavePath=\n"
    "\n"
    "[Site1]\n"
    "Name=Game wallpapers\n"
    "SecondsToDownload=60\n"
    "Begin=http://www.gamewallpapers.com/\n"
    "Step1Get=<a href=\"[/|\\s]([^>]*)>[^\\s]*</a>&nbsp;\\|\n"
    "Step1Go=http://www.gamewallpapers.com/$_1_$\n"
    "Step2Get=<a href=\"[/|\\s]([^>]*)\"><IMG src=\n"
    "Step2Go=http://www.gamewallpapers.com/$_1_$\n"
    "Step3Get=<A href=\"javascript:getWall\\('\\d*','([^']*)'\\)\">1280x1024</a>\n"
    "Step3Go=http://files.gamewallpapers.com/$_1_$\n"
    "\n"
    "[Site2]\n"
    "Name=Random picture\n"
    "SecondsToDownload=60\n"
    "Begin=http://www.bbc.com/\n"
    "Step1Get=the\\s*([[:alpha:]]{3,})\\s*\n"
    "Step1Go=http://images.google.com/images?as_q=$_1_$&svnum=25&btnG=Google+Search&as_epq=&"
    "as_oq=&as_eq=&imgsz=xxlarge&as_filetype=jpg&imgc=&as_sitesearch=&imgsafe=active\n"
    "Step2Get=q=([[:alpha:]]*)\\+filetype:jpg&imgsz=xxlarge&svnum=25&hl=en&newwindow=1&start=("
    "[[:digit:]]*)&sa=N><img\n"
    "Step2Go=http://www.google.com/images?q=$_1_$+filetype:jpg&imgsz=xxlarge&svnum=25&hl=en&"
    "newwindow=1&start=$_2_$&sa=N\n"
    "Step3Get=href=/imgres\\?imgurl=([^>]*)&imgrefurl=\n"
    "Step3Go=http://$_1_$\n";

std::string UserConfigFile() {
  const std::string dir = UserConfigDir();
  return dir.empty() ? "" : dir + "Sites.ini";
}

std::string FindSitesIni(const std::string* named, const std::string& program_dir) {
  std::string path;
  if (named != nullptr) path = FindFile(*named, program_dir);
  if (path.empty()) path = FindFile("Sites.ini", program_dir);
  if (path.empty()) {
    const std::string user_file = UserConfigFile();
    if (!user_file.empty() && FileExists(user_file)) path = user_file;
  }
  return path;
}

std::string NamedConfigurationFallback(const std::string* named, const std::string& program_dir,
                                       const std::string& found) {
  if (named == nullptr || found.empty() || !FindFile(*named, program_dir).empty()) return "";
  return *named + " was not found; reading " + found + " instead";
}

void RestoreSitesIni() {
  const std::string path = UserConfigFile();
  const std::string pictures = StarterPicturesDir();
  if (path.empty() || pictures.empty()) {
    throw Fatal{"No ini file, and it couldn't be restored",
                "There is no home directory to keep it in (HOME is not set)."};
  }
  // Never beside the program or in the current directory, where it would
  // shadow the user's own file from then on.
  const Outcome written = WriteStarterConfiguration(path, pictures);
  if (!written.ok()) {
    throw Fatal{"No ini file, and it couldn't be restored to " + path,
                "The starter configuration could not be written: " + written.message()};
  }
  throw Fatal{"No ini file, but it was restored!",
              "The starter configuration was written to " + path + "; the next run uses it."};
}

void LoadSitesIni(IniDocument& ini, const std::string& path) {
  ini.SetFileName(path);
  ini.Load();
  if (!ini.SectionExists(kGeneralSection)) throw Fatal{"Wrong ini file, no general section", ""};
}

GeneralSettings ReadGeneralSettings(const IniDocument& ini) {
  const auto number = [&ini](GeneralKey key) {
    return ini.GetIntValue(kGeneralSection, GeneralKeyName(key));
  };
  const auto text = [&ini](GeneralKey key) {
    return ini.GetValue(kGeneralSection, GeneralKeyName(key));
  };
  GeneralSettings settings;
  settings.suppress_messages = number(GeneralKey::kSuppressMessages) != 0;
  settings.debug = number(GeneralKey::kDebugMode) != 0;
  settings.not_make_a_wallpaper = number(GeneralKey::kNotMakeAWallpaper) != 0;
  settings.delete_last = number(GeneralKey::kDeleteLast) != 0;
  settings.try_number = number(GeneralKey::kTryNumber);
  settings.keep_in_history = number(GeneralKey::kKeepInHistory);
  settings.num_of_sites = number(GeneralKey::kNumOfSites);
  settings.save_path = text(GeneralKey::kSavePath);
  settings.max_wallp_width = number(GeneralKey::kMaxWallpWidth);
  settings.max_wallp_height = number(GeneralKey::kMaxWallpHeight);
  // A value the check warns of counts as absent.
  (void)ParseWallpaperStyle(text(GeneralKey::kWallpaperStyle), &settings.look.style);
  (void)ParseBackgroundColour(text(GeneralKey::kWallpaperBackground), &settings.look.background);
  return settings;
}
