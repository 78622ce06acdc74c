#include "support/fake_internet.h"

#include <algorithm>
#include <cstring>

namespace {

class FakeSession : public InternetSession {
 public:
  explicit FakeSession(FakeInternet& owner) : owner_(owner) {}
  Result Fetch(const std::string& url, char* buffer, size_t size, const Sink& sink) override {
    owner_.requested.push_back(url);
    if (url.rfind("nofile:", 0) == 0) return Result::kNoFileObject;
    auto found = owner_.bodies.find(url);
    if (found == owner_.bodies.end()) return Result::kFailed;
    const std::string& body = found->second;
    for (size_t done = 0; done < body.size();) {
      const size_t n = std::min(size, body.size() - done);
      std::memcpy(buffer, body.data() + done, n);
      if (!sink(n)) return Result::kFailed;
      done += n;
    }
    return Result::kComplete;
  }
  void Cancel() override {}

 private:
  FakeInternet& owner_;
};

}  // namespace

std::unique_ptr<InternetSession> FakeInternet::OpenSession() {
  return std::make_unique<FakeSession>(*this);
}
