#include "app/init_command.h"

#include "config/paths.h"
#include "config/starter_config.h"
#include "platform/filesystem/user_files.h"

int RunInitCommand(const std::string* named, const std::string& program_dir, std::string* out,
                   std::string* err) {
  // The downloads in a directory of their own, apart from the desktop's
  // copies of the wallpaper (wallpaper-N.bmp) in the data directory.
  const std::string data_dir = StarterPicturesDir();
  std::string path = named != nullptr ? *named : "";
  if (path.empty()) {
    const std::string config_dir = UserConfigDir();
    if (!config_dir.empty()) path = config_dir + "Sites.ini";
  }
  if (path.empty() || data_dir.empty()) {
    *err =
        "wallpaper-fetcher: no home directory to keep the configuration and pictures in "
        "(HOME is not set)\n";
    return 1;
  }
  if (FileExists(path)) {
    *err = "wallpaper-fetcher: " + path + " already exists; it is left as it is\n";
    return 1;
  }
  const Outcome written = WriteStarterConfiguration(path, data_dir);
  if (!written.ok()) {
    *err = "wallpaper-fetcher: " + written.message() + "\n";
    return 1;
  }
  *out = "Wrote " + path + "\nPictures and Walp.bmp go to " + data_dir + "\n";
  // A plain run looks in the current and the program's folder first.
  const std::string shadow = named == nullptr ? FindFile("Sites.ini", program_dir) : "";
  if (!shadow.empty()) {
    *err = "wallpaper-fetcher: warning: a run started here reads " + shadow + " before " + path +
           ": move or rename it to use the new file\n";
  }
  return 0;
}
