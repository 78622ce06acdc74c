#ifndef CONFIG_PATHS_H_
#define CONFIG_PATHS_H_

#include <string>

#include "platform/filesystem/filesystem.h"

// Where the program finds its files: the search for a file named on the
// command line, and full paths against the program's directory (which the
// caller has from the command line: GetDirOfPath of the program's path as
// started, "" for a bare name). The path operations themselves
// (GetDirOfPath, IsAbsolutePath, GetCurrentDir, FileExists) are the
// file-system seam's, included here for the callers that use both.

// The first of: `path` if absolute; current dir + path; `program_dir` +
// path; that exists. "" when none does.
std::string FindFile(const std::string& path, const std::string& program_dir);
// `path` if absolute, else `base` + `path`; with `must_exist`, "" unless the
// result exists.
std::string MakeFullPath(const std::string& path, const std::string& base, bool must_exist);

#endif  // CONFIG_PATHS_H_
