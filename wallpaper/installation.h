#ifndef WALLPAPER_INSTALLATION_H_
#define WALLPAPER_INSTALLATION_H_

#include <string>

#include "diagnostics/reporter.h"
#include "platform/desktop/desktop.h"

// Installs `bitmap` (Walp.bmp) as the wallpaper of `desktop` in the look
// `look`, handing a desktop that reads its picture from the file again
// later a copy of its own (wallpaper/desktop_copy.h). A bitmap that is not
// there (a save that failed on a full disk) is not handed over: the desktop
// keeps what it shows. Failures are only traced; the answer says what
// happened.
WallpaperOutcome InstallWallpaper(const std::string& bitmap, const WallpaperLook& look,
                                  Desktop& desktop, const Reporter& reporter);

#endif  // WALLPAPER_INSTALLATION_H_
