#ifndef PLATFORM_FILESYSTEM_H_
#define PLATFORM_FILESYSTEM_H_

#include <string>

// The file-system rules that differ between systems. The program's own path
// operations (config/paths.h) are built on these.

// Drive and directory part of `path`: everything up to and including the
// last separator ("/" on POSIX; "\" or "/" after an optional "X:" on Windows).
std::string DirOfPath(const std::string& path);
// POSIX: a leading "/". Windows: more than 2 characters and a ":" second.
bool IsAbsolutePathRule(const std::string& path);
// The working directory ending in a separator, "" when it cannot be had.
std::string CurrentDirectory();
// True when a status query on `path` succeeds.
bool PathExists(const std::string& path);
// True when `name` can only name a file inside a directory: no separator of
// this system ("/"; on Windows also "\" and ":").
bool IsPlainFileName(const std::string& name);
// Deletes a file; the result is for tracing only.
bool DeleteFileAt(const std::string& path);
// Renames `from` to `to`, replacing `to` where the system allows it.
bool RenameFile(const std::string& from, const std::string& to);
// Writes `bytes` to a new temporary file beside `path`, flushes it to disk and
// renames it over `path`. Leaves no temporary file behind on failure.
bool ReplaceFileAtomically(const std::string& path, const std::string& bytes);

#endif  // PLATFORM_FILESYSTEM_H_
