#include "platform/desktop/window_station_win32.h"

#include <windows.h>

#include "platform/filesystem/wide_text_win32.h"

std::string HiddenWindowStation() {
  HWINSTA station = ::GetProcessWindowStation();
  USEROBJECTFLAGS flags = {};
  if (station == nullptr ||
      !::GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, nullptr) ||
      (flags.dwFlags & WSF_VISIBLE) != 0) {
    return "";
  }
  wchar_t name[256] = L"";
  if (!::GetUserObjectInformationW(station, UOI_NAME, name, sizeof name - sizeof name[0],
                                   nullptr)) {
    return "?";
  }
  return Utf8FromWide(name);
}
