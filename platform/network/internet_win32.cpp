// The transfer layer on WinInet: the connection the system is configured
// with, its proxy included (InternetOpenA with INTERNET_OPEN_TYPE_PRECONFIG,
// as the Linux build honours http_proxy), and InternetOpenUrlA with a binary
// transfer, read with InternetReadFile straight into the caller's buffer. WinInet follows
// redirects and checks certificates itself; an error page (a 404) opens like
// any other. Cancel closes the WinInet handles from the waiting thread and
// makes Fetch return at once (see Transfer). file: URLs are read here, as the
// libcurl layer reads them: only a regular file on disk.
#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <cctype>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/network/internet.h"
#include "platform/owned_handle.h"
#include "platform/system_error.h"

namespace {

constexpr char kAgent[] = "wallpaper-fetcher/" FETCHER_VERSION;

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The local path a file: URL names ("" when it names none): file:///C:/x,
// file://localhost/C:/x, file:/C:/x and file://C:/x all name C:\x; %XX
// escapes are decoded.
std::string LocalPathOf(const std::string& url) {
  std::string rest = url.substr(5);  // after "file:"
  if (rest.compare(0, 2, "//") == 0) {
    rest.erase(0, 2);
    const size_t slash = rest.find('/');
    std::string host = rest.substr(0, slash);
    for (char& c : host) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (host.size() == 2 && host[1] == ':') {
      // file://C:/x: the drive stands where the host would.
    } else if (host.empty() || host == "localhost") {
      rest = slash == std::string::npos ? "" : rest.substr(slash);
    } else {
      return "";  // a file on another machine
    }
  }
  const size_t end = rest.find_first_of("?#");
  if (end != std::string::npos) rest.erase(end);
  std::string path;
  for (size_t i = 0; i < rest.size(); ++i) {
    if (rest[i] == '%' && i + 2 < rest.size() && HexValue(rest[i + 1]) >= 0 &&
        HexValue(rest[i + 2]) >= 0) {
      path += static_cast<char>(HexValue(rest[i + 1]) * 16 + HexValue(rest[i + 2]));
      i += 2;
    } else {
      path += rest[i] == '/' ? '\\' : rest[i];
    }
  }
  if (path.size() >= 3 && path[0] == '\\' && path[2] == ':') path.erase(0, 1);
  if (path.find('\0') != std::string::npos) return "";
  return path;
}

// One transfer's WinInet side, shared by the session and the thread that
// makes the blocking WinInet calls. That thread reads each chunk into
// `chunk` and waits until the session has taken it. Wine's WinInet does not
// wake a blocked open or read when its handle is closed (Windows does), so a
// cancelled or abandoned transfer leaves the thread to end on its own: it
// then touches nothing but this state, which it keeps alive.
struct Transfer {
  std::mutex mutex;
  std::condition_variable changed;
  HINTERNET internet = nullptr;
  HINTERNET file = nullptr;
  std::vector<char> chunk;
  size_t filled = 0;         // bytes of `chunk` waiting to be taken
  bool ended = false;        // the whole body was read
  bool failed = false;       // the open or a read failed
  bool stopped = false;      // cancelled, refused by the sink, or abandoned
  bool cancelled = false;    // by Cancel
  long status = 0;           // the HTTP status, once the URL is open
  std::string content_type;  // as the server named it
  DWORD error = 0;           // WinInet's code when the open or a read failed

