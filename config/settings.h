#ifndef CONFIG_SETTINGS_H_
#define CONFIG_SETTINGS_H_

#include <string>

// The Sites.ini written when none is found (31 lines, LF line ends in memory).
extern const std::string DefaultSitesIni;

// The configuration a run reads: what FindFile finds for `named` (null when
// the command line names nothing), else Sites.ini in the current or the
// program's directory; "" when none exists.
std::string FindSitesIni(const std::string* named);

#endif  // CONFIG_SETTINGS_H_
