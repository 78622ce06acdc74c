#ifndef PLATFORM_NETWORK_INTERNET_H_
#define PLATFORM_NETWORK_INTERNET_H_

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

// One transfer of one URL. Abstract so the download's timing and result rules
// are shared by libcurl (Linux) and WinInet (Windows) and testable with fakes.
//
// Fetch runs on the download worker thread; Cancel may be called from any
// thread while Fetch runs.
class InternetSession {
 public:
  enum class Result {
    kComplete,      // the whole body was delivered
    kNoFileObject,  // the URL's scheme is not supported: no file object
    kFailed,        // bad URL, DNS, refused, reset, a sink failure, ...
    kCancelled,     // Cancel() was called
  };

  // Called each time buffer[0, count) holds the next `count` (> 0) bytes of
  // the body. Returns false to fail the transfer (a write error).
  using Sink = std::function<bool(size_t count)>;

  virtual ~InternetSession() = default;

  // Fetches `url` with a direct connection (no proxy), delivering the body
  // through `buffer` (of `size` bytes, owned by the caller) to `sink`.
  // The response status is not examined: an error page is content.
  virtual Result Fetch(const std::string& url, char* buffer, size_t size, const Sink& sink) = 0;

  // Makes a running Fetch return kCancelled soon (at once where possible).
  virtual void Cancel() = 0;

  // What the last Fetch learned besides the body, for reports: a check of a
  // site shows it; a run does not look at it. A layer that learns nothing
  // leaves it empty.
  struct Details {
    long status = 0;           // the HTTP response status of the last answer, 0 when none
    std::string content_type;  // as the server named it, "" when it did not
    std::string error;         // why the transfer failed, in words; "" when it did not
  };
  virtual Details LastDetails() const { return Details(); }
};

class Internet {
 public:
  virtual ~Internet() = default;
  virtual std::unique_ptr<InternetSession> OpenSession() = 0;
};

// libcurl on Linux, WinInet on Windows.
Internet& SystemInternet();

// The scheme of `url` in lower case ("" when it has none): the letters
// before the first ':' if they form a scheme name.
std::string SchemeOf(const std::string& url);
// Once, in main, before any thread starts.
void InitSystemInternet();

#endif  // PLATFORM_NETWORK_INTERNET_H_
