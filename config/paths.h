#ifndef CONFIG_PATHS_H_
#define CONFIG_PATHS_H_

#include <string>
#include <vector>

#include "platform/filesystem/filesystem.h"

// Where the program finds its files: the command line it was started with,
// its own directory, and the search for a file named on the command line.
// The path operations themselves (GetDirOfPath, IsAbsolutePath,
// GetCurrentDir, FileExists) are the file-system seam's, included here for
// the callers that use both.

// Keeps the command line's words; main() calls this first.
void SetCommandLine(int argc, const char* const* argv);
// The words as started: [0] is the program's path.
const std::vector<std::string>& GetCommandLine();
// The configuration file the command line names, null when it names none:
// the first argument after SetCommandLine, until main, having read the
// options, says which word it is (SetNamedConfiguration).
const std::string* GetNamedConfiguration();
void SetNamedConfiguration(const std::string* named);

// Directory part of the program's path as started, "" for a bare name.
std::string GetProgramDir();
// The first of: `path` if absolute; current dir + path; program dir + path;
// that exists. "" when none does.
std::string FindFile(const std::string& path);
// `path` if absolute, else `base` + `path`; with `must_exist`, "" unless the
// result exists.
std::string MakeFullPath(const std::string& path, const std::string& base, bool must_exist);

#endif  // CONFIG_PATHS_H_
