#ifndef PLATFORM_DESKTOP_DESKTOP_H_
#define PLATFORM_DESKTOP_DESKTOP_H_

#include <string>
#include <vector>

#include "platform/desktop/wallpaper_style.h"

// What became of a wallpaper handed to the desktop.
struct WallpaperOutcome {
  // "" when the picture shows, else a short description of what failed.
  std::string failure;
  // True when the desktop now reads its picture from the copy it was handed:
  // the copies before it can go. False when it did not take the copy (it
  // still names an earlier one) or was handed none.
  bool copy_taken = false;
  // What the desktop did, for --check and the run's record, never the
  // trace: the desktop detected, each tool run and its result, a style
  // said in other words, a fallback.
  std::vector<std::string> notes;
  // True with a failure when there was nobody to show the picture to: no
  // graphical session (no display to draw on, none that answers) and no
  // desktop that could be reached. The picture was seen by no one.
  bool no_session_reached = false;
};

// The desktop whose wallpaper the program sets. Abstract so tests can record
// what would be set. The real one is SystemDesktop().
//
// Some desktops read the picture from its file again later (at the next
// log-in, on a new monitor). Walp.bmp is deleted when a later picture cannot
// be converted, so such a desktop is handed a copy of its own, which the
// caller makes in the folder the desktop names and settles by the outcome:
//
//   copy = a copy of `bitmap` in CopyFolder(), "" when none is wanted or made
//   outcome = SetWallpaper(bitmap, copy, look)
//   outcome.copy_taken ? remove the earlier copies : remove `copy`
class Desktop {
 public:
  virtual ~Desktop() = default;

  // The folder, with a trailing separator, where this desktop's own copies
  // of the wallpaper are to be made; "" when it wants none (it reads the
  // picture once) or the user has no such folder.
  virtual std::string CopyFolder() = 0;

  // Shows the bitmap at `bitmap` as the desktop background at once, in
  // `look`'s style said in the desktop's own words (kDesktops: the desktop's
  // own style stays). `copy`, when not empty, is a copy of it in
  // CopyFolder(): the desktop's setting names that file rather than `bitmap`.
  virtual WallpaperOutcome SetWallpaper(const std::string& bitmap, const std::string& copy,
                                        const WallpaperLook& look) = 0;

  // How SetWallpaper would show a picture in `look`, one line each (the
  // desktop, its words for the style, the monitors): for --check, changing
  // nothing.
  virtual std::vector<std::string> Describe(const WallpaperLook& look) = 0;
};

Desktop& SystemDesktop();

#endif  // PLATFORM_DESKTOP_DESKTOP_H_
