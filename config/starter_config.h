#ifndef CONFIG_STARTER_CONFIG_H_
#define CONFIG_STARTER_CONFIG_H_

#include <string>

// The example configuration (examples/Sites.ini, built into the program):
// sites of public picture sources whose pages have kept their structure for
// years, quiet settings for a scheduled run.
extern const char kExampleSitesIni[];

// The example configuration with its SavePath line set to `save_path`.
std::string StarterSitesIni(const std::string& save_path);

#endif  // CONFIG_STARTER_CONFIG_H_
