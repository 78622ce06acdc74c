#include "config/settings.h"

#include "app/run_record.h"
#include "app/wallpaper_fetcher.h"
#include "config/config_keys.h"
#include "config/paths.h"
#include "config/text_file.h"
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

std::string FindSitesIni(const std::string* named) {
  std::string path;
  if (named != nullptr) path = FindFile(*named);
  if (path.empty()) path = FindFile("Sites.ini");
  if (path.empty()) {
    const std::string user_file = UserConfigFile();
    if (!user_file.empty() && FileExists(user_file)) path = user_file;
  }
  return path;
}

void WallpaperFetcher::LoadSitesIni() {
  const std::string path = FindSitesIni(GetNamedConfiguration());
  if (path.empty()) {
    const std::string target = MakeFullPath("Sites.ini", GetProgramDir(), false);
    const std::string init_hint =
        "wallpaper-fetcher --init writes a starter configuration with working sites.";
    // An installed copy's directory is not the user's to write: say so
    // rather than claim a file that is not there.
    if (!WriteTextModeFileAtomically(target, DefaultSitesIni).ok()) {
      FatalError("No ini file, and it couldn't be restored to " + target, init_hint);
    }
    FatalError("No ini file, but it was restored!",
               "The default configuration was written to " + target + "; " + init_hint);
  }
  CurrentRunRecord().config = path;
  m_Ini.SetFileName(path);
  m_Ini.Load();
  if (!m_Ini.SectionExists(kGeneralSection)) FatalError("Wrong ini file, no general section");
}

void WallpaperFetcher::ReadGeneralSettings() {
  const auto number = [this](GeneralKey key) {
    return m_Ini.GetIntValue(kGeneralSection, GeneralKeyName(key));
  };
  m_ySuppressMessages = number(GeneralKey::kSuppressMessages) != 0;
  m_yDebug = number(GeneralKey::kDebugMode) != 0;
  m_yNotMakeAWallpaper = number(GeneralKey::kNotMakeAWallpaper) != 0;
  m_yDeleteLast = number(GeneralKey::kDeleteLast) != 0;
  m_iTryNumber = number(GeneralKey::kTryNumber);
  m_iKeepInHistory = number(GeneralKey::kKeepInHistory);
  m_iNumOfSites = number(GeneralKey::kNumOfSites);
  m_strSavePath = m_Ini.GetValue(kGeneralSection, GeneralKeyName(GeneralKey::kSavePath));
  m_iMaxWallpWidth = number(GeneralKey::kMaxWallpWidth);
  m_iMaxWallpHeight = number(GeneralKey::kMaxWallpHeight);
  // A value the check warns of counts as absent.
  const auto text = [this](GeneralKey key) {
    return m_Ini.GetValue(kGeneralSection, GeneralKeyName(key));
  };
  m_WallpaperLook = WallpaperLook();
  (void)ParseWallpaperStyle(text(GeneralKey::kWallpaperStyle), &m_WallpaperLook.style);
  (void)ParseBackgroundColour(text(GeneralKey::kWallpaperBackground), &m_WallpaperLook.background);
}
