// The window of another process on X11: found by its _NET_WM_PID, activated
// through the window manager, raised and focused. Every X error is ignored
// while this runs: windows come and go under the search.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <sys/types.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>

#include "platform/desktop/process_window.h"
#include "platform/owned_handle.h"

namespace {

pid_t ParentOf(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string content;
  std::getline(stat, content);
  const size_t close = content.rfind(')');
  if (close == std::string::npos) return 0;
  char state = 0;
  int parent = 0;
  if (std::sscanf(content.c_str() + close + 1, " %c %d", &state, &parent) != 2) return 0;
  return parent;
}

// A top-level window whose _NET_WM_PID is `pid` or a child process of it
// (an open message box); 0 when none.
Window FindWindowOf(Display* display, pid_t pid) {
  const Atom pid_atom = XInternAtom(display, "_NET_WM_PID", True);
  if (pid_atom == None) return 0;
  Window root = DefaultRootWindow(display), parent = 0, *children = nullptr;
  unsigned count = 0;
  if (!XQueryTree(display, root, &root, &parent, &children, &count)) return 0;
  const Owned<Window, XFree> owned_children(children);
  Window found = 0;
  for (unsigned i = 0; i < count && found == 0; ++i) {
    // Window managers reparent clients: look one level down as well.
    Window candidates[64];
    unsigned n = 0;
    candidates[n++] = children[i];
    Window r, p, *grand = nullptr;
    unsigned grand_count = 0;
    if (XQueryTree(display, children[i], &r, &p, &grand, &grand_count)) {
      const Owned<Window, XFree> owned_grand(grand);
      for (unsigned j = 0; j < grand_count && n < 64; ++j) candidates[n++] = grand[j];
    }
    for (unsigned k = 0; k < n && found == 0; ++k) {
      Atom type;
      int format;
      unsigned long items, after;
      unsigned char* data = nullptr;
      if (XGetWindowProperty(display, candidates[k], pid_atom, 0, 1, False, XA_CARDINAL, &type,
                             &format, &items, &after, &data) == Success &&
          data != nullptr) {
        const Owned<unsigned char, XFree> owned_data(data);
        if (items == 1 && format == 32) {
          const pid_t window_pid = static_cast<pid_t>(*reinterpret_cast<unsigned long*>(data));
          if (window_pid == pid || ParentOf(window_pid) == pid) found = candidates[k];
        }
      }
    }
  }
  return found;
}

void Activate(Display* display, Window window) {
  const Atom active = XInternAtom(display, "_NET_ACTIVE_WINDOW", False);
  XEvent event;
  std::memset(&event, 0, sizeof event);
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = active;
  event.xclient.format = 32;
  event.xclient.data.l[0] = 2;  // a request from a pager-like tool
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(display, DefaultRootWindow(display), False,
             SubstructureRedirectMask | SubstructureNotifyMask, &event);
  XRaiseWindow(display, window);
  XSetInputFocus(display, window, RevertToPointerRoot, CurrentTime);
  XFlush(display);
}

int IgnoreXErrors(Display*, XErrorEvent*) { return 0; }

}  // namespace

void BringWindowOfProcessForward(unsigned long process_id) {
  const pid_t pid = static_cast<pid_t>(process_id);
  const char* name = std::getenv("DISPLAY");
  if (name == nullptr || *name == '\0') return;
  const Owned<Display, XCloseDisplay> owned_display(XOpenDisplay(nullptr));
  Display* display = owned_display.get();
  if (display == nullptr) return;
  XErrorHandler previous = XSetErrorHandler(IgnoreXErrors);
  Window window = FindWindowOf(display, pid);
  if (window == 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    window = FindWindowOf(display, pid);
  }
  if (window != 0) Activate(display, window);
  XSync(display, False);
  XSetErrorHandler(previous);
}
