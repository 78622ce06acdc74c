// The transfer layer on libcurl: one multi handle and one easy handle per
// session, so that Cancel can wake a transfer that waits on an idle
// connection (curl_multi_wakeup) instead of waiting for the next progress
// callback.
#include <curl/curl.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstring>

#include "platform/network/internet.h"
#include "platform/owned_handle.h"

namespace {

// Protocols this layer fetches; any other scheme has no file object.
const char kProtocols[] = "http,https,ftp,ftps,file";
// Redirects go where a browser would follow them, and no further.
const char kRedirectProtocols[] = "http,https";
const long kMaxRedirects = 10;
// The largest receive buffer libcurl accepts.
const long kReceiveBufferSize = 512 * 1024;
// How long one wait on the sockets may last; Cancel wakes it at once.
const int kPollMilliseconds = 1000;

using MultiPtr = Owned<CURLM, curl_multi_cleanup>;
using EasyPtr = Owned<CURL, curl_easy_cleanup>;

bool IsSupportedScheme(const std::string& scheme) {
  return scheme == "http" || scheme == "https" || scheme == "ftp" || scheme == "ftps" ||
         scheme == "file";
}

// Whether a file: URL names a regular file. A pipe or a device would block
// the worker where no cancel reaches it (a FIFO), or pour out data without end
// (/dev/zero); a directory is no page either.
bool IsRegularLocalFile(const std::string& url) {
  const Owned<CURLU, curl_url_cleanup> parts(curl_url());
  if (!parts) return false;
  char* path = nullptr;
  if (curl_url_set(parts.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK ||
      curl_url_get(parts.get(), CURLUPART_PATH, &path, CURLU_URLDECODE) != CURLUE_OK)
    return false;
  const Owned<char, curl_free> owned_path(path);
  struct stat status;
  return ::stat(path, &status) == 0 && S_ISREG(status.st_mode);
}

// Collects the body in the caller's buffer and hands it on in whole buffers:
// the sink sees a buffer when the next bytes would not fit and at the end.
class BufferedBody {
 public:
  BufferedBody(char* buffer, size_t size, const InternetSession::Sink& sink)
      : buffer_(buffer), size_(size), sink_(sink) {}

  // False when the sink refused the data.
  bool Append(const char* data, size_t length) {
    while (length > 0) {
      if (filled_ == size_ && !Flush()) return false;
      if (size_ == 0) return false;  // nowhere to put a single byte
      const size_t n = std::min(length, size_ - filled_);
      std::memcpy(buffer_ + filled_, data, n);
      filled_ += n;
      data += n;
      length -= n;
    }
    return true;
  }

  bool Flush() {
    if (filled_ == 0) return true;
    const size_t count = filled_;
    filled_ = 0;
    try {
      return sink_(count);
    } catch (...) {  // nothing may unwind through libcurl
      return false;
    }
  }

 private:
  char* buffer_;
  size_t size_;
  const InternetSession::Sink& sink_;
  size_t filled_ = 0;
};

size_t OnBody(char* data, size_t one, size_t count, void* user) {
  const size_t length = one * count;
  return static_cast<BufferedBody*>(user)->Append(data, length) ? length : 0;
}

class CurlSession : public InternetSession {
 public:
  CurlSession(MultiPtr multi, EasyPtr easy) : multi_(std::move(multi)), easy_(std::move(easy)) {}

  Result Fetch(const std::string& url, char* buffer, size_t size, const Sink& sink) override {
    details_ = Details();
    Result refusal = Result::kFailed;
    if (RefusesUrl(url, &refusal)) return refusal;
    if (cancelled_) return Cancelled();

    BufferedBody body(buffer, size, sink);
    if (!SetUpTransfer(url, &body)) {
      details_.error = "the transfer could not be set up";
      return Result::kFailed;
    }
    if (curl_multi_add_handle(multi_.get(), easy_.get()) != CURLM_OK) return Result::kFailed;
    CURLcode outcome = CURLE_OK;
    const bool finished = RunTransfer(&outcome);
    curl_multi_remove_handle(multi_.get(), easy_.get());
    LearnAnswer();
    return Conclude(finished, outcome, &body);
  }

  Details LastDetails() const override { return details_; }

  void Cancel() override {
    cancelled_ = true;
    curl_multi_wakeup(multi_.get());
  }

 private:
  Result Cancelled() {
    details_.error = "cancelled";
    return Result::kCancelled;
  }

  // True, with the result in *refusal and the reason in details_, when the
  // URL is not fetched at all.
  bool RefusesUrl(const std::string& url, Result* refusal) {
    const std::string scheme = SchemeOf(url);
    if (!scheme.empty() && !IsSupportedScheme(scheme)) {
      details_.error = "the scheme \"" + scheme + "\" is not fetched";
      *refusal = Result::kNoFileObject;
      return true;
    }
    // A name without a scheme is not guessed at: it is a malformed URL.
    if (scheme.empty()) {
      details_.error = url.empty() ? "the URL is empty" : "the URL has no scheme such as http:";
      *refusal = Result::kFailed;
      return true;
    }
    if (scheme == "file" && !IsRegularLocalFile(url)) {
      details_.error = "no regular file at this file: URL";
      *refusal = Result::kFailed;
      return true;
    }
    return false;
  }

  // Sets every option of the easy handle for one transfer into *body; false
  // when libcurl refused one.
  bool SetUpTransfer(const std::string& url, BufferedBody* body) {
    curl_easy_reset(easy_.get());
    bool options_ok = true;
    auto set = [&](CURLcode code) { options_ok = options_ok && code == CURLE_OK; };
    set(curl_easy_setopt(easy_.get(), CURLOPT_URL, url.c_str()));
    set(curl_easy_setopt(easy_.get(), CURLOPT_PROTOCOLS_STR, kProtocols));
    set(curl_easy_setopt(easy_.get(), CURLOPT_REDIR_PROTOCOLS_STR, kRedirectProtocols));
    set(curl_easy_setopt(easy_.get(), CURLOPT_FOLLOWLOCATION, 1L));
    set(curl_easy_setopt(easy_.get(), CURLOPT_MAXREDIRS, kMaxRedirects));
    // "" disables every proxy, those named by the environment included.
    set(curl_easy_setopt(easy_.get(), CURLOPT_PROXY, ""));
    set(curl_easy_setopt(easy_.get(), CURLOPT_USERAGENT, "wallpaper-fetcher/" FETCHER_VERSION));
    set(curl_easy_setopt(easy_.get(), CURLOPT_SSL_VERIFYPEER, 1L));
    set(curl_easy_setopt(easy_.get(), CURLOPT_SSL_VERIFYHOST, 2L));
    set(curl_easy_setopt(easy_.get(), CURLOPT_BUFFERSIZE, kReceiveBufferSize));
    set(curl_easy_setopt(easy_.get(), CURLOPT_WRITEFUNCTION, OnBody));
    set(curl_easy_setopt(easy_.get(), CURLOPT_WRITEDATA, body));
    // The progress callback is the second way out of a cancelled transfer;
    // signals are no way to time out on a worker thread.
    set(curl_easy_setopt(easy_.get(), CURLOPT_NOSIGNAL, 1L));
    set(curl_easy_setopt(easy_.get(), CURLOPT_NOPROGRESS, 0L));
    set(curl_easy_setopt(easy_.get(), CURLOPT_XFERINFOFUNCTION, OnProgress));
    set(curl_easy_setopt(easy_.get(), CURLOPT_XFERINFODATA, this));
    error_buffer_[0] = '\0';
    set(curl_easy_setopt(easy_.get(), CURLOPT_ERRORBUFFER, error_buffer_));
#if LIBCURL_VERSION_NUM >= 0x075700
    // A cancelled name lookup is left to end on its own instead of joined.
    curl_easy_setopt(easy_.get(), CURLOPT_QUICK_EXIT, 1L);
#endif
    return options_ok;
  }

  // Drives the added transfer until it ends or is cancelled: true when it
  // ended, with libcurl's result in *outcome.
  bool RunTransfer(CURLcode* outcome) {
    while (!cancelled_) {
      int running = 0;
      if (curl_multi_perform(multi_.get(), &running) != CURLM_OK) return false;
      if (running == 0) {
        int queued = 0;
        while (CURLMsg* message = curl_multi_info_read(multi_.get(), &queued)) {
          if (message->msg == CURLMSG_DONE) *outcome = message->data.result;
        }
        return true;
      }
      if (curl_multi_poll(multi_.get(), nullptr, 0, kPollMilliseconds, nullptr) != CURLM_OK)
        return false;
    }
    return false;
  }

  // The result of a transfer that ran, with the reason of a failure in
  // details_.
  Result Conclude(bool finished, CURLcode outcome, BufferedBody* body) {
    if (finished && outcome == CURLE_OK) {
      if (body->Flush()) return Result::kComplete;
      details_.error = "the received data could not be written";
      return Result::kFailed;
    }
    if (cancelled_) return Cancelled();
    if (!finished) {
      details_.error = "the transfer broke off";
    } else if (outcome == CURLE_WRITE_ERROR) {
      details_.error = "the received data could not be written";
    } else {
      details_.error = error_buffer_[0] != '\0' ? error_buffer_ : curl_easy_strerror(outcome);
    }
    return Result::kFailed;
  }

  // The status and content type of the last answer, whatever became of the
  // transfer.
  void LearnAnswer() {
    long status = 0;
    if (curl_easy_getinfo(easy_.get(), CURLINFO_RESPONSE_CODE, &status) == CURLE_OK)
      details_.status = status;
    char* type = nullptr;
    if (curl_easy_getinfo(easy_.get(), CURLINFO_CONTENT_TYPE, &type) == CURLE_OK && type != nullptr)
      details_.content_type = type;
  }

  static int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<CurlSession*>(user)->cancelled_ ? 1 : 0;
  }

  MultiPtr multi_;
  EasyPtr easy_;  // after multi_: cleaned up before it
  std::atomic<bool> cancelled_{false};
  Details details_;  // of the last Fetch; the fetching thread's only
  char error_buffer_[CURL_ERROR_SIZE] = {};
};

class CurlInternet : public Internet {
 public:
  CurlInternet() { InitSystemInternet(); }

  std::unique_ptr<InternetSession> OpenSession() override {
    MultiPtr multi(curl_multi_init());
    EasyPtr easy(curl_easy_init());
    if (!multi || !easy) return nullptr;
    try {
      return std::make_unique<CurlSession>(std::move(multi), std::move(easy));
    } catch (...) {
      return nullptr;
    }
  }
};

}  // namespace

Internet& SystemInternet() {
  static CurlInternet internet;
  return internet;
}

void InitSystemInternet() {
  // Once per process, whether main or the first SystemInternet() comes first.
  static const CURLcode initialised = curl_global_init(CURL_GLOBAL_DEFAULT);
  (void)initialised;
}
