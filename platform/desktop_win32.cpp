// The wallpaper on Windows: SystemParametersInfoA shows the bitmap at once and
// tells every window of the change. Without SPIF_UPDATEINIFILE the user's
// profile keeps its own setting.
#include <windows.h>

#include <string>

#include "platform/desktop.h"

namespace {

class Win32Desktop : public Desktop {
 public:
  std::string SetWallpaper(const std::string& path) override {
    std::string writable = path;  // the call takes a non-const buffer
    if (::SystemParametersInfoA(SPI_SETDESKWALLPAPER, 0, &writable[0], SPIF_SENDWININICHANGE)) {
      return "";
    }
    return "SystemParametersInfoA failed with error " + std::to_string(::GetLastError());
  }
};

}  // namespace

Desktop& SystemDesktop() {
  static Win32Desktop desktop;
  return desktop;
}
