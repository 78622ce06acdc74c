#include "config/starter_config.h"

#include "platform/filesystem/filesystem.h"
#include "platform/filesystem/text_file.h"
#include "platform/filesystem/user_files.h"

std::string StarterSitesIni(const std::string& save_path) {
  std::string text = kExampleSitesIni;
  const std::string key = "\nSavePath=";
  const size_t start = text.find(key);
  if (start == std::string::npos) return text;
  const size_t value = start + key.size();
  const size_t end = text.find('\n', value);
  text.replace(value, (end == std::string::npos ? text.size() : end) - value, save_path);
  return text;
}

std::string StarterPicturesDir() {
  const std::string user_data = UserDataDir();  // ends in the system's separator
  return user_data.empty() ? "" : user_data + "pictures" + user_data.back();
}

Outcome WriteStarterConfiguration(const std::string& path, const std::string& pictures_dir) {
  for (const std::string& needed : {pictures_dir, GetDirOfPath(path)}) {
    if (needed.empty()) continue;
    const Outcome made = MakeDirectories(needed);
    if (!made.ok())
      return Outcome::Error("cannot create the directory " + needed + ": " + made.message());
  }
  const Outcome written = CreateFileExclusively(path, ToTextMode(StarterSitesIni(pictures_dir)));
  if (!written.ok()) return Outcome::Error("cannot write " + path + ": " + written.message());
  return Outcome::Ok();
}
