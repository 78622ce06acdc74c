#ifndef PLATFORM_FILESYSTEM_USER_FILES_POSIX_H_
#define PLATFORM_FILESYSTEM_USER_FILES_POSIX_H_

#include <string>

// UserDataDir() for an environment other than the process's own (the one a
// PosixDesktop was given): $XDG_DATA_HOME/wallpaper-fetcher/ when
// `xdg_data_home` is absolute, else `home`/.local/share/wallpaper-fetcher/,
// "" when neither is absolute.
std::string UserDataDirFor(const std::string& xdg_data_home, const std::string& home);

#endif  // PLATFORM_FILESYSTEM_USER_FILES_POSIX_H_
