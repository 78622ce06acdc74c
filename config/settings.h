#ifndef CONFIG_SETTINGS_H_
#define CONFIG_SETTINGS_H_

#include <cstdint>
#include <string>

#include "config/ini_document.h"
#include "platform/desktop/wallpaper_style.h"

// The program's original default Sites.ini (31 lines, LF line ends in
// memory). A first start writes the starter configuration instead (its
// sites answer); these sites' expressions remain the reference of the link
// tests and benchmark.
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
// The line that says a configuration named on the command line (`named`)
// was not found and `found` is read instead, "" when nothing was named, it
// was found, or nothing was found at all. Without a prefix or a line end.
std::string NamedConfigurationFallback(const std::string* named, const std::string& program_dir,
                                       const std::string& found);
// The user's own configuration, the one --init writes: Sites.ini in the
// user's configuration directory; "" when the system gives none.
std::string UserConfigFile();

// When no configuration is found anywhere: writes the starter configuration
// (the one --init writes) to the user's own file, UserConfigFile(), and
// throws the Fatal that says so (or why it could not be written).
[[noreturn]] void RestoreSitesIni();
// Loads the configuration at `path` into `ini`; throws Fatal when it has no
// [General] section.
void LoadSitesIni(IniDocument& ini, const std::string& path);

#endif  // CONFIG_SETTINGS_H_
