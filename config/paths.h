#ifndef CONFIG_PATHS_H_
#define CONFIG_PATHS_H_

#include <string>
#include <vector>

// Path operations of the whole program. Directories are carried with a
// trailing separator and joined to names by plain concatenation. On POSIX the
// separator is "/" and a path is absolute when it starts with "/"; on Windows
// a drive letter and colon make it absolute and both "\" and "/" separate.

// Keeps the command line's words; main() calls this first.
void SetCommandLine(int argc, const char* const* argv);
// The words as started: [0] is the program's path.
const std::vector<std::string>& GetCommandLine();

// Directory part of the program's path as started, "" for a bare name.
std::string GetProgramDir();
// The current working directory with a trailing separator ("" if unknown).
std::string GetCurrentDir();
// Drive and directory part of `path`, up to and including the last separator.
std::string GetDirOfPath(const std::string& path);
bool IsAbsolutePath(const std::string& path);
// True when a status query on `path` succeeds (also for a directory).
bool FileExists(const std::string& path);
// The first of: `path` if absolute; current dir + path; program dir + path;
// that exists. "" when none does.
std::string FindFile(const std::string& path);
// `path` if absolute, else `base` + `path`; with `must_exist`, "" unless the
// result exists.
std::string MakeFullPath(const std::string& path, const std::string& base, bool must_exist);

#endif  // CONFIG_PATHS_H_
