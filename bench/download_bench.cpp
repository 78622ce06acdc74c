// Download speed over loopback.
//
// The program starts its own nginx (Debian's nginx-light) on 127.0.0.1 at a
// free port, with a private configuration and a temporary root holding a
// 200 MiB file and a 10 KiB file, and stops it before it exits (nginx also
// dies with this process). To measure against another server instead, set
// FETCHER_BENCH_BASE_URL to a base URL that serves the same two files as
// big.bin (200 MiB) and small.bin (10 KiB), e.g.
//   FETCHER_BENCH_BASE_URL=http://127.0.0.1:8080/ ./download_bench
//
// Pairs to compare:
//   BM_DownloadFile_200MiB    vs  BM_CurlCommand_200MiB  (`curl -s -o`)
//   BM_DownloadFile_4x10KiB   vs  BM_PlainJoin_4x10KiB   (the same worker
//                                 started and joined, no time limit to watch)
// Repetitions run interleaved; the ratios of the medians are printed after
// the table.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/wallpaper_fetcher.h"
#include "platform/network/internet.h"
#include "retrieval/download.h"
#include "retrieval/download_worker.h"

namespace {

constexpr size_t kBigSize = 200u << 20;
constexpr size_t kSmallSize = 10u << 10;

std::string g_base_url;  // ends in "/"
std::string g_work_dir;  // ends in "/"

bool WriteFile(const std::string& path, size_t size) {
  std::ofstream out(path, std::ios::binary);
  std::string block(1 << 20, '\0');
  for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 131 + 7);
  for (size_t left = size; left > 0;) {
    const size_t n = std::min(left, block.size());
    out.write(block.data(), static_cast<std::streamsize>(n));
    left -= n;
  }
  return static_cast<bool>(out);
}

int FreePort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof(address);
  int port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  }
  close(fd);
  return port;
}

bool Accepts(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
  close(fd);
  return ok;
}

// Runs argv to its end; its exit status, or -1.
int Run(const std::vector<std::string>& argv) {
  const pid_t pid = fork();
  if (pid == 0) {
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// nginx in the foreground as our child, on a private configuration.
class Nginx {
 public:
  bool Start(const std::string& prefix, const std::string& root) {
    for (int attempt = 0; attempt < 3 && pid_ < 0; ++attempt) {
      port_ = FreePort();
      const std::string conf = prefix + "nginx.conf";
      std::ofstream(conf) << "worker_processes 1;\n"
                          << "pid " << prefix << "nginx.pid;\n"
                          << "error_log " << prefix << "error.log;\n"
                          << "events { worker_connections 64; }\n"
                          << "http {\n"
                          << "  access_log off;\n"
                          << "  sendfile on;\n"
                          << "  client_body_temp_path " << prefix << "body;\n"
                          << "  proxy_temp_path " << prefix << "proxy;\n"
                          << "  fastcgi_temp_path " << prefix << "fastcgi;\n"
                          << "  uwsgi_temp_path " << prefix << "uwsgi;\n"
                          << "  scgi_temp_path " << prefix << "scgi;\n"
                          << "  types { application/octet-stream bin; }\n"
                          << "  server { listen 127.0.0.1:" << port_ << "; root " << root << "; }\n"
                          << "}\n";
      const pid_t pid = fork();
      if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);  // never outlive the benchmark
        execl("/usr/sbin/nginx", "nginx", "-p", prefix.c_str(), "-c", conf.c_str(), "-e",
              (prefix + "error.log").c_str(), "-g", "daemon off;", static_cast<char*>(nullptr));
        _exit(127);
      }
      if (pid < 0) return false;
      pid_ = pid;
      bool up = false;
      for (int i = 0; i < 500 && !up; ++i) {
        int status;
        if (waitpid(pid_, &status, WNOHANG) == pid_) break;  // it gave up
        up = Accepts(port_);
        if (!up) std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
      if (!up) Stop();
    }
    return pid_ > 0;
  }

  void Stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    int status;
    waitpid(pid_, &status, 0);
    pid_ = -1;
  }

  ~Nginx() { Stop(); }
  int port() const { return port_; }

 private:
  pid_t pid_ = -1;
  int port_ = 0;
};

std::unique_ptr<WallpaperFetcher> NewFetcher() {
  auto fetcher = std::make_unique<WallpaperFetcher>();
  fetcher->m_yDebug = 0;
  fetcher->m_lSecondsToDownload = 600;
  return fetcher;
}

void BM_DownloadFile_200MiB(benchmark::State& state) {
  auto fetcher = NewFetcher();
  const std::string out = g_work_dir + "out-fetcher.bin";
  for (auto _ : state) {
    const int n = fetcher->DownloadFile(fetcher->m_szBuffer, kTransferBufferSize,
                                        g_base_url + "big.bin", out);
    if (n != static_cast<int>(kBigSize)) state.SkipWithError("short download");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBigSize));
  std::remove(out.c_str());
}
BENCHMARK(BM_DownloadFile_200MiB)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2)
    ->Repetitions(5);

void BM_CurlCommand_200MiB(benchmark::State& state) {
  const std::string out = g_work_dir + "out-curl.bin";
  for (auto _ : state) {
    if (Run({"curl", "-s", "-o", out, g_base_url + "big.bin"}) != 0) {
      state.SkipWithError("curl failed");
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBigSize));
  std::remove(out.c_str());
}
BENCHMARK(BM_CurlCommand_200MiB)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2)
    ->Repetitions(5);

