#ifndef APP_INIT_COMMAND_H_
#define APP_INIT_COMMAND_H_

#include <string>

// `wallpaper-fetcher --init [PATH]`: writes a starter configuration for the
// user who runs it (the example sites, no debug trace, the pictures in the
// user's data directory) to PATH, by default Sites.ini in the user's
// configuration directory. An existing file is never replaced.

// Does it, writing to `named` (null: the default place); what it did goes to
// `out`, a failure to `err`, and so does a warning when a Sites.ini in the
// current or the program's directory (`program_dir`) would be read before
// the default place. Returns the exit code: 0 when the file was written, 1
// otherwise.
int RunInitCommand(const std::string* named, const std::string& program_dir, std::string* out,
                   std::string* err);

#endif  // APP_INIT_COMMAND_H_
