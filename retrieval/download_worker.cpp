#include "retrieval/download_worker.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <memory>

#include "platform/system_error.h"

void DownloadControl::Attach(InternetSession* session) {
  std::lock_guard<std::mutex> lock(mutex_);
  session_ = session;
  if (cancelled_) session_->Cancel();
}

void DownloadControl::Detach() {
  std::lock_guard<std::mutex> lock(mutex_);
  session_ = nullptr;
}

void DownloadControl::Finish(int result) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    status_ = result;
  }
  ended_.notify_all();
}

int DownloadControl::Status() {
  std::lock_guard<std::mutex> lock(mutex_);
  return status_;
}

int DownloadControl::WaitForEnd(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  ended_.wait_for(lock, timeout, [this] { return status_ != kDownloadStillActive; });
  return status_;
}

void DownloadControl::Cancel() {
  std::lock_guard<std::mutex> lock(mutex_);
  cancelled_ = true;
  if (session_ != nullptr) session_->Cancel();
}

void DownloadControl::SetDetails(const InternetSession::Details& details) {
  std::lock_guard<std::mutex> lock(mutex_);
  details_ = details;
}

InternetSession::Details DownloadControl::Details() {
  std::lock_guard<std::mutex> lock(mutex_);
  return details_;
}

namespace {

// The output file, opened when the first data arrives; closed by the
// destructor when a failure ends the transfer early.
class OutputFile {
 public:
  OutputFile() = default;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile() {
    if (file_ != nullptr) std::fclose(file_);
  }

  bool is_open() const { return file_ != nullptr; }

  // Creates or truncates `path` for binary writing.
  bool Open(const std::string& path) {
    file_ = std::fopen(path.c_str(), "wb");
    if (file_ == nullptr) return false;
    // The chunks are large already; a stdio buffer would only copy them.
    std::setvbuf(file_, nullptr, _IONBF, 0);
    return true;
  }

  bool Write(const char* data, size_t count) { return std::fwrite(data, 1, count, file_) == count; }

  bool Close() {
    std::FILE* file = file_;
    file_ = nullptr;
    return std::fclose(file) == 0;
  }

 private:
  std::FILE* file_ = nullptr;
};

// Keeps a session cancellable exactly while it is alive and running.
class AttachedSession {
 public:
  AttachedSession(DownloadControl& control, InternetSession* session) : control_(control) {
    control_.Attach(session);
  }
  ~AttachedSession() { control_.Detach(); }
  AttachedSession(const AttachedSession&) = delete;
  AttachedSession& operator=(const AttachedSession&) = delete;

 private:
  DownloadControl& control_;
};

// The count as a worker result: it must not read as a failure or as the
// still-running status.
int CountAsResult(int64_t total) {
  constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
  if (total > kMax) return static_cast<int>(kMax);
  if (total == kDownloadStillActive) return kDownloadStillActive - 1;
  return static_cast<int>(total);
}

}  // namespace

int DownloadThreadProc(Internet& internet, DownloadControl& control) {
  try {
    const PendingDownloadRecord& job = PendingDownload;
    std::unique_ptr<InternetSession> session = internet.OpenSession();
    if (!session) {
      InternetSession::Details details;
      details.error = "no Internet session could be opened";
      control.SetDetails(details);
      return kDownloadFailed;
    }

    const bool write_file = !job.output_path.empty();
    OutputFile output;
    int64_t total = 0;
    int write_error = 0;  // errno of a failed write of the file, for the reason
    const InternetSession::Sink sink = [&](size_t count) {
      if (write_file) {
        // Opened only now, so that a URL that cannot be opened leaves an
        // existing file as it was.
        errno = 0;
        if ((!output.is_open() && !output.Open(job.output_path)) ||
            !output.Write(job.buffer, count)) {
          write_error = errno;
          return false;
        }
      }
      total += static_cast<int64_t>(count);
      return true;
    };

    InternetSession::Result result;
    {
      AttachedSession attached(control, session.get());
      const size_t size = job.buffer_size > 0 ? static_cast<size_t>(job.buffer_size) : 0;
      result = session->Fetch(job.url, job.buffer, size, sink);
    }
    InternetSession::Details details = session->LastDetails();
    // The system's own words for a file that could not be written (a full
    // disk): what the user can mend.
    if (result == InternetSession::Result::kFailed && write_error != 0) {
      details.error = "the received data could not be written to " + job.output_path + ": " +
                      ErrnoText(write_error);
    }
    control.SetDetails(details);
    switch (result) {
      case InternetSession::Result::kComplete:
        break;
      case InternetSession::Result::kNoFileObject:
        return kDownloadNoFile;
      case InternetSession::Result::kCancelled:
        return kDownloadTimedOut;
      case InternetSession::Result::kFailed:
        return kDownloadFailed;
    }
    if (write_file) {
      // An empty resource still leaves an (empty) file; if it cannot be
      // created, nothing was lost and the result is 0.
      if (!output.is_open()) output.Open(job.output_path);
      errno = 0;
      if (output.is_open() && !output.Close()) {
        const int error = errno;
        details.error = "the received data could not be written to " + job.output_path +
                        (error != 0 ? ": " + ErrnoText(error) : std::string());
        control.SetDetails(details);
        return kDownloadFailed;
      }
    }
    return CountAsResult(total);
  } catch (...) {
    return kDownloadFailed;
  }
}
