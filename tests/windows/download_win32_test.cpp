// Downloads through WinInet from a loopback server: the shared worker and
// waiter over the real Windows transfer layer.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "app/wallpaper_fetcher.h"
#include "platform/network/internet.h"
#include "support/win_test_support.h"

namespace {

std::string PseudoRandomBytes(size_t size) {
  std::string bytes(size, '\0');
  uint32_t state = 12345;
  for (char& c : bytes) {
    state = state * 1103515245u + 12345u;
    c = static_cast<char>(state >> 24);
  }
  return bytes;
}

class WinInetDownload : public ::testing::Test {
 protected:
  void SetUp() override {
    fetcher_ = std::make_unique<WallpaperFetcher>(platform_.Get(), 1);
    fetcher_->m_yDebug = 1;
    fetcher_->m_ySuppressMessages = 1;
    fetcher_->m_lSecondsToDownload = 60;
  }
  int Download(const std::string& url, const std::string& output) {
    return fetcher_->DownloadFile(fetcher_->m_szBuffer, kTransferBufferSize, url, output);
  }
  // The details of one fetch of `url` through the system's transfer layer.
  static InternetSession::Details FetchDetails(const std::string& url) {
    std::unique_ptr<InternetSession> session = SystemInternet().OpenSession();
    std::vector<char> buffer(4096);
    session->Fetch(url, buffer.data(), buffer.size(), [](size_t) { return true; });
    return session->LastDetails();
  }

  FakePlatform platform_;
  std::unique_ptr<WallpaperFetcher> fetcher_;
  ScopedTempDir dir_;
};

TEST_F(WinInetDownload, BodiesArriveWholeAndErrorPagesAreContent) {
  LocalHttpServer server;
  const std::string big = PseudoRandomBytes(3 * kTransferBufferSize + 1234);  // several chunks
  server.ServeBytes("/big.jpg", big);
  server.ServeBytes("/259", std::string(259, 'x'));
  server.ServeBytes("/empty", "");
  ASSERT_TRUE(server.Start());
  const std::string out = dir_.Join("temp.file");

  EXPECT_EQ(Download(server.Url("/big.jpg"), out), static_cast<int>(big.size()));
  EXPECT_TRUE(ReadFileBytes(out) == big);

  // A 404 opens like any page: its body is the content.
  EXPECT_EQ(Download(server.Url("/missing"), out), 9);
  EXPECT_EQ(ReadFileBytes(out), "Not Found");

  // 259 bytes would read as "still running": they count as 258, all written.
  EXPECT_EQ(Download(server.Url("/259"), out), 258);
  EXPECT_EQ(ReadFileBytes(out).size(), 259u);

  EXPECT_EQ(Download(server.Url("/empty"), out), 0);
  EXPECT_TRUE(Exists(out));
  EXPECT_EQ(ReadFileBytes(out), "");

  // No output path: counted, nothing written.
  EXPECT_EQ(Download(server.Url("/big.jpg"), ""), static_cast<int>(big.size()));
  EXPECT_TRUE(platform_.boxes.boxes.empty());

  // What a check of a site shows of a fetch.
  const InternetSession::Details page = FetchDetails(server.Url("/missing"));
  EXPECT_EQ(page.status, 404);
  EXPECT_EQ(page.content_type, "application/octet-stream");
  EXPECT_EQ(page.error, "");
}

// The proxy of the user's Internet settings, set while it lives.
class ScopedProxy {
 public:
  explicit ScopedProxy(const std::string& server) {
    ::RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_,
                      nullptr);
    const DWORD enable = 1;
    ::RegSetValueExA(key_, "ProxyEnable", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&enable),
                     sizeof enable);
    ::RegSetValueExA(key_, "ProxyServer", 0, REG_SZ, reinterpret_cast<const BYTE*>(server.c_str()),
                     static_cast<DWORD>(server.size() + 1));
  }
  ~ScopedProxy() {
    ::RegDeleteValueA(key_, "ProxyEnable");
    ::RegDeleteValueA(key_, "ProxyServer");
    ::RegCloseKey(key_);
  }

 private:
  static constexpr const char* kKey =
      "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
  HKEY key_ = nullptr;
};