void BM_DownloadFile_4x10KiB(benchmark::State& state) {
  auto fetcher = NewFetcher();
  const std::string out = g_work_dir + "out-small.bin";
  for (auto _ : state) {
    for (int i = 0; i < 4; ++i) {
      const int n = fetcher->DownloadFile(fetcher->m_szBuffer, kTransferBufferSize,
                                          g_base_url + "small.bin", out);
      if (n != static_cast<int>(kSmallSize)) state.SkipWithError("short download");
    }
  }
  state.counters["s_per_download"] = benchmark::Counter(
      4.0, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  std::remove(out.c_str());
}
BENCHMARK(BM_DownloadFile_4x10KiB)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(1)
    ->Repetitions(7);

// The same worker on its own thread, joined at once: what the download
// costs without a waiter watching the time limit.
void BM_PlainJoin_4x10KiB(benchmark::State& state) {
  auto fetcher = NewFetcher();
  const std::string out = g_work_dir + "out-small.bin";
  Internet& internet = SystemInternet();
  for (auto _ : state) {
    for (int i = 0; i < 4; ++i) {
      PendingDownload.url = g_base_url + "small.bin";
      PendingDownload.output_path = out;
      PendingDownload.buffer = fetcher->m_szBuffer;
      PendingDownload.buffer_size = kTransferBufferSize;
      DownloadControl control;
      int n = 0;
      std::thread worker([&] { n = DownloadThreadProc(internet, control); });
      worker.join();
      if (n != static_cast<int>(kSmallSize)) state.SkipWithError("short download");
    }
  }
  state.counters["s_per_download"] = benchmark::Counter(
      4.0, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  std::remove(out.c_str());
}
BENCHMARK(BM_PlainJoin_4x10KiB)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(1)
    ->Repetitions(7);

// The console table, and the median real time of each benchmark for the
// ratios.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  RatioReporter() : ConsoleReporter(OO_Tabular) {}
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median" &&
          !run.error_occurred) {
        median_ms_[run.run_name.function_name] = run.GetAdjustedRealTime();  // all in ms
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  void PrintRatio(const char* what, const std::string& a, const std::string& b, int per) const {
    const auto x = median_ms_.find(a);
    const auto y = median_ms_.find(b);
    if (x == median_ms_.end() || y == median_ms_.end() || y->second <= 0) return;
    std::printf("%-40s %.3f  (medians %.3f ms / %.3f ms per %s)\n", what, x->second / y->second,
                x->second / per, y->second / per, per == 1 ? "iteration" : "download");
  }

 private:
  std::map<std::string, double> median_ms_;
};

}  // namespace

int main(int argc, char** argv) {
  InitSystemInternet();
  // Repetitions of the pairs run interleaved, so that a burst of load on the
  // machine does not fall on one side of a comparison only.
  std::vector<char*> args(argv, argv + argc);
  char interleave[] = "--benchmark_enable_random_interleaving=true";
  args.insert(args.begin() + 1, interleave);
  argc = static_cast<int>(args.size());
  args.push_back(nullptr);
  argv = args.data();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

  char work[] = "/tmp/download-bench-XXXXXX";
  if (mkdtemp(work) == nullptr) return 1;
  g_work_dir = std::string(work) + "/";
  Nginx nginx;
  const char* base = std::getenv("FETCHER_BENCH_BASE_URL");
  if (base != nullptr && *base != '\0') {
    g_base_url = base;
    if (g_base_url.back() != '/') g_base_url += '/';
  } else {
    // nginx's workers read the root under their own user.
    const std::string root = g_work_dir + "www/";
    chmod(work, 0755);
    mkdir(root.c_str(), 0755);
    if (!WriteFile(root + "big.bin", kBigSize) || !WriteFile(root + "small.bin", kSmallSize)) {
      std::fprintf(stderr, "cannot write the files to serve under %s\n", root.c_str());
      return 1;
    }
    chmod((root + "big.bin").c_str(), 0644);
    chmod((root + "small.bin").c_str(), 0644);
    if (access("/usr/sbin/nginx", X_OK) != 0) {
      std::fprintf(stderr,
                   "/usr/sbin/nginx is missing: install nginx-light, or set "
                   "FETCHER_BENCH_BASE_URL (see the top of bench/download_bench.cpp)\n");
      Run({"rm", "-rf", g_work_dir});
      return 1;
    }
    if (!nginx.Start(g_work_dir, root)) {
      std::fprintf(stderr, "nginx did not start; see %serror.log\n", g_work_dir.c_str());
      return 1;
    }
    g_base_url = "http://127.0.0.1:" + std::to_string(nginx.port()) + "/";
  }
  std::printf("Serving from %s\n", g_base_url.c_str());

  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  std::printf("\nRatios of medians:\n");
  reporter.PrintRatio("DownloadFile 200 MiB / curl -s -o:", "BM_DownloadFile_200MiB",
                      "BM_CurlCommand_200MiB", 1);
  reporter.PrintRatio("DownloadFile 4x10 KiB / plain joins:", "BM_DownloadFile_4x10KiB",
                      "BM_PlainJoin_4x10KiB", 4);

  nginx.Stop();
  Run({"rm", "-rf", g_work_dir});
  return 0;
}
