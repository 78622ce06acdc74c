#ifndef PLATFORM_DESKTOP_PROCESS_WINDOW_H_
#define PLATFORM_DESKTOP_PROCESS_WINDOW_H_

// Brings forward the window of another running process of this user (the
// first instance of the program, a later one giving way to it). The window
// looked for is a top-level one of the process `process_id` or, on X11, of a
// child process of it (an open message box); on Windows a visible one is
// preferred. When none is found it looks once more a second later: the
// process may be opening its window just now. Without a display (POSIX: no
// DISPLAY, or it cannot be opened) or a window it does nothing.
//
// X11: activated with a _NET_ACTIVE_WINDOW request to the window manager,
// raised and given the input focus. Windows: SetForegroundWindow.
void BringWindowOfProcessForward(unsigned long process_id);

#endif  // PLATFORM_DESKTOP_PROCESS_WINDOW_H_
