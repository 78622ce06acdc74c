#include "suggestion/web_probe.h"

#include <chrono>
#include <future>
#include <memory>
#include <thread>
#include <vector>

#include "diagnostics/format.h"
#include "picture/formats.h"
#include "picture/header_size.h"

namespace {

// What the worker fills while the transfer runs; read once it has ended.
struct Transfer {
  std::string body;
  int format = -1;
  bool sized = false;
  long long width = 0;
  long long height = 0;
  bool cut_short = false;
};

// The sink's decision on the bytes so far: false ends the transfer, which
// has then brought what is wanted.
bool Enough(Transfer& transfer, const ProbeLimits& limits) {
  if (transfer.format < 0 && transfer.body.size() >= kPictureSignatureBytes)
    transfer.format = PictureFormatFromContent(transfer.body.substr(0, kPictureSignatureBytes));
  if (transfer.format >= 0) {
    transfer.sized =
        PictureSizeFromHead(transfer.body, transfer.format, &transfer.width, &transfer.height);
    return transfer.sized || transfer.body.size() >= limits.max_picture_head_bytes;
  }
  transfer.cut_short = transfer.body.size() >= limits.max_page_bytes;
  return transfer.cut_short;
}

}  // namespace

WebProbe::WebProbe(Internet& internet, std::function<int64_t()> clock, const ProbeLimits& limits)
    : internet_(internet), clock_(std::move(clock)), limits_(limits), start_ms_(clock_()) {}

int64_t WebProbe::FetchLimitMs() const {
  const int64_t left = MsLeft();
  return left < limits_.fetch_ms ? left : limits_.fetch_ms;
}

Probed WebProbe::Fetch(const std::string& url) {
  Probed probed;
  if (RequestsLeft() <= 0 || FetchLimitMs() <= 0) {
    probed.error = "the suggestion's bounds are spent";
    return probed;
  }
  ++requests_;
  const std::shared_ptr<InternetSession> session = internet_.OpenSession();
  auto transfer = std::make_shared<Transfer>();
  auto buffer = std::make_shared<std::vector<char>>(64 * 1024);
  const ProbeLimits limits = limits_;
  std::packaged_task<InternetSession::Result()> task([session, transfer, buffer, url, limits] {
    return session->Fetch(url, buffer->data(), buffer->size(), [&](size_t count) {
      transfer->body.append(buffer->data(), count);
      return !Enough(*transfer, limits);
    });
  });
  std::future<InternetSession::Result> done = task.get_future();
  std::thread worker(std::move(task));
  const int64_t limit = FetchLimitMs();
  const bool in_time = done.wait_for(std::chrono::milliseconds(limit)) == std::future_status::ready;
  if (!in_time) session->Cancel();
  worker.join();
  const InternetSession::Result result = done.get();
  const InternetSession::Details details = session->LastDetails();
  probed.status = details.status;
  probed.content_type = details.content_type;
  probed.format = transfer->format;
  probed.width = transfer->width;
  probed.height = transfer->height;
  probed.cut_short = transfer->cut_short;
  probed.body = std::move(transfer->body);
  probed.answered = !probed.body.empty() || details.status != 0;
  const bool stopped_on_purpose =
      transfer->sized || transfer->cut_short ||
      (transfer->format >= 0 && probed.body.size() >= limits.max_picture_head_bytes);
  if (!in_time) {
    probed.error = Format("no complete answer within %lld s", static_cast<long long>(limit / 1000));
  } else if (result != InternetSession::Result::kComplete && !stopped_on_purpose) {
    probed.error = details.error.empty() ? "the transfer failed" : details.error;
  } else if (details.status >= 400) {
    probed.error = Format("the server answered HTTP %ld", details.status);
  } else if (probed.body.empty()) {
    probed.error = "nothing was received";
  }
  return probed;
}