TEST_F(WinInetDownload, TheSystemsProxyCarriesTheRequest) {
  // A host no resolver knows: only the proxy can answer for it, and it is
  // asked with the whole URL.
  LocalHttpServer proxy;
  // Windows writes the URL as given, Wine with the port.
  proxy.ServeBytes("http://pictures.invalid/day.jpg", "JPEG through the proxy");
  proxy.ServeBytes("http://pictures.invalid:80/day.jpg", "JPEG through the proxy");
  ASSERT_TRUE(proxy.Start());
  const std::string out = dir_.Join("temp.file");
  {
    ScopedProxy configured("127.0.0.1:" + std::to_string(proxy.port()));
    EXPECT_EQ(Download("http://pictures.invalid/day.jpg", out), 22);
  }
  EXPECT_EQ(ReadFileBytes(out), "JPEG through the proxy");
  EXPECT_EQ(proxy.RequestCount("http://pictures.invalid/day.jpg") +
                proxy.RequestCount("http://pictures.invalid:80/day.jpg"),
            1);
}

TEST_F(WinInetDownload, FailuresAreReportedAndLeaveNoFile) {
  const std::string out = dir_.Join("temp.file");
  LocalHttpServer server;
  ASSERT_TRUE(server.Start());
  const std::string refused = server.Url("/a.jpg");
  server.Stop();  // the port now refuses

  EXPECT_EQ(Download(refused, out), 0);
  EXPECT_EQ(Download("not a url", out), 0);
  EXPECT_EQ(Download("file:///" + dir_.path(), out), 0);  // a folder is no file
  EXPECT_FALSE(Exists(out));
  EXPECT_NE(platform_.console.written.find("Something wrong while getting remote file"),
            std::string::npos);
  // A check says why, in words.
  const InternetSession::Details details = FetchDetails(refused);
  EXPECT_EQ(details.status, 0);
  EXPECT_EQ(details.error.rfind("WinInet error 12029", 0), 0u) << details.error;
  EXPECT_EQ(FetchDetails("gopher://x/").error, "the scheme \"gopher\" is not fetched");

  // A file: URL naming a regular file is read like a page.
  WriteFileBytes(dir_.Join("page.html"), "<a href=\"x\">");
  std::string url = "file:///" + dir_.Join("page.html");
  for (char& c : url) {
    if (c == '\\') c = '/';
  }
  EXPECT_EQ(Download(url, out), 12);
  EXPECT_EQ(ReadFileBytes(out), "<a href=\"x\">");
}

TEST_F(WinInetDownload, TheTimeLimitEndsTricklingAndStalledTransfers) {
  LocalHttpServer server;
  server.Trickle("/slow.jpg", std::string(100000, 'x'), 100, std::chrono::milliseconds(200));
  server.Stall("/silent.jpg");
  server.ServeBytes("/quick.jpg", "quick");
  ASSERT_TRUE(server.Start());
  const std::string out = dir_.Join("temp.file");
  fetcher_->m_lSecondsToDownload = 1;

  EXPECT_EQ(Download(server.Url("/slow.jpg"), out), 0);
  EXPECT_EQ(Download(server.Url("/silent.jpg"), out), 0);
  const std::string message = "Didn't have enough time to download file";
  size_t count = 0;
  for (size_t at = platform_.console.written.find(message); at != std::string::npos;
       at = platform_.console.written.find(message, at + 1)) {
    ++count;
  }
  EXPECT_EQ(count, 2u);
  // The abandoned transfers hold nothing: the same file is written again
  // at once.
  EXPECT_EQ(Download(server.Url("/quick.jpg"), out), 5);
  EXPECT_EQ(ReadFileBytes(out), "quick");
  server.Stop();
}

}  // namespace
