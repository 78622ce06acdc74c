// The timed download against a real HTTP server on 127.0.0.1, and the
// worker's counting rules through fakes behind the Internet seam where no
// real server can reach them.
#include "retrieval/download.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/platform_services.h"
#include "diagnostics/format.h"
#include "diagnostics/reporter.h"
#include "retrieval/download_worker.h"
#include "support/http_server.h"
#include "support/test_support.h"

namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

const char kFailedText[] = "Something wrong while getting remote file";
const char kTimeText[] = "Didn't have enough time to download file";

// Bytes that differ from position to position, so that a chunk written out
// of place or twice shows.
std::string Pattern(size_t size) {
  std::string bytes(size, '\0');
  uint32_t state = 12345;
  for (size_t i = 0; i < size; ++i) {
    state = state * 214013u + 2531011u;
    bytes[i] = static_cast<char>(state >> 16);
  }
  return bytes;
}

// How many of this process's descriptors refer to `path`.
int DescriptorsOpenOn(const std::string& path) {
  int count = 0;
  std::error_code ignored;
  for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd", ignored))
    count += std::filesystem::read_symlink(fd.path(), ignored) == path;
  return count;
}

// A TCP port on 127.0.0.1 that refuses connections for as long as this
// lives: bound, never listening, so no one else can take it meanwhile.
class RefusingPort {
 public:
  RefusingPort() {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    if (fd_ >= 0 && bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
        getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
      port_ = ntohs(address.sin_port);
    }
  }
  ~RefusingPort() {
    if (fd_ >= 0) close(fd_);
  }
  int port() const { return port_; }

 private:
  int fd_ = -1;
  int port_ = 0;
};

// Sets environment variables for its lifetime, then puts back what was there.
struct ScopedEnvironment {
  std::vector<std::pair<std::string, std::optional<std::string>>> saved;
  void Set(const std::string& name, const std::string& value) {
    const char* old = std::getenv(name.c_str());
    saved.emplace_back(name, old != nullptr ? std::optional<std::string>(old) : std::nullopt);
    setenv(name.c_str(), value.c_str(), 1);
  }
  ~ScopedEnvironment() {
    for (auto it = saved.rbegin(); it != saved.rend(); ++it) {
      if (it->second) setenv(it->first.c_str(), it->second->c_str(), 1);
      if (!it->second) unsetenv(it->first.c_str());
    }
  }
};

class DownloadTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(server_.Start()); }

  // A run's download of `url` into `path`, in debug mode, under the limit.
  int Download(const std::string& url, const std::string& path) {
    const Platform platform = fakes_.Get();
    const Reporter reporter(fakes_.console, fakes_.boxes, /*debug=*/true,
                            /*suppress_messages=*/false, "wallpaper-fetcher");
    CrawlObserver deaf;
    Downloader downloader(*platform.internet, platform.clock, reporter, deaf, CrawlMode::kRun);
    downloader.SetTimeLimit(seconds_to_download_);
    return downloader.Download(buffer_.data(), kTransferBufferSize, url, path);
  }
  // The boxes shown so far as "caption: text" lines; forgets them.
  std::string TakeBoxes() {
    std::string shown;
    for (const auto& box : fakes_.boxes.boxes) {
      shown += (box.error ? "error " : "") + box.caption + ": " + box.text + "\n";
    }
    fakes_.boxes.boxes.clear();
    return shown;
  }
  static std::string Box(const std::string& text) { return "Message: " + text + "\n"; }

  ScopedTempDir dir_;
  LocalHttpServer server_;
  FakePlatform fakes_;
  long seconds_to_download_ = 60;
  std::vector<char> buffer_ = std::vector<char>(kTransferBufferSize);
};

