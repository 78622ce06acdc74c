#ifndef RETRIEVAL_DOWNLOAD_WORKER_H_
#define RETRIEVAL_DOWNLOAD_WORKER_H_

// The download's worker thread and what it shares with the thread that waits
// for it: the Downloader's own business (and its tests').

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "platform/network/internet.h"
#include "retrieval/crawl_observer.h"
#include "retrieval/download.h"

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

#endif  // RETRIEVAL_DOWNLOAD_WORKER_H_
