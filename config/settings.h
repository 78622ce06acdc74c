#ifndef CONFIG_SETTINGS_H_
#define CONFIG_SETTINGS_H_

#include <string>

// The Sites.ini written when none is found (31 lines, LF line ends in memory).
extern const std::string DefaultSitesIni;

// The configuration a run reads: what FindFile finds for `named` (null when
// the command line names nothing), else Sites.ini in the current or the
// program's directory, else the user's own (UserConfigFile()); "" when none
// exists.
std::string FindSitesIni(const std::string* named);
// The user's own configuration, the one --init writes: Sites.ini in the
// user's configuration directory; "" when the system gives none.
std::string UserConfigFile();

#endif  // CONFIG_SETTINGS_H_