TEST_F(DownloadTest, BodiesArriveWholeAndInOrder) {
  const std::string out = dir_.Join("temp.file");

  // 259 bytes are written but counted as 258, which the status can't be
  // mistaken for.
  server_.ServeBytes("/259", Pattern(259));
  EXPECT_EQ(258, Download(server_.Url("/259"), out));
  EXPECT_EQ(Pattern(259), ReadFileBytes(out));
  server_.ServeBytes("/260", Pattern(260));
  EXPECT_EQ(260, Download(server_.Url("/260"), out));

  // Several buffers' worth, replacing a longer file.
  WriteFileBytes(out, std::string(2000000, 'x'));
  server_.ServeBytes("/big.jpg", Pattern(1500001), "image/jpeg");
  EXPECT_EQ(1500001, Download(server_.Url("/big.jpg"), out));
  EXPECT_EQ(Pattern(1500001), ReadFileBytes(out));

  // Arriving slowly in pieces that straddle the buffer's end.
  server_.Trickle("/slow", Pattern(700001), 300000, milliseconds(150));
  EXPECT_EQ(700001, Download(server_.Url("/slow"), out));
  EXPECT_EQ(Pattern(700001), ReadFileBytes(out));

  // The status is not examined: an error page is content.
  server_.ServeBytes("/missing", "<html>no such page</html>", "text/html", 404);
  EXPECT_EQ(25, Download(server_.Url("/missing"), out));
  EXPECT_EQ("<html>no such page</html>", ReadFileBytes(out));

  // Redirects are followed, up to ten of them.
  server_.ServeBytes("/hop0", "arrived");
  for (int i = 1; i <= 11; ++i) {
    server_.Redirect("/hop" + std::to_string(i), "/hop" + std::to_string(i - 1));
  }
  EXPECT_EQ(7, Download(server_.Url("/hop10"), out));
  EXPECT_EQ("arrived", ReadFileBytes(out));
  EXPECT_EQ("", TakeBoxes());
  EXPECT_EQ(0, Download(server_.Url("/hop11"), out));
  EXPECT_EQ(Box(kFailedText), TakeBoxes());

  const auto requests = server_.Requests();
  ASSERT_FALSE(requests.empty());
  EXPECT_EQ("GET", requests.front().method);
  EXPECT_EQ("wallpaper-fetcher/" FETCHER_VERSION, requests.front().user_agent);
  EXPECT_EQ(0, DescriptorsOpenOn(out));
}

TEST_F(DownloadTest, EmptyResourcesAndEmptyOutputPaths) {
  const std::string out = dir_.Join("temp.file");
  server_.ServeBytes("/empty", "");
  server_.ServeBytes("/data", Pattern(640001));

  WriteFileBytes(out, "old page");
  EXPECT_EQ(0, Download(server_.Url("/empty"), out));
  EXPECT_TRUE(Exists(out));
  EXPECT_EQ("", ReadFileBytes(out));

  // Nothing at all to write: no file, no failure, even where none can be made.
  EXPECT_EQ(0, Download(server_.Url("/empty"), dir_.Join("no/such/dir/temp.file")));

  // No output path: counted, not written.
  const std::string subdir = dir_.Join("counted/");
  ASSERT_EQ(0, system(("mkdir " + subdir).c_str()));
  EXPECT_EQ(640001, Download(server_.Url("/data"), ""));
  EXPECT_EQ(0, Download(server_.Url("/empty"), ""));
  EXPECT_EQ(0, EntriesIn(subdir));
  EXPECT_EQ(2, EntriesIn(dir_.path()));  // temp.file and counted/ only

  EXPECT_EQ("", TakeBoxes());
}

