#ifndef CONFIG_SETTINGS_H_
#define CONFIG_SETTINGS_H_

#include <string>

// The Sites.ini written when none is found (31 lines, LF line ends in memory).
extern const std::string DefaultSitesIni;

#endif  // CONFIG_SETTINGS_H_
