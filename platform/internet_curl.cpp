#include "platform/internet.h"

namespace {
class StubInternet : public Internet {
 public:
  std::unique_ptr<InternetSession> OpenSession() override { return nullptr; }
};
}  // namespace

Internet& SystemInternet() {
  static StubInternet internet;
  return internet;
}

void InitSystemInternet() {}