TEST_F(DownloadTest, FailuresAreReportedAndLeaveTheFileAlone) {
  const std::string out = dir_.Join("temp.file");
  RefusingPort refusing;
  ASSERT_NE(0, refusing.port());
  const std::string refused = "http://127.0.0.1:" + std::to_string(refusing.port()) + "/a.jpg";

  // A URL that cannot be opened does not touch the file.
  WriteFileBytes(out, "previous");
  EXPECT_EQ(0, Download(refused, out));
  EXPECT_EQ(Box(kFailedText), TakeBoxes());
  EXPECT_EQ("previous", ReadFileBytes(out));

  // Data with nowhere to go.
  server_.ServeBytes("/a.jpg", "JPEG");
  EXPECT_EQ(0, Download(server_.Url("/a.jpg"), dir_.Join("missing/temp.file")));
  EXPECT_EQ(Box(kFailedText), TakeBoxes());
  EXPECT_FALSE(Exists(dir_.Join("missing")));

  // A supported scheme that fails is a failure, not a missing file object;
  // so is a name with no scheme at all.
  EXPECT_EQ(0, Download("ftp://127.0.0.1:" + std::to_string(refusing.port()) + "/a.jpg", out));
  EXPECT_EQ(Box(kFailedText), TakeBoxes());
  EXPECT_EQ(0, Download("127.0.0.1:" + std::to_string(server_.port()) + "/a.jpg", out));
  EXPECT_EQ(Box(kFailedText), TakeBoxes());
  EXPECT_EQ(0, Download("http://no.such.host.invalid/a.jpg", out));
  EXPECT_EQ(Box(kFailedText), TakeBoxes());
  EXPECT_EQ("previous", ReadFileBytes(out));
}

TEST_F(DownloadTest, LocalFilesMustBeRegularFiles) {
  const std::string out = dir_.Join("temp.file");
  WriteFileBytes(out, "previous");
  // A pipe nobody writes to would block the worker beyond any cancel; a
  // device like /dev/zero never ends; a directory is no page.
  const std::string fifo = dir_.Join("pipe");
  ASSERT_EQ(0, ::mkfifo(fifo.c_str(), 0600));
  seconds_to_download_ = 5;  // were any of them read, the limit would show
  for (const std::string& url :
       {"file://" + fifo, std::string("file:///dev/zero"), "file://" + dir_.path()}) {
    SCOPED_TRACE(url);
    EXPECT_EQ(0, Download(url, out));
    EXPECT_EQ(Box(kFailedText), TakeBoxes());
    EXPECT_EQ("previous", ReadFileBytes(out));
  }
  // The path of a file URL is read with its escapes decoded.
  WriteFileBytes(dir_.Join("a b.txt"), "spaced");
  EXPECT_EQ(6, Download("file://" + dir_.Join("a%20b.txt"), out));
  EXPECT_EQ("spaced", ReadFileBytes(out));
}

TEST_F(DownloadTest, CertificatesAreVerified) {
  const std::string cert = dir_.Join("cert.pem");
  const std::string key = dir_.Join("key.pem");
  const ProgramResult made = RunProgram(
      {"/usr/bin/openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out",
       cert, "-days", "2", "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1"},
      dir_.path());
  ASSERT_EQ(0, made.exit_code) << made.err;
  LocalHttpServer tls(cert, key);
  tls.ServeBytes("/a.jpg", "JPEG");
  ASSERT_TRUE(tls.Start());

  // A client told to trust the certificate gets the picture...
  const ProgramResult trusting = RunProgram(
      {"/usr/bin/curl", "-s", "--noproxy", "*", "--cacert", cert, tls.Url("/a.jpg")}, dir_.path());
  ASSERT_EQ(0, trusting.exit_code) << trusting.err;
  EXPECT_EQ("JPEG", trusting.out);

  // ...a download, trusting only the system's authorities, does not.
  const std::string out = dir_.Join("temp.file");
  EXPECT_EQ(0, Download(tls.Url("/a.jpg"), out));
  EXPECT_EQ(Box(kFailedText), TakeBoxes());
  EXPECT_FALSE(Exists(out));
}

TEST_F(DownloadTest, ProxySettingsOfTheEnvironmentAreIgnored) {
  RefusingPort refusing;
  const std::string proxy = "http://127.0.0.1:" + std::to_string(refusing.port()) + "/";
  ScopedEnvironment environment;
  for (const char* name :
       {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "ALL_PROXY", "all_proxy"}) {
    environment.Set(name, proxy);
  }
  environment.Set("no_proxy", "");
  environment.Set("NO_PROXY", "");
  server_.ServeBytes("/direct", "direct");
  EXPECT_EQ(6, Download(server_.Url("/direct"), dir_.Join("temp.file")));
  EXPECT_EQ("", TakeBoxes());
}

