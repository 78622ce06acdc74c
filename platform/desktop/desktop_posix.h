#ifndef PLATFORM_DESKTOP_DESKTOP_POSIX_H_
#define PLATFORM_DESKTOP_DESKTOP_POSIX_H_

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/desktop/desktop.h"

// The desktops a POSIX session may run, each with its own way to be given a
// wallpaper.
enum class DesktopKind {
  kUnknown,
  kGnome,     // also Unity, Budgie, Pantheon: gsettings org.gnome.desktop.background
  kCinnamon,  // gsettings org.cinnamon.desktop.background
  kMate,      // gsettings org.mate.background
  kKde,       // plasma-apply-wallpaperimage, or plasmashell's evaluateScript
  kXfce,      // xfconf-query on xfce4-desktop's backdrop properties
  kLxde,      // pcmanfm --set-wallpaper
  kLxqt,      // pcmanfm-qt --set-wallpaper
  kSway,      // swaymsg output * bg, else swaybg; also known by SWAYSOCK
  kWlroots,   // other wlroots compositors: swaybg
};

struct Session;
// This user's graphical sessions (FindSessions).
using SessionFinder = std::function<std::vector<Session>()>;

// From XDG_CURRENT_DESKTOP (`current_desktop`) and, when that names nothing
// known, DESKTOP_SESSION (`session`): lower-cased, matched by substring.
DesktopKind DetectDesktop(const std::string& current_desktop, const std::string& session);

// Sets the wallpaper with the desktop's own tools, run as child processes
// (no shell) found on PATH and killed when they take too long, in the
// environment of the user's graphical session found from its running
// desktop programs (ChooseSession), with the user's session bus when none
// is named. A desktop counts as having taken the picture only when the
// setting reads back as set and its drawing program runs for the session.
// When no desktop is recognised or it did not take the picture and an X
// display exists outside a Wayland session, the root window's background is
// set directly, from the bitmap itself (drawn once), unless a desktop
// window covers it. LXDE and LXQt are asked only while their desktop runs;
// a new swaybg must be running a moment after its start before the previous
// one is ended. Desktops that cache the picture by its path are made to read
// the file again. Every desktop recognised reads its picture from the file,
// also later, and wants its copies in the user's data directory of this
// environment (UserDataDirFor).
class PosixDesktop : public Desktop {
 public:
  // Reads the process's environment at each call and hands it on.
  PosixDesktop() = default;
  // Reads `environment` ("NAME=value" strings) instead; the programs it runs
  // get exactly these variables.
  explicit PosixDesktop(std::vector<std::string> environment)
      : environment_(std::move(environment)) {}

  std::string CopyFolder() override;
  WallpaperOutcome SetWallpaper(const std::string& bitmap, const std::string& copy,
                                const WallpaperLook& look) override;
  std::vector<std::string> Describe(const WallpaperLook& look) override;

  // How long one desktop tool may run before it is killed.
  void set_command_timeout_ms(int timeout_ms) { command_timeout_ms_ = timeout_ms; }
  // How long a desktop may take to save what it was told, or to start the
  // program that shows it, before it counts as not having taken it.
  void set_settle_ms(int settle_ms) { settle_ms_ = settle_ms; }
  // Where this user's sessions are looked for; FindSessions() by default.
  void set_session_finder(SessionFinder find_sessions) {
    find_sessions_ = std::move(find_sessions);
  }

 private:
  std::vector<std::string> Environment() const;
  std::vector<Session> Sessions() const;
  // The environment the desktop's tools get: the run's own with the
  // session's way to reach the desktop (ChooseSession, WithSession) and
  // the user's bus when none is named; *chosen is the session, or nullptr.
  std::vector<std::string> SessionEnvironment(std::vector<Session>* sessions,
                                              const Session** chosen,
                                              std::vector<std::string>* notes) const;

  std::optional<std::vector<std::string>> environment_;
  SessionFinder find_sessions_;
  int command_timeout_ms_ = 10000;
  int settle_ms_ = 5000;
};

// How long a new swaybg must live before it counts as showing the picture.
constexpr int kSwaybgSettleMs = 300;

#endif  // PLATFORM_DESKTOP_DESKTOP_POSIX_H_
