#include "config/starter_config.h"

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