  // The URL's handle first, then the session's. Called with `mutex` held.
  void CloseHandles() {
    if (file != nullptr) ::InternetCloseHandle(file);
    if (internet != nullptr) ::InternetCloseHandle(internet);
    file = nullptr;
    internet = nullptr;
  }
};

// The HTTP status and content type of an open URL; 0 and "" for other
// schemes and when the server sent none.
void ReadResponseHead(HINTERNET file, long* status, std::string* content_type) {
  DWORD code = 0;
  DWORD length = sizeof code;
  if (::HttpQueryInfoA(file, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &code, &length,
                       nullptr)) {
    *status = static_cast<long>(code);
  }
  char type[256];
  length = sizeof type;
  if (::HttpQueryInfoA(file, HTTP_QUERY_CONTENT_TYPE, type, &length, nullptr) &&
      length < sizeof type) {
    content_type->assign(type, length);
  }
}

// WinInet's words for `code`, with the code.
std::string ErrorText(DWORD code) {
  const std::string text = "WinInet error " + std::to_string(code);
  const std::string said = WindowsErrorText(code, "wininet.dll");
  return said.empty() ? text : text + ": " + said;
}

void RunTransfer(const std::shared_ptr<Transfer>& transfer, const std::string& url) {
  HINTERNET internet;
  {
    std::lock_guard<std::mutex> lock(transfer->mutex);
    if (transfer->stopped) return;
    transfer->internet = ::InternetOpenA(kAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    internet = transfer->internet;
  }
  HINTERNET file = internet == nullptr ? nullptr
                                       : ::InternetOpenUrlA(internet, url.c_str(), nullptr, 0,
                                                            INTERNET_FLAG_TRANSFER_BINARY, 0);
  const DWORD open_error = file == nullptr ? ::GetLastError() : 0;
  long status = 0;
  std::string content_type;
  if (file != nullptr) ReadResponseHead(file, &status, &content_type);
  {
    std::lock_guard<std::mutex> lock(transfer->mutex);
    transfer->status = status;
    transfer->content_type = content_type;
    if (transfer->stopped) {
      if (file != nullptr) ::InternetCloseHandle(file);
      return;
    }
    transfer->file = file;
    if (file == nullptr) {
      transfer->failed = true;
      transfer->error = open_error;
      transfer->CloseHandles();
      transfer->changed.notify_all();
      return;
    }
  }
  const size_t size = transfer->chunk.size();
  const DWORD ask = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
  for (;;) {
    DWORD got = 0;
    const BOOL read = ::InternetReadFile(file, transfer->chunk.data(), ask, &got);
    const DWORD read_error = read ? 0 : ::GetLastError();
    std::unique_lock<std::mutex> lock(transfer->mutex);
    if (transfer->stopped) return;
    if (!read || got == 0) {
      transfer->failed = !read;
      transfer->error = read_error;
      transfer->ended = read != FALSE;
      transfer->CloseHandles();
      transfer->changed.notify_all();
      return;
    }
    transfer->filled = got;
    transfer->changed.notify_all();
    transfer->changed.wait(lock, [&] { return transfer->filled == 0 || transfer->stopped; });
    if (transfer->stopped) return;
  }
}

class WinInetSession : public InternetSession {
 public:
  ~WinInetSession() override {
    if (transfer_ == nullptr) return;
    std::lock_guard<std::mutex> lock(transfer_->mutex);
    transfer_->stopped = true;
    transfer_->CloseHandles();
    transfer_->changed.notify_all();
  }

  Result Fetch(const std::string& url, char* buffer, size_t size, const Sink& sink) override {
    details_ = Details();
    const Result result = FetchAndTell(url, buffer, size, sink);
    if (result == Result::kCancelled) details_.error = "cancelled";
    return result;
  }

  Details LastDetails() const override { return details_; }

  void Cancel() override {
    std::lock_guard<std::mutex> lock(mutex_);
    cancelled_ = true;
    if (transfer_ == nullptr) return;
    std::lock_guard<std::mutex> transfer_lock(transfer_->mutex);
    transfer_->stopped = true;
    transfer_->cancelled = true;
    transfer_->CloseHandles();
    transfer_->changed.notify_all();
  }

 private:
  // Fetch, saying in details_ why a transfer failed.
  Result FetchAndTell(const std::string& url, char* buffer, size_t size, const Sink& sink) {
    const std::string scheme = SchemeOf(url);
    // A name without a scheme is not guessed at: it is a malformed URL.
    if (scheme.empty()) {
      details_.error = url.empty() ? "the URL is empty" : "the URL has no scheme such as http:";
      return Result::kFailed;
    }
    if (scheme == "file") {
      const Result result = FetchLocalFile(url, buffer, size, sink);
      if (result == Result::kFailed) details_.error = "no regular file at this file: URL";
      return result;
    }
    if (scheme != "http" && scheme != "https" && scheme != "ftp") {
      details_.error = "the scheme \"" + scheme + "\" is not fetched";
      return Result::kNoFileObject;
    }
    if (size == 0) return Result::kFailed;  // nowhere to put a single byte
    if (cancelled_) return Result::kCancelled;
    Result refusal = Result::kFailed;
    const std::shared_ptr<Transfer> transfer = StartTransfer(url, size, &refusal);
    if (transfer == nullptr) return refusal;
    return ReceiveChunks(*transfer, buffer, sink);
  }

  // The transfer of `url` started on a thread of its own, chunks of `size`
  // bytes; null, with the result in *refusal, when the session was cancelled
  // or no thread started.
  std::shared_ptr<Transfer> StartTransfer(const std::string& url, size_t size, Result* refusal) {
    std::shared_ptr<Transfer> transfer;
    try {
      transfer = std::make_shared<Transfer>();
      transfer->chunk.resize(size);
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (cancelled_) {
          *refusal = Result::kCancelled;
          return nullptr;
        }
        transfer_ = transfer;
      }
      std::thread(RunTransfer, transfer, url).detach();
    } catch (...) {  // no memory or no thread
      *refusal = Result::kFailed;
      return nullptr;
    }
    return transfer;
  }

  // Hands each chunk the transfer's thread reads to the sink, until the
  // transfer ends, fails, is cancelled or the sink refuses a chunk.
  Result ReceiveChunks(Transfer& transfer, char* buffer, const Sink& sink) {
    for (;;) {
      size_t count = 0;
      {
        std::unique_lock<std::mutex> lock(transfer.mutex);
        transfer.changed.wait(lock, [&] {
          return transfer.filled > 0 || transfer.ended || transfer.failed || transfer.cancelled;
        });
        if (transfer.cancelled) return Result::kCancelled;
        details_.status = transfer.status;
        details_.content_type = transfer.content_type;
        if (transfer.filled == 0) {
          if (transfer.ended) return Result::kComplete;
          details_.error = ErrorText(transfer.error);
          return Result::kFailed;
        }
        count = transfer.filled;
        std::memcpy(buffer, transfer.chunk.data(), count);
        transfer.filled = 0;
        transfer.changed.notify_all();
      }
      bool accepted = false;
      try {
        accepted = sink(count);
      } catch (...) {
        accepted = false;
      }
      if (!accepted) {
        std::lock_guard<std::mutex> lock(transfer.mutex);
        transfer.stopped = true;
        transfer.CloseHandles();
        transfer.changed.notify_all();
        details_.error = "the received data could not be written";
        return Result::kFailed;
      }
    }
  }

  // A regular file on a disk only: a pipe or a device would block the worker
  // where no cancel reaches it, or pour out data without end.
  Result FetchLocalFile(const std::string& url, char* buffer, size_t size, const Sink& sink) {
    const std::string path = LocalPathOf(url);
    if (path.empty() || size == 0) return Result::kFailed;
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      return Result::kFailed;
    }
    const OwnedHandle file(::CreateFileA(path.c_str(), GENERIC_READ,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) return Result::kFailed;
    if (::GetFileType(file.get()) != FILE_TYPE_DISK) return Result::kFailed;
    const DWORD chunk = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
    for (;;) {
      if (cancelled_) return Result::kCancelled;
      DWORD got = 0;
      if (!::ReadFile(file.get(), buffer, chunk, &got, nullptr)) return Result::kFailed;
      if (got == 0) return Result::kComplete;
      try {
        if (!sink(got)) return Result::kFailed;
      } catch (...) {
        return Result::kFailed;
      }
    }
  }

  std::mutex mutex_;
  std::atomic<bool> cancelled_{false};
  std::shared_ptr<Transfer> transfer_;  // guarded by mutex_
  Details details_;                     // of the last Fetch; the fetching thread's only
};

class WinInetInternet : public Internet {
 public:
  std::unique_ptr<InternetSession> OpenSession() override {
    try {
      return std::make_unique<WinInetSession>();
    } catch (...) {
      return nullptr;
    }
  }
};

}  // namespace

Internet& SystemInternet() {
  static WinInetInternet internet;
  return internet;
}

// WinInet needs no process-wide start.
void InitSystemInternet() {}
