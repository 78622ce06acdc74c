#ifndef RETRIEVAL_DOWNLOAD_H_
#define RETRIEVAL_DOWNLOAD_H_

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>

#include "platform/network/internet.h"

// The one transfer in flight. DownloadFile fills it before it starts the
// worker; only the worker reads it until the worker has ended.
struct PendingDownloadRecord {
  std::string url;
  std::string output_path;  // empty: count the bytes, write no file
  char* buffer = nullptr;   // not owned
  int buffer_size = 0;
};

extern PendingDownloadRecord PendingDownload;

// Worker results besides a byte count (>= 0).
constexpr int kDownloadFailed = -1;        // the transfer or the file failed
constexpr int kDownloadNoFile = -2;        // no file object for the URL
constexpr int kDownloadTimedOut = -3;      // ended at the time limit
constexpr int kDownloadStillActive = 259;  // the status while the worker runs

// What the waiter and the worker share for one download: the worker's
// status and the way to cancel its transfer. Thread-safe.
class DownloadControl {
 public:
  DownloadControl() = default;
  DownloadControl(const DownloadControl&) = delete;
  DownloadControl& operator=(const DownloadControl&) = delete;

  // Worker: `session` may be cancelled until Detach. A session attached
  // after Cancel is cancelled at once.
  void Attach(InternetSession* session);
  void Detach();
  // Worker: delivers the result; wakes the waiter.
  void Finish(int result);

  // Waiter: the worker result, or kDownloadStillActive while it runs.
  int Status();
  // Waiter: Status() once the worker has ended or `timeout` has passed,
  // whichever comes first.
  int WaitForEnd(std::chrono::milliseconds timeout);
  // Waiter: makes the attached transfer, and any attached later, end soon
  // with kCancelled.
  void Cancel();

  // Worker: what the transfer learned. Waiter: read once the worker ended.
  void SetDetails(const InternetSession::Details& details);
  InternetSession::Details Details();

 private:
  std::mutex mutex_;
  std::condition_variable ended_;
  int status_ = kDownloadStillActive;
  InternetSession* session_ = nullptr;
  bool cancelled_ = false;
  InternetSession::Details details_;
};

// The worker: fetches PendingDownload through a session of `internet`,
// attached to `control` while it runs. Returns the byte count (259 delivered
// as 258, more than 2^31-1 delivered as 2^31-1) or kDownloadFailed,
// kDownloadNoFile, kDownloadTimedOut. The output file is created only once
// data has arrived or the transfer has completed, and is closed on return.
// Never traces or shows anything.
int DownloadThreadProc(Internet& internet, DownloadControl& control);

#endif  // RETRIEVAL_DOWNLOAD_H_
