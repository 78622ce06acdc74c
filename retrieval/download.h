#ifndef RETRIEVAL_DOWNLOAD_H_
#define RETRIEVAL_DOWNLOAD_H_

#include <string>

class Internet;

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
constexpr int kDownloadFailed = -1;      // the transfer or the file failed
constexpr int kDownloadNoFile = -2;      // no file object for the URL
constexpr int kDownloadTimedOut = -3;    // ended at the time limit
constexpr int kDownloadStillActive = 259;  // never a final result

// The worker: fetches PendingDownload through a session of `internet`.
// Returns a byte count (259 delivered as 258, saturated at 2^31-1) or one of
// the results above. `session_out`, when given, receives the session while it
// runs so that the waiter can cancel it.
class InternetSession;
int DownloadThreadProc(Internet& internet, InternetSession** session_out);

#endif  // RETRIEVAL_DOWNLOAD_H_
