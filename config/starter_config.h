#ifndef CONFIG_STARTER_CONFIG_H_
#define CONFIG_STARTER_CONFIG_H_

#include <string>

#include "platform/outcome.h"

// The example configuration (examples/Sites.ini, built into the program):
// sites of public picture sources whose pages have kept their structure for
// years, quiet settings for a scheduled run.
extern const char kExampleSitesIni[];

// The example configuration with its SavePath line set to `save_path`.
std::string StarterSitesIni(const std::string& save_path);

// Where a starter configuration keeps the pictures: "pictures" in the
// user's data directory, apart from the desktop's copies of the wallpaper
// there; "" when the system gives no data directory (HOME is not set).
std::string StarterPicturesDir();

// Writes the starter configuration, its pictures in `pictures_dir`, to
// `path` (never over an existing file), making the folders of both. What
// stopped it otherwise: "cannot create the directory DIR: REASON" or
// "cannot write PATH: REASON".
Outcome WriteStarterConfiguration(const std::string& path, const std::string& pictures_dir);

#endif  // CONFIG_STARTER_CONFIG_H_
