#ifndef PLATFORM_DESKTOP_WINDOW_STATION_WIN32_H_
#define PLATFORM_DESKTOP_WINDOW_STATION_WIN32_H_

#include <string>

// The name of the run's window station when no screen shows it (a task set
// to run whether the user is logged on or not, a service): a wallpaper set
// there, or a box shown there, reaches nobody. "" for the interactive one,
// WinSta0, and when the question cannot be asked.
std::string HiddenWindowStation();

#endif  // PLATFORM_DESKTOP_WINDOW_STATION_WIN32_H_
