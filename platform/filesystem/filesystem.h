#ifndef PLATFORM_FILESYSTEM_FILESYSTEM_H_
#define PLATFORM_FILESYSTEM_FILESYSTEM_H_

#include <functional>
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
// Replaces the file at `path` whole, never leaving it half-written:
// `write_content` writes the new content into a new temporary file beside
// `path` (a descriptor closed on exec; on Windows one of the C runtime), which
// is then flushed to disk and renamed over `path`. A replaced file keeps its
// permissions, a new one gets 0644. Returns false, with `path` as it was and
// no temporary left, when `write_content` returns false or a step fails.
// On POSIX also: a `path` that is a symbolic link stays one (the file at the
// end of its links is replaced, the temporary made beside that file); the
// replaced file keeps, where the process may, its owner and group; and the
// temporaries that killed saves of that file left beside it are removed
// first (ours by name and owner, and not locked by a save under way).
bool ReplaceFileWhole(const std::string& path, const std::function<bool(int fd)>& write_content);
// Writes all `size` bytes at `data` to `fd`. False on a write error.
bool WriteAllBytes(int fd, const char* data, size_t size);
// ReplaceFileWhole with `bytes` as the content, except that a file or a
// directory marked read-only is left alone (also for root, who could
// otherwise write anything).
bool ReplaceFileAtomically(const std::string& path, const std::string& bytes);

#endif  // PLATFORM_FILESYSTEM_FILESYSTEM_H_
