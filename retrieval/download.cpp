#include "retrieval/download.h"

#include <system_error>
#include <thread>

#include "retrieval/download_worker.h"

PendingDownloadRecord PendingDownload;

Downloader::Downloader(Internet& internet, const std::function<int64_t()>& clock,
                       const Reporter& reporter, CrawlObserver& observer, CrawlMode mode)
    : internet_(internet), clock_(clock), reporter_(reporter), observer_(observer), mode_(mode) {}

int Downloader::RunWorker(FetchRecord* fetch) {
  Internet& internet = internet_;
  DownloadControl control;
  std::thread worker;
  int code;
  try {
    worker = std::thread(
        [&internet, &control] { control.Finish(DownloadThreadProc(internet, control)); });
    code = control.Status();
  } catch (const std::system_error&) {  // no thread to run it on
    code = kDownloadFailed;
  }

  // Elapsed real time, compared in whole seconds, and only while the worker
  // still runs: a worker that ended in time counts even if the limit has
  // passed since.
  const int64_t start = clock_();
  while (code == kDownloadStillActive) {
    if ((clock_() - start) / 1000 >= time_limit_) break;
    code = control.WaitForEnd(std::chrono::milliseconds(100));
  }
  if (code == kDownloadStillActive) {
    // Cancelled and joined here, so nothing of the transfer touches the
    // buffer or the file once this returns, and the file is closed.
    control.Cancel();
    worker.join();
    code = kDownloadTimedOut;
  } else if (worker.joinable()) {
    worker.join();
  }
  fetch->result = code;
  fetch->seconds = static_cast<double>(clock_() - start) / 1000;
  fetch->details = control.Details();
  return code;
}

int Downloader::Download(char* buffer, int buffer_size, const std::string& url,
                         const std::string& output_path) {
  PendingDownload.buffer = buffer;
  PendingDownload.buffer_size = buffer_size;
  PendingDownload.url = url;
  PendingDownload.output_path = output_path;

  FetchRecord fetch;
  fetch.url = url;
  fetch.time_limit = time_limit_;
  const int code = RunWorker(&fetch);
  observer_.OnFetch(fetch);

  switch (code) {
    case kDownloadTimedOut:
      reporter_.ShowMessage("Didn't have enough time to download file");
      return 0;
    case kDownloadNoFile:
      // A check reports it as a failed fetch and goes on with the next site.
      if (mode_ == CrawlMode::kCheck) return 0;
      throw Fatal{"Can't find file on the server...", ""};
    case kDownloadFailed:
      reporter_.ShowMessage("Something wrong while getting remote file");
      return 0;
    default:
      return code;
  }
}
