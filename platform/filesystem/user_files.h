#ifndef PLATFORM_FILESYSTEM_USER_FILES_H_
#define PLATFORM_FILESYSTEM_USER_FILES_H_

#include <string>

#include "platform/outcome.h"

// Where the program keeps files of its own for the user who runs it, and the
// few file operations that setting them up needs. Directories are returned
// with a trailing separator; "" when the system does not say where (no home).

// The user's configuration directory for this program. POSIX:
// $XDG_CONFIG_HOME/wallpaper-fetcher/, else ~/.config/wallpaper-fetcher/.
std::string UserConfigDir();
// The user's data directory for this program: the desktop's copies of the
// wallpaper, the pictures of a configuration made by --init. POSIX:
// $XDG_DATA_HOME/wallpaper-fetcher/, else ~/.local/share/wallpaper-fetcher/.
std::string UserDataDir();
// The user's state directory for this program: the record of the last runs.
// POSIX: $XDG_STATE_HOME/wallpaper-fetcher/, else
// ~/.local/state/wallpaper-fetcher/. Windows: the data directory.
std::string UserStateDir();

// How this system names those directories, for a person to read:
// "$XDG_CONFIG_HOME/wallpaper-fetcher/ (else ~/.config/wallpaper-fetcher/)"
// on POSIX, "%APPDATA%\wallpaper-fetcher\" on Windows.
enum class UserDir { kConfig, kData, kState };
std::string DescribeUserDir(UserDir dir);

// Creates `dir` and any missing parent; ok when it is a directory then. The
// reason of a failure names the parent that could not be made, if it was one.
Outcome MakeDirectories(const std::string& dir);
// Creates the file `path` with `bytes`, failing when anything already exists
// there (also a link to elsewhere): a file of the user's is never replaced.
// Leaves nothing behind on failure.
Outcome CreateFileExclusively(const std::string& path, const std::string& bytes);

#endif  // PLATFORM_FILESYSTEM_USER_FILES_H_
