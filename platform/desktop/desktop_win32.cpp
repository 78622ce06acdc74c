// The wallpaper on Windows: SystemParametersInfoA shows the bitmap at once and
// tells every window of the change. Without SPIF_UPDATEINIFILE the user's
// profile keeps its own setting.
#include <windows.h>

#include <string>

#include "platform/desktop/desktop.h"
#include "platform/filesystem/user_files.h"

namespace {

class Win32Desktop : public Desktop {
 public:
  // The desktop reads its picture from the file again (at the next log-in):
  // its copies go to the user's local data folder
  // (%LOCALAPPDATA%\wallpaper-fetcher\), "" without one.
  std::string CopyFolder() override { return UserDataDir(); }

  WallpaperOutcome SetWallpaper(const std::string& bitmap, const std::string& copy) override {
    std::string file = copy.empty() ? bitmap : copy;  // the call takes a non-const buffer
    const bool taken = ::SystemParametersInfoA(SPI_SETDESKWALLPAPER, /*uiParam=*/0, &file[0],
                                               SPIF_UPDATEINIFILE | SPIF_SENDWININICHANGE) != 0;
    const DWORD error = ::GetLastError();
    if (taken) return {"", !copy.empty()};
    return {"SystemParametersInfoA failed with error " + std::to_string(error), false};
  }
};

}  // namespace

Desktop& SystemDesktop() {
  static Win32Desktop desktop;
  return desktop;
}
