#ifndef APP_COMMAND_LINE_HELP_H_
#define APP_COMMAND_LINE_HELP_H_

#include <string>

// What --help prints: every option, key and exit code, and the system's own
// folders.
std::string HelpText();
// What --version prints.
std::string VersionText();

#endif  // APP_COMMAND_LINE_HELP_H_
