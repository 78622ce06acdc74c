#ifndef SUGGESTION_WEB_PROBE_H_
#define SUGGESTION_WEB_PROBE_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/network/internet.h"

// The bounds of a suggestion: one request at a time, at most so many and
// for so long in all, each fetch within its own limit.
struct ProbeLimits {
  int max_requests = 60;
  int64_t total_ms = 60000;
  int64_t fetch_ms = 15000;
  // A page is read up to this many bytes (a page that goes on for ever
  // costs no more); a picture only until its size is known.
  size_t max_page_bytes = 4u << 20;
  size_t max_picture_head_bytes = 256u << 10;
};

// What one fetch found.
struct Probed {
  bool answered = false;  // the server sent something (of any status)
  std::string error;      // why nothing usable came, "" when it did
  long status = 0;
  std::string content_type;
  std::string body;     // a page's text, or a picture's first bytes
  int format = -1;      // the picture format of the content, -1 for a page
  long long width = 0;  // the picture's size, 0 when unknown
  long long height = 0;
  bool cut_short = false;  // a page longer than max_page_bytes

  bool IsPicture() const { return format >= 0; }
  bool IsPage() const { return error.empty() && format < 0; }
};

// Fetches for the suggestion within its bounds, through the program's own
// transfers (its User-Agent, redirects followed). Main thread only; the
// internet and the clock outlive it.
class WebProbe {
 public:
  WebProbe(Internet& internet, std::function<int64_t()> clock, const ProbeLimits& limits);

  // One request: a page whole (up to its bound), a picture until its
  // header tells its size. Nothing is fetched once the bounds are spent.
  Probed Fetch(const std::string& url);

  // Requests made elsewhere on the suggestion's account (the proof's).
  void Count(int requests) { requests_ += requests; }
  int requests() const { return requests_; }
  int RequestsLeft() const { return limits_.max_requests - requests_; }
  int64_t ElapsedMs() const { return clock_() - start_ms_; }
  int64_t MsLeft() const { return limits_.total_ms - ElapsedMs(); }
  // A fetch's own limit: its bound, or the time left when that is shorter.
  int64_t FetchLimitMs() const;
  const ProbeLimits& limits() const { return limits_; }

 private:
  Internet& internet_;
  std::function<int64_t()> clock_;
  ProbeLimits limits_;
  int64_t start_ms_;
  int requests_ = 0;
};

#endif  // SUGGESTION_WEB_PROBE_H_