TEST_F(DownloadTest, StalledTransfersEndAtTheLimit) {
  const std::string out = dir_.Join("temp.file");
  seconds_to_download_ = 1;
  server_.Stall("/idle");                      // headers, then nothing
  server_.Stall("/partial", Pattern(700000));  // one buffer's worth, then nothing
  server_.ServeBytes("/next", "next page");

  for (const char* path : {"/idle", "/partial"}) {
    SCOPED_TRACE(path);
    const auto start = steady_clock::now();
    EXPECT_EQ(0, Download(server_.Url(path), out));
    const auto took = steady_clock::now() - start;
    EXPECT_GE(took, milliseconds(1000));
    EXPECT_LT(took, milliseconds(4000));
    EXPECT_EQ(Box(kTimeText), TakeBoxes());
    // Closed, and nothing more arrives in it.
    EXPECT_EQ(0, DescriptorsOpenOn(out));
  }
  // What was written before the limit stays.
  const std::string partial = ReadFileBytes(out);
  EXPECT_EQ(Pattern(700000).substr(0, kTransferBufferSize), partial);

  EXPECT_EQ(9, Download(server_.Url("/next"), out));
  EXPECT_EQ("next page", ReadFileBytes(out));
}

// Behind the seam: a session that hands over counts without data, or ends
// with a chosen result, or waits until it is cancelled.
class ScriptedInternet : public Internet {
 public:
  uint64_t bytes = 0;
  InternetSession::Result result = InternetSession::Result::kComplete;
  bool no_session = false;
  bool wait_for_cancel = false;
  // Filled in as sessions run.
  std::vector<std::string> urls;
  int cancels = 0;
  // When each cancel came, on `clock` if given.
  const std::atomic<int64_t>* clock = nullptr;
  std::vector<int64_t> cancelled_at;

  std::unique_ptr<InternetSession> OpenSession() override {
    if (no_session) return nullptr;
    return std::make_unique<Session>(*this);
  }

 private:
  class Session : public InternetSession {
   public:
    explicit Session(ScriptedInternet& owner) : owner_(owner) {}
    Result Fetch(const std::string& url, char*, size_t size, const Sink& sink) override {
      owner_.urls.push_back(url);
      for (uint64_t left = owner_.bytes; left > 0;) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(left, size));
        if (!sink(n)) return Result::kFailed;
        left -= n;
      }
      if (owner_.wait_for_cancel) {
        std::unique_lock<std::mutex> lock(mutex_);
        cancelled_signal_.wait(lock, [this] { return cancelled_; });
        return Result::kCancelled;
      }
      return owner_.result;
    }
    void Cancel() override {
      std::lock_guard<std::mutex> lock(mutex_);
      ++owner_.cancels;
      if (owner_.clock != nullptr) owner_.cancelled_at.push_back(*owner_.clock);
      cancelled_ = true;
      cancelled_signal_.notify_all();
    }

   private:
    ScriptedInternet& owner_;
    std::mutex mutex_;
    std::condition_variable cancelled_signal_;
    bool cancelled_ = false;
  };
};

class DownloadWorkerTest : public ::testing::Test {
 protected:
  // The worker's result; `cancelled`: the waiter gave up before the worker
  // had its session.
  int RunWorker(const std::string& url, const std::string& output_path,
                Internet* internet = nullptr, bool cancelled = false) {
    PendingDownload.url = url;
    PendingDownload.output_path = output_path;
    PendingDownload.buffer = buffer_.data();
    PendingDownload.buffer_size = static_cast<int>(buffer_.size());
    DownloadControl control;
    if (cancelled) control.Cancel();
    return DownloadThreadProc(internet != nullptr ? *internet : internet_, control);
  }

  ScriptedInternet internet_;
  std::vector<char> buffer_ = std::vector<char>(kTransferBufferSize);
  ScopedTempDir dir_;
};

