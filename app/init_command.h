#ifndef APP_INIT_COMMAND_H_
#define APP_INIT_COMMAND_H_

#include <string>
#include <vector>

// `wallpaper-fetcher --init [PATH]`: writes a starter configuration for the
// user who runs it (the example sites, no debug trace, the pictures in the
// user's data directory) to PATH, by default Sites.ini in the user's
// configuration directory. An existing file is never replaced.

// True when the command line asks for --init (and no file of that name is
// the configuration, as with --help).
bool IsInitCommand(const std::vector<std::string>& words);
// Does it; what it did goes to `out`, a failure to `err`. Returns the exit
// code: 0 when the file was written, 1 otherwise.
int RunInitCommand(const std::vector<std::string>& words, std::string* out, std::string* err);

#endif  // APP_INIT_COMMAND_H_
