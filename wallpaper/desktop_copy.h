#ifndef WALLPAPER_DESKTOP_COPY_H_
#define WALLPAPER_DESKTOP_COPY_H_

#include <string>

// The copy of the wallpaper that a desktop reading its picture from the file
// is handed, owned by the program in the folder the desktop names
// (Desktop::CopyFolder(), the user's data directory). Walp.bmp is deleted
// when a later picture cannot be converted, and such a desktop then shows
// nothing; a copy of its own stays until the next wallpaper replaces it.
// Each wallpaper gets a new name, so a desktop that caches its picture by
// path reads the new file.
//
//   DesktopCopy copy(desktop.CopyFolder());
//   const std::string path = copy.Make(bitmap);      // "" when it cannot
//   const bool taken = ... hand `path` to the desktop ...;
//   copy.Settle(taken);
//
// At most two copies exist: the one the desktop shows and the one it is
// being handed.
class DesktopCopy {
 public:
  // `dir`: the directory of the copies, with a trailing separator; created
  // when missing. Empty: no copy is made.
  explicit DesktopCopy(std::string dir) : dir_(std::move(dir)) {}

  // Links (on one file system) or copies `bitmap` to a new name in the
  // directory and returns its full path; "" when that failed, with the
  // reason in error().
  std::string Make(const std::string& bitmap);
  // Once the desktop has been handed the copy: when it took it, the earlier
  // copies are removed; when it did not, the new copy is (the desktop still
  // shows an earlier one).
  void Settle(bool taken);

  const std::string& error() const { return error_; }

 private:
  std::string dir_;
  std::string made_;
  std::string error_;
};

#endif  // WALLPAPER_DESKTOP_COPY_H_
