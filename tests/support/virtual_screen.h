#ifndef TESTS_SUPPORT_VIRTUAL_SCREEN_H_
#define TESTS_SUPPORT_VIRTUAL_SCREEN_H_

#include <sys/types.h>

#include <string>

// An Xvfb of its own, on a display number it chooses itself (-displayfd),
// for whole runs that must reach a screen; stopped when it goes.
class VirtualScreen {
 public:
  // `geometry`: the screen, such as "320x240x24".
  explicit VirtualScreen(const std::string& geometry = "320x240x24");
  ~VirtualScreen();
  VirtualScreen(const VirtualScreen&) = delete;
  VirtualScreen& operator=(const VirtualScreen&) = delete;

  // ":N", "" when Xvfb could not be started (`missing()` when it is not
  // installed).
  const std::string& display() const { return display_; }
  bool missing() const { return missing_; }

 private:
  pid_t pid_ = -1;
  std::string display_;
  bool missing_ = false;
};

#endif  // TESTS_SUPPORT_VIRTUAL_SCREEN_H_
