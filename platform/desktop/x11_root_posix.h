#ifndef PLATFORM_DESKTOP_X11_ROOT_POSIX_H_
#define PLATFORM_DESKTOP_X11_ROOT_POSIX_H_

#include <string>

#include "platform/desktop/wallpaper_style.h"

// The X11 way to show a wallpaper when no desktop draws one: the bitmap,
// drawn in `look`'s style into each monitor (RandR 1.5 monitors, else the
// screen as one; kSpan once across them all; kDesktops as kFill) on the
// background colour, becomes the root window's background pixmap. The pixmap is kept after the
// program ends (RetainPermanent) and published as _XROOTPMAP_ID and ESETROOT_PMAP_ID so that
// terminals can use it as their transparency and the next program can free it; the previous one
// published that way is freed first.
//
// The work runs in a child process, so that neither a large bitmap nor a
// broken connection (on which Xlib ends the process) touches the program.
//
// `display_name` is an X display such as ":0"; `bitmap_path` names a bitmap
// this program wrote. Returns "" on success, else what failed.
std::string SetRootWindowBackground(const std::string& display_name, const std::string& bitmap_path,
                                    const WallpaperLook& look);

// The monitors SetRootWindowBackground would fill, as "WxH+X+Y" joined by
// ", " (the screen as one when the server names none), or why they cannot
// be read. Asked in a child process too.
std::string DescribeRootMonitors(const std::string& display_name);

// The picture at `bitmap_path` composed for the whole screen of
// `display_name` as the root window would show it (each monitor in `look`'s
// style on its background colour), written as a 24-bit bitmap to
// `out_path` (replaced, not written through: it may be a link to the
// bitmap), for a desktop that cannot draw the style itself and is handed a
// picture it shows unscaled. *monitors gets the monitors as
// DescribeRootMonitors says them. Returns "" on success, else what failed.
// Asked in a child process too.
std::string ComposeForScreen(const std::string& display_name, const std::string& bitmap_path,
                             const WallpaperLook& look, const std::string& out_path,
                             std::string* monitors);

// Whether a desktop's own window (_NET_WM_WINDOW_TYPE_DESKTOP, as xfdesktop,
// pcmanfm, caja and Plasma map) hides the root window's background, where
// a background set on the root window is seen by nobody. Returns "" when
// none is mapped, else what covers it ("xfdesktop's window") or why the
// display could not be asked. Asked in a child process too.
std::string RootWindowCover(const std::string& display_name);

#endif  // PLATFORM_DESKTOP_X11_ROOT_POSIX_H_