TEST_F(DownloadWorkerTest, CountsNeverReadAsAStatus) {
  // 3 GiB; 2^32 + 259, which would wrap to 259; the largest count; 259 and 258.
  for (const auto& [bytes, count] :
       std::vector<std::pair<uint64_t, int>>{{3ull << 30, 2147483647},
                                             {(1ull << 32) + 259, 2147483647},
                                             {2147483647, 2147483647},
                                             {259, 258},
                                             {258, 258}}) {
    internet_.bytes = bytes;
    EXPECT_EQ(count, RunWorker("http://site/" + std::to_string(bytes), "")) << bytes;
  }
  EXPECT_EQ("http://site/259", internet_.urls.at(3));
}

TEST_F(DownloadWorkerTest, SessionOutcomesBecomeWorkerResults) {
  const std::string out = dir_.Join("temp.file");
  internet_.result = InternetSession::Result::kNoFileObject;
  EXPECT_EQ(kDownloadNoFile, RunWorker("x:y", out));
  internet_.result = InternetSession::Result::kFailed;
  EXPECT_EQ(kDownloadFailed, RunWorker("http://site/", out));
  internet_.result = InternetSession::Result::kCancelled;
  EXPECT_EQ(kDownloadTimedOut, RunWorker("http://site/", out));
  EXPECT_FALSE(Exists(out));  // nothing arrived, so no file was made

  // Data written before a failure stays; the file is closed either way.
  internet_.bytes = 10;
  internet_.result = InternetSession::Result::kFailed;
  std::fill(buffer_.begin(), buffer_.end(), 'z');
  EXPECT_EQ(kDownloadFailed, RunWorker("http://site/", out));
  EXPECT_EQ("zzzzzzzzzz", ReadFileBytes(out));
  EXPECT_EQ(0, DescriptorsOpenOn(out));

  internet_.no_session = true;
  EXPECT_EQ(kDownloadFailed, RunWorker("http://site/", out));

  // The system's layer has no file object for a scheme it does not fetch
  // (which ends a run: see site_crawl_test).
  for (const char* url :
       {"gopher://127.0.0.1/a.jpg", "mailto:someone@example.com", "data:image/png;base64,AAAA"}) {
    EXPECT_EQ(kDownloadNoFile, RunWorker(url, out, SystemPlatform().internet)) << url;
  }

  // A cancel that came before the worker had its session reaches it.
  internet_.no_session = false;
  internet_.wait_for_cancel = true;
  EXPECT_EQ(kDownloadTimedOut, RunWorker("http://site/", "", nullptr, /*cancelled=*/true));
  EXPECT_EQ(1, internet_.cancels);
}

// On a clock that moves only when the wait reads it, through `script` and
// then by a second a reading, a transfer that never ends by itself is
// cancelled at the first reading at which the limit's whole seconds have
// passed: not a millisecond before, not a reading later.
TEST(DownloadLimitTest, TheTransferIsCancelledWhenTheLimitPasses) {
  struct Case {
    long limit;
    std::vector<int64_t> script;
    int64_t cancelled_at;
  } cases[] = {{2, {10000, 10999, 11999, 12000, 12001}, 12000},
               {0, {5000, 5000}, 5000},  // 0 or less: at the first check
               {-5, {7000, 7001}, 7001}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.limit);
    ScriptedInternet internet;
    internet.wait_for_cancel = true;
    std::atomic<int64_t> now{0};
    internet.clock = &now;
    FakePlatform fakes;
    fakes.internet = &internet;
    Platform platform = fakes.Get();
    size_t next = 0;
    platform.clock = [&] {
      now = next < c.script.size() ? c.script[next++] : now + 1000;
      return now.load();
    };
    const Reporter quiet(fakes.console, fakes.boxes, false, true, "wallpaper-fetcher");
    CrawlObserver deaf;
    Downloader downloader(internet, platform.clock, quiet, deaf, CrawlMode::kRun);
    downloader.SetTimeLimit(c.limit);
    std::vector<char> buffer(kTransferBufferSize);
    EXPECT_EQ(0, downloader.Download(buffer.data(), kTransferBufferSize, "http://site/", ""));
    EXPECT_EQ(std::vector<int64_t>{c.cancelled_at}, internet.cancelled_at);
  }
}

}  // namespace
