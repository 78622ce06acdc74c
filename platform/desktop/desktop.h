#ifndef PLATFORM_DESKTOP_DESKTOP_H_
#define PLATFORM_DESKTOP_DESKTOP_H_

#include <string>

// The desktop whose wallpaper the program sets. Abstract so tests can record
// what would be set. The real one is SystemDesktop().
class Desktop {
 public:
  virtual ~Desktop() = default;
  // Shows the bitmap at `path` as the desktop background at once.
  // Returns "" on success, else a short description of what failed.
  virtual std::string SetWallpaper(const std::string& path) = 0;
};

Desktop& SystemDesktop();

#endif  // PLATFORM_DESKTOP_DESKTOP_H_
