#include "app/init_command.h"

#include "config/paths.h"
#include "config/starter_config.h"
#include "platform/filesystem/text_file.h"
#include "platform/filesystem/user_files.h"

int RunInitCommand(const std::string* named, std::string* out, std::string* err) {
  // The downloads in a directory of their own, apart from the desktop's
  // copies of the wallpaper (wallpaper-N.bmp) in the data directory.
  const std::string user_data = UserDataDir();  // ends in the system's separator
  const std::string data_dir = user_data.empty() ? "" : user_data + "pictures" + user_data.back();
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
  const std::string dir = GetDirOfPath(path);
  for (const std::string& needed : {data_dir, dir}) {
    if (needed.empty()) continue;
    const Outcome made = MakeDirectories(needed);
    if (!made.ok()) {
      *err =
          "wallpaper-fetcher: cannot create the directory " + needed + ": " + made.message() + "\n";
      return 1;
    }
  }
  const Outcome written = CreateFileExclusively(path, ToTextMode(StarterSitesIni(data_dir)));
  if (!written.ok()) {
    *err = "wallpaper-fetcher: cannot write " + path + ": " + written.message() + "\n";
    return 1;
  }
  *out = "Wrote " + path + "\nPictures and Walp.bmp go to " + data_dir + "\n";
  return 0;
}
