#include "wallpaper/installation.h"

#include "platform/filesystem/filesystem.h"
#include "wallpaper/desktop_copy.h"

WallpaperOutcome InstallWallpaper(const std::string& bitmap, const WallpaperLook& look,
                                  Desktop& desktop, const Reporter& reporter) {
  if (!FileExists(bitmap)) {
    reporter.TraceMessage("No bitmap to set as the wallpaper, the previous one stays: " + bitmap);
    WallpaperOutcome outcome;
    outcome.failure = bitmap + " could not be written";
    return outcome;
  }
  // A copy of its own survives a failed conversion deleting Walp.bmp.
  // Without one (none wanted, or it cannot be made) the desktop gets
  // Walp.bmp.
  DesktopCopy copy(desktop.CopyFolder());
  WallpaperOutcome outcome = desktop.SetWallpaper(bitmap, copy.Make(bitmap), look);
  copy.Settle(outcome.copy_taken);
  if (!outcome.failure.empty()) reporter.Trace("strWallpaperError.data()", outcome.failure);
  return outcome;
}
