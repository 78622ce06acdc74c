#ifndef PLATFORM_FILESYSTEM_FILESYSTEM_H_
#define PLATFORM_FILESYSTEM_FILESYSTEM_H_

#include <cstddef>
#include <functional>
#include <string>

#include "platform/outcome.h"

// The program's path operations and the file operations that differ between
// systems. Directories are carried with a trailing separator and joined to
// names by plain concatenation. On POSIX the separator is "/" and a path is
// absolute when it starts with "/"; on Windows a drive letter and colon make
// it absolute and both "\" and "/" separate.
//
// A failed operation says why in its Outcome (see platform/outcome.h): the
// system's words, after the name of any other file than the one it was
// given.

// The separator the user writes on this system: what a folder in Sites.ini
// ends with.
#ifdef _WIN32
constexpr char kPathSeparator = '\\';
#else
constexpr char kPathSeparator = '/';
#endif

// Drive and directory part of `path`: everything up to and including the
// last separator ("/" on POSIX; "\" or "/" after an optional "X:" on Windows).
std::string GetDirOfPath(const std::string& path);
// POSIX: a leading "/". Windows: more than 2 characters and a ":" second.
bool IsAbsolutePath(const std::string& path);
// The working directory ending in a separator, "" when it cannot be had.
std::string GetCurrentDir();
// True when a status query on `path` succeeds (also for a directory).
bool FileExists(const std::string& path);
// True when `name` can only name a file inside a directory: no separator of
// this system ("/"; on Windows also "\" and ":").
bool IsPlainFileName(const std::string& name);

// Deletes a file.
Outcome DeleteFileAt(const std::string& path);
// Renames `from` to `to`, replacing `to` where the system allows it.
Outcome RenameFile(const std::string& from, const std::string& to);
// Replaces the file at `path` whole, never leaving it half-written:
// `write_content` writes the new content into a new temporary file beside
// `path` (a descriptor closed on exec; on Windows one of the C runtime), which
// is then flushed to disk and renamed over `path`. A replaced file keeps its
// permissions, a new one gets 0644. Fails, with `path` as it was and no
// temporary left, when `write_content` returns false (the reason is the
// system's words for the errno it leaves, when it leaves one) or a step
// fails.
// On POSIX also: a `path` that is a symbolic link stays one (the file at the
// end of its links is replaced, the temporary made beside that file); the
// replaced file keeps, where the process may, its owner and group; and the
// temporaries that killed saves of that file left beside it are removed
// first (ours by name and owner, and not locked by a save under way).
Outcome ReplaceFileWhole(const std::string& path, const std::function<bool(int fd)>& write_content);
// ReplaceFileWhole with `bytes` as the content, except that a file or a
// directory marked read-only is left alone (also for root, who could
// otherwise write anything).
Outcome ReplaceFileAtomically(const std::string& path, const std::string& bytes);

// Runs `work` while this process holds an exclusive lock on the file
// `lock_path` (created when missing, left in place), so that processes that
// read, change and replace one file do it one after the other. Waits for
// another holder; the system lets go of a holder that ends however it ends.
// When the lock cannot be had, `work` runs all the same.
void WithFileLock(const std::string& lock_path, const std::function<void()>& work);

// Writes all `size` bytes at `data` to the descriptor `fd` (on Windows one
// of the C runtime), going on after interruptions. False, with errno saying
// why, on a write error. Allocates nothing and makes only write calls: safe
// in a forked child and in a signal handler.
bool WriteAllBytes(int fd, const char* data, size_t size);

#endif  // PLATFORM_FILESYSTEM_FILESYSTEM_H_
