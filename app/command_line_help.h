#ifndef APP_COMMAND_LINE_HELP_H_
#define APP_COMMAND_LINE_HELP_H_

#include <string>
#include <vector>

// The text for --help, -h or --version as the first argument when no file of
// that name exists; "" when the command line asks for neither.
std::string HelpOrVersionText(const std::vector<std::string>& words);

#endif  // APP_COMMAND_LINE_HELP_H_
