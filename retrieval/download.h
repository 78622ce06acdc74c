#ifndef RETRIEVAL_DOWNLOAD_H_
#define RETRIEVAL_DOWNLOAD_H_

#include <cstdint>
#include <functional>
#include <string>

#include "diagnostics/reporter.h"
#include "platform/network/internet.h"
#include "retrieval/crawl_observer.h"

// Size of the transfer buffer that every download goes through.
constexpr int kTransferBufferSize = 640000;

// The one transfer in flight. Downloader::Download fills it before it starts
// the worker; only the worker reads it until the worker has ended.
struct PendingDownloadRecord {
  std::string url;
  std::string output_path;  // empty: count the bytes, write no file
  char* buffer = nullptr;   // not owned
  int buffer_size = 0;
};

extern PendingDownloadRecord PendingDownload;

// Fetches one URL at a time into a file, each within the time limit: the
// transfer runs on a worker thread of its own (retrieval/download_worker.h)
// while the caller's thread waits on `clock` (milliseconds that never go
// back) and cancels it when the limit passes. Every download is told to the
// observer. Main thread only; the references outlive it.
class Downloader {
 public:
  Downloader(Internet& internet, const std::function<int64_t()>& clock, const Reporter& reporter,
             CrawlObserver& observer, CrawlMode mode);

  // SecondsToDownload for the downloads from now on.
  void SetTimeLimit(long seconds) { time_limit_ = seconds; }

  // Fetches `url` into `output_path` through `buffer`. Returns the byte
  // count (259 reads as 258), 0 on failure or time-out (shown as a message
  // here). A URL that yields no file object throws Fatal in a run; a check
  // counts it as a failed fetch.
  int Download(char* buffer, int buffer_size, const std::string& url,
               const std::string& output_path);

 private:
  // Runs the worker until it ends or the limit passes: its result.
  int RunWorker(FetchRecord* fetch);

  Internet& internet_;
  const std::function<int64_t()>& clock_;
  const Reporter& reporter_;
  CrawlObserver& observer_;
  CrawlMode mode_;
  long time_limit_ = 0;
};

#endif  // RETRIEVAL_DOWNLOAD_H_
