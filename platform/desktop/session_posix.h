#ifndef PLATFORM_DESKTOP_SESSION_POSIX_H_
#define PLATFORM_DESKTOP_SESSION_POSIX_H_

#include <string>
#include <vector>

#include "platform/desktop/desktop_posix.h"

// A desktop program of this user seen running (xfdesktop, pcmanfm --desktop,
// gnome-shell, sway, ...): which desktop it belongs to, whether it draws the
// background, and how its session is reached, from its own environment.
struct SessionComponent {
  long pid = 0;
  std::string name;  // the program's file name
  DesktopKind kind = DesktopKind::kUnknown;
  // It paints the background, so its window covers the X root window (or
  // it is the compositor that shows the background on Wayland).
  bool draws = false;
  // Its command line.
  std::vector<std::string> arguments;
  // pcmanfm's and pcmanfm-qt's --profile, "" for the default.
  std::string profile;
  // "NAME=value" of DISPLAY, WAYLAND_DISPLAY, SWAYSOCK,
  // DBUS_SESSION_BUS_ADDRESS, XDG_RUNTIME_DIR, XDG_CURRENT_DESKTOP as it
  // has them, and of HOME and XDG_CONFIG_HOME (where it keeps its settings).
  std::vector<std::string> variables;
  // Seconds since boot of its start, to tell the newest log-in.
  double started = 0;

  // Its value of `variable`, "" when unset.
  std::string Variable(const std::string& variable) const;
};

// The components of one graphical session, those that draw first.
struct Session {
  // "x::0", "wayland:/run/user/1000/wayland-1", "sway:SOCKET"; "" for the
  // programs that name no display (a Wayland compositor such as gnome-shell).
  std::string key;
  std::vector<SessionComponent> components;

  // The first component's value of `variable` that is set, "" when none is.
  std::string Variable(const std::string& variable) const;
  // The component of `kind` that draws, nullptr when none runs.
  const SessionComponent* Drawer(DesktopKind kind) const;
  // The desktop whose component draws here, kUnknown when none does.
  DesktopKind DrawingKind() const;
  // "xfdesktop (1234) on :0", for the notes.
  std::string Described() const;
};

// Every graphical session of this user that `proc` (normally "/proc")
// shows, the newest first. Processes of other users are not looked at.
std::vector<Session> FindSessions(const std::string& proc = "/proc");

// The session key of an environment ("NAME=value" strings), as
// Session::key: by sway's socket, else its Wayland display, else its X
// display; "" when it names none.
std::string SessionKeyOf(const std::vector<std::string>& environment);

// ":0.0", "unix:0" and ":0" are one display: ":0".
std::string NormalizedDisplay(const std::string& display);

// True when the session's programs have `home` as their HOME (or either
// is unknown): another HOME is another person's log-in under the same
// user id, or a test's.
bool SharesHome(const Session& session, const std::string& home);

// The session a run in `environment` belongs to among `sessions` of its
// HOME (SharesHome): the one on its own display when it names one (nullptr
// when none is there), else the newest, preferring one whose desktop draws.
// *note says which was taken and why, "" when none.
const Session* ChooseSession(const std::vector<Session>& sessions,
                             const std::vector<std::string>& environment, std::string* note);

// `environment` with the session's way to reach its desktop: its display,
// Wayland display, sway socket, bus, runtime directory, desktop name and
// configuration folder replace the run's own (a bus or socket named by the
// run may be stale; the desktop's own is the one it listens on).
std::vector<std::string> WithSession(std::vector<std::string> environment, const Session& session);

#endif  // PLATFORM_DESKTOP_SESSION_POSIX_H_
