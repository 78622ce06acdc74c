#include "platform/desktop.h"

namespace {
class StubDesktop : public Desktop {
 public:
  std::string SetWallpaper(const std::string&) override { return "not built yet"; }
};
}  // namespace

Desktop& SystemDesktop() {
  static StubDesktop desktop;
  return desktop;
}
