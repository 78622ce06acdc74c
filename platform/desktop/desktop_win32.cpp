// The wallpaper on Windows: SystemParametersInfoA shows the bitmap at once and
// tells every window of the change. Without SPIF_UPDATEINIFILE the user's
// profile keeps its own setting.
#include <windows.h>

#include <string>

#include "platform/desktop/desktop.h"
#include "platform/filesystem/user_files.h"
#include "wallpaper/desktop_copy.h"

namespace {

class Win32Desktop : public Desktop {
 public:
  std::string SetWallpaper(const std::string& path) override {
    // The desktop is handed a copy of its own in the user's local data folder
    // (%LOCALAPPDATA%\wallpaper-fetcher\), under a new name each time, as on
    // Linux: a later picture that cannot be converted deletes Walp.bmp, not
    // the file the desktop shows. Without the folder it gets Walp.bmp.
    DesktopCopy copy(UserDataDir());
    const std::string made = copy.Make(path);
    std::string file = made.empty() ? path : made;  // the call takes a non-const buffer
    const bool taken =
        ::SystemParametersInfoA(SPI_SETDESKWALLPAPER, 0, &file[0], SPIF_SENDWININICHANGE) != 0;
    const DWORD error = ::GetLastError();
    copy.Settle(taken);
    if (taken) return "";
    return "SystemParametersInfoA failed with error " + std::to_string(error);
  }
};

}  // namespace

Desktop& SystemDesktop() {
  static Win32Desktop desktop;
  return desktop;
}
