// Walp.bmp becomes the desktop wallpaper.
#include <string>

#include "app/diagnostics.h"
#include "app/run_record.h"
#include "app/wallpaper_fetcher.h"
#include "config/paths.h"
#include "platform/desktop/desktop.h"
#include "wallpaper/desktop_copy.h"

void WallpaperFetcher::SetWallpaper() {
  // A save that failed (a full disk) left no bitmap: the desktop keeps the
  // wallpaper it shows rather than be handed a missing file.
  if (!FileExists(m_strBmpFileName)) {
    TraceMessage("No bitmap to set as the wallpaper, the previous one stays: " + m_strBmpFileName);
    CurrentRunRecord().desktop = m_strBmpFileName + " could not be written";
    return;
  }
  // A desktop that reads its picture from the file again later is handed a
  // copy of its own, which a failed conversion deleting Walp.bmp leaves in
  // place. Without one (none wanted, or it cannot be made) it gets Walp.bmp.
  Desktop& desktop = *platform_.desktop;
  DesktopCopy copy(desktop.CopyFolder());
  const WallpaperOutcome outcome =
      desktop.SetWallpaper(m_strBmpFileName, copy.Make(m_strBmpFileName), m_WallpaperLook);
  copy.Settle(outcome.copy_taken);
  CurrentRunRecord().desktop = outcome.failure;
  CurrentRunRecord().desktop_notes = outcome.notes;
  if (m_yDebug && !outcome.failure.empty()) Trace("strWallpaperError.data()", outcome.failure);
}
