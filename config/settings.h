#ifndef CONFIG_SETTINGS_H_
#define CONFIG_SETTINGS_H_

#include <cstdint>
#include <string>

#include "config/ini_document.h"
#include "platform/desktop/wallpaper_style.h"

// The Sites.ini written when none is found (31 lines, LF line ends in memory).
extern const std::string DefaultSitesIni;

// The values of [General] a run works with, read once per run; no defaults
// are substituted for missing keys (they read as 0 and ""), except the
// wallpaper's look, where a value it cannot read counts as absent.
struct GeneralSettings {
  std::string save_path;
  bool suppress_messages = false;
  bool debug = false;
  bool not_make_a_wallpaper = false;
  bool delete_last = false;
  int32_t try_number = 0;
  int32_t keep_in_history = 0;
  int32_t num_of_sites = 0;
  int32_t max_wallp_width = 0;
  int32_t max_wallp_height = 0;
  WallpaperLook look;
};

GeneralSettings ReadGeneralSettings(const IniDocument& ini);

// The configuration a run reads: what FindFile finds for `named` (null when
// the command line names nothing), else Sites.ini in the current or the
// program's directory, else the user's own (UserConfigFile()); "" when none
// exists.
std::string FindSitesIni(const std::string* named, const std::string& program_dir);
// The user's own configuration, the one --init writes: Sites.ini in the
// user's configuration directory; "" when the system gives none.
std::string UserConfigFile();

// When no configuration is found: writes the default beside the program
// and throws the Fatal that says so (or that it could not be written).
[[noreturn]] void RestoreSitesIni(const std::string& program_dir);
// Loads the configuration at `path` into `ini`; throws Fatal when it has no
// [General] section.
void LoadSitesIni(IniDocument& ini, const std::string& path);

#endif  // CONFIG_SETTINGS_H_
