// The wallpaper on Windows: SystemParametersInfoW shows the bitmap at once,
// records it in the user's profile (so that it is still the wallpaper after
// the next log-on) and tells every window of the change.
#include <windows.h>

#include <string>
#include <type_traits>
#include <vector>

#include "platform/desktop/desktop.h"
#include "platform/desktop/window_station_win32.h"
#include "platform/filesystem/user_files.h"
#include "platform/filesystem/wide_text_win32.h"
#include "platform/owned_handle.h"
#include "platform/system_error.h"

namespace {

using OwnedKey = Owned<std::remove_pointer_t<HKEY>, ::RegCloseKey>;

// The style in the words of HKCU\Control Panel\Desktop: WallpaperStyle and
// TileWallpaper, in the order fill, fit, stretch, center, tile, span (span
// needs Windows 8 or later).
struct RegistryStyle {
  const char* wallpaper_style;
  const char* tile_wallpaper;
};
constexpr RegistryStyle kRegistryStyles[] = {{"10", "0"}, {"6", "0"}, {"2", "0"},
                                             {"0", "0"},  {"0", "1"}, {"22", "0"}};

Outcome SetString(HKEY key, const char* name, const std::string& value) {
  const LONG status = ::RegSetValueExA(key, name, /*Reserved=*/0, REG_SZ,
                                       reinterpret_cast<const BYTE*>(value.c_str()),
                                       static_cast<DWORD>(value.size() + 1));
  return status == ERROR_SUCCESS ? Outcome::Ok()
                                 : WindowsError(std::string("cannot write ") + name, status);
}

// Writes the style (and the background colour, which fit's bars and
// center's surround show) where the wallpaper call reads it; nothing for
// kDesktops. Notes what was written.
void WriteStyle(const WallpaperLook& look, std::vector<std::string>* notes) {
  if (look.style == WallpaperStyle::kDesktops) return;
  const RegistryStyle& words = kRegistryStyles[static_cast<int>(look.style) - 1];
  HKEY raw = nullptr;
  const LONG opened = ::RegCreateKeyExA(HKEY_CURRENT_USER, "Control Panel\\Desktop",
                                        /*Reserved=*/0, /*lpClass=*/nullptr, /*dwOptions=*/0,
                                        KEY_SET_VALUE, /*lpSecurityAttributes=*/nullptr, &raw,
                                        /*lpdwDisposition=*/nullptr);
  const OwnedKey desktop(raw);
  if (opened != ERROR_SUCCESS) {
    notes->push_back(WindowsError("cannot open Control Panel\\Desktop", opened).message());
    return;
  }
  for (const Outcome& written : {SetString(desktop.get(), "WallpaperStyle", words.wallpaper_style),
                                 SetString(desktop.get(), "TileWallpaper", words.tile_wallpaper)}) {
    if (!written.ok()) notes->push_back(written.message());
  }
  notes->push_back(std::string("WallpaperStyle=") + words.wallpaper_style +
                   ", TileWallpaper=" + words.tile_wallpaper);
  HKEY raw_colors = nullptr;
  if (::RegCreateKeyExA(HKEY_CURRENT_USER, "Control Panel\\Colors", 0, nullptr, 0, KEY_SET_VALUE,
                        nullptr, &raw_colors, nullptr) == ERROR_SUCCESS) {
    const OwnedKey colors(raw_colors);
    const std::string rgb = std::to_string((look.background >> 16) & 255) + " " +
                            std::to_string((look.background >> 8) & 255) + " " +
                            std::to_string(look.background & 255);
    (void)SetString(colors.get(), "Background", rgb);
  }
  const int element = COLOR_DESKTOP;
  const COLORREF colour =
      RGB((look.background >> 16) & 255, (look.background >> 8) & 255, look.background & 255);
  (void)::SetSysColors(1, &element, &colour);
}

class Win32Desktop : public Desktop {
 public:
  // The desktop reads its picture from the file again (at the next log-in):
  // its copies go to the user's local data folder
  // (%LOCALAPPDATA%\wallpaper-fetcher\), "" without one.
  std::string CopyFolder() override { return UserDataDir(); }

  WallpaperOutcome SetWallpaper(const std::string& bitmap, const std::string& copy,
                                const WallpaperLook& look) override {
    std::vector<std::string> notes = {"desktop: Windows"};
    const std::string hidden = HiddenWindowStation();
    if (!hidden.empty()) {
      return {"no screen shows this run: its window station " + hidden + " is not interactive",
              false, notes, true};
    }
    WriteStyle(look, &notes);
    // The wide call: the name it records in the profile (Wallpaper under
    // HKCU\Control Panel\Desktop) is then whole, whatever the code pages.
    const std::string& name = copy.empty() ? bitmap : copy;
    std::wstring file = WideFromUtf8(name);  // the call takes a non-const buffer
    if (file.empty()) return {"the wallpaper's name is not UTF-8 text: " + name, false, notes};
    const bool taken = ::SystemParametersInfoW(SPI_SETDESKWALLPAPER, /*uiParam=*/0, &file[0],
                                               SPIF_UPDATEINIFILE | SPIF_SENDWININICHANGE) != 0;
    const DWORD error = ::GetLastError();
    if (taken) return {"", !copy.empty(), notes};
    return {"SystemParametersInfoW failed with error " + std::to_string(error), false, notes};
  }

  std::vector<std::string> Describe(const WallpaperLook& look) override {
    if (look.style == WallpaperStyle::kDesktops)
      return {"desktop: Windows", "style: the desktop's own (WallpaperStyle not set)"};
    const RegistryStyle& words = kRegistryStyles[static_cast<int>(look.style) - 1];
    return {"desktop: Windows", std::string("style: ") + WallpaperStyleName(look.style) +
                                    ", asked as WallpaperStyle=" + words.wallpaper_style +
                                    ", TileWallpaper=" + words.tile_wallpaper};
  }
};

}  // namespace

Desktop& SystemDesktop() {
  static Win32Desktop desktop;
  return desktop;
}
