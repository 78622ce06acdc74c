// Whole runs of the real binary against servers and pages that misbehave:
// each attempt fails with the program's own message, the next attempt
// starts, and the process ends normally.
#include <gtest/gtest.h>
#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include "support/end_to_end.h"
#include "support/test_support.h"
#include "support/tmpfs_mount.h"

namespace {

// The peak resident size of a process in kB ("VmHWM"), -1 once it has ended.
long long PeakResidentKb(int pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.compare(0, 6, "VmHWM:") == 0) return std::stoll(line.substr(6));
  }
  return -1;
}

class HostileServerTest : public EndToEndTest {
 protected:
  // Sites.ini with two attempts at one site whose steps are `steps`.
  void Configure(const std::string& begin_path, const std::string& steps,
                 const std::string& general = "") {
    WriteSitesIni("TryNumber=2\nKeepInHistory=3\n" + general, "Hostile", 20,
                  "Begin=" + server_.Url(begin_path) + "\n" + steps);
  }

  // Both attempts were made and each ended in `message`; the run ended
  // normally.
  void ExpectTwoFailedAttempts(const ProgramResult& result, const std::string& message) {
    EXPECT_FALSE(result.timed_out);
    EXPECT_EQ(0, result.exit_code) << result.err;
    EXPECT_EQ("", result.err);
    EXPECT_NE(std::string::npos, result.out.find("Going to a 0 try\n"));
    EXPECT_NE(std::string::npos, result.out.find("Going to a 1 try\n"));
    EXPECT_EQ(2u, Count(result.out, message + "\n")) << result.out.substr(0, 4000);
    EXPECT_EQ(std::string::npos, result.out.find("all steps are done"));
    EXPECT_EQ("", General("Recent2"));
  }
};

TEST_F(HostileServerTest, ConnectionClosedInTheMiddleOfTheBody) {
  // Announces 200000 bytes, sends 50000, hangs up.
  server_.Handle("/cut.html", [](const httplib::Request&, httplib::Response& response) {
    response.set_content_provider(200000, "text/html",
                                  [](size_t offset, size_t, httplib::DataSink& sink) {
                                    if (offset > 0) return false;
                                    const std::string part(50000, 'x');
                                    sink.write(part.data(), part.size());
                                    return false;
                                  });
  });
  // Chunked, without a length: one chunk, then the connection drops
  // without the final empty chunk.
  server_.Handle("/chunks.html", [](const httplib::Request&, httplib::Response& response) {
    response.set_chunked_content_provider("text/html", [](size_t offset, httplib::DataSink& sink) {
      if (offset > 0) return false;
      const std::string part(30000, 'y');
      sink.write(part.data(), part.size());
      return false;
    });
  });
  for (const char* path : {"/cut.html", "/chunks.html"}) {
    SCOPED_TRACE(path);
    Configure(path, "Step1Get=(x)\nStep1Go=" + server_.Url("/next.html") + "\n");
    const ProgramResult result = Run();
    ExpectTwoFailedAttempts(result, "Something wrong while getting remote file");
    EXPECT_EQ(2u, Count(result.out, "Noting was recieved from URL"));
    EXPECT_EQ(2, server_.RequestCount(path));
    EXPECT_EQ(0, server_.RequestCount("/next.html"));  // no step ran on half a page
  }
}

TEST_F(HostileServerTest, RedirectLoopsAndRedirectsOffTheWeb) {
  server_.Redirect("/loop", "/loop");
  server_.Redirect("/ping", "/pong");
  server_.Redirect("/pong", "/ping");
  auto loop_requests = [this] {
    return server_.RequestCount("/loop") + server_.RequestCount("/ping") +
           server_.RequestCount("/pong");
  };
  for (const char* path : {"/loop", "/ping"}) {
    SCOPED_TRACE(path);
    const int before = loop_requests();
    Configure(path, "");
    ExpectTwoFailedAttempts(Run(), "Something wrong while getting remote file");
    // Followed a bounded number of times, then each attempt gave up.
    EXPECT_GE(loop_requests() - before, 2 * 2);
    EXPECT_LE(loop_requests() - before, 2 * 12);
  }

  // A redirect to a local file is not followed, at the start or at the
  // last step: the file stays unread.
  const std::string secret = dir_.Join("secret.txt");
  WriteFileBytes(secret, "private words of the user");
  server_.Redirect("/to-file.jpg", "file://" + secret);
  server_.ServeBytes("/links.html", "<a href=\"/to-file.jpg\">", "text/html");
  for (const bool at_start : {true, false}) {
    SCOPED_TRACE(at_start ? "start" : "last step");
    const int before = server_.RequestCount("/to-file.jpg");
    if (at_start) {
      Configure("/to-file.jpg", "");
    } else {
      Configure("/links.html",
                "Step1Get=href=\"([^\"]+)\"\nStep1Go=" + server_.Url("") + "$_1_$\n");
    }
    const ProgramResult result = Run();
    ExpectTwoFailedAttempts(result, "Something wrong while getting remote file");
    EXPECT_EQ(before + 2, server_.RequestCount("/to-file.jpg"));
    EXPECT_EQ(std::string::npos, result.out.find("private words"));
    EXPECT_EQ(std::string::npos, ReadFileBytes(dir_.Join("prog/temp.file")).find("private"));
    EXPECT_FALSE(Exists(dir_.Join("prog/to-file.jpg")));
  }
}

TEST_F(HostileServerTest, PictureUrlThatAnswersWithAPage) {
  server_.ServeBytes("/gallery.html", "<a href=\"/p/photo.jpg\"><img src=\"/t/photo.jpg\"></a>",
                     "text/html");
  server_.ServeBytes("/p/photo.jpg",
                     "<!DOCTYPE html>\n<html><body><h1>Hotlinking not allowed</h1></body></html>\n",
                     "text/html");
  Configure("/gallery.html",
            "Step1Get=href=\"(/p/[^\"]+)\"\nStep1Go=" + server_.Url("") + "$_1_$\n");
  WriteFileBytes(dir_.Join("prog/Walp.bmp"), "previous");
  const ProgramResult result = Run();
  ExpectTwoFailedAttempts(result, "Couldn't convert file to BMP");
  EXPECT_EQ(2, server_.RequestCount("/p/photo.jpg"));
  EXPECT_FALSE(Exists(dir_.Join("prog/Walp.bmp")));
}

TEST_F(HostileServerTest, FiftyMegabytePagesBuiltToExplodeTheSearch) {
  server_.ServeBytes("/huge.html", std::string(50u << 20, 'a'), "text/html");
  server_.ServeBytes("/p/a.html", "<html>not a picture</html>", "text/html");
  struct Case {
    const char* expression;
    const char* result;  // the step's outcome in the trace
  };
  // Backtracking that outgrows the matcher's stack at once; and a match at
  // every byte, each to become a link.
  for (const Case& c : {Case{"((a|b)*)c", "No following links were found on step 1"},
                        Case{"(a)", "Found 100000 links for the step 1"}}) {
    SCOPED_TRACE(c.expression);
    Configure("/huge.html", std::string("Step1Get=") + c.expression +
                                "\nStep1Go=" + server_.Url("/p/") + "$_1_$.html\n");
    const int before = server_.RequestCount("/huge.html");
    ChildProcess child;
    ASSERT_TRUE(child.Start({program_}, dir_.path(), NoDesktop()));
    std::atomic<bool> ended{false};
    long long peak_kb = 0;
    std::thread watcher([&] {
      while (!ended) {
        peak_kb = std::max(peak_kb, PeakResidentKb(child.pid()));
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
    });
    const ProgramResult result = child.Wait(180000);
    ended = true;
    watcher.join();

    EXPECT_FALSE(result.timed_out);
    EXPECT_EQ(0, result.exit_code) << result.err;
    EXPECT_NE(std::string::npos, result.out.find("Going to a 1 try\n"));
    EXPECT_EQ(2u,
              Count(result.out, "Wrong format (StepXXXGo) regular expression for the step 1\n"));
    EXPECT_EQ(2u, Count(result.out, std::string(c.result) + "\n"));
    EXPECT_EQ(std::string::npos, result.out.find("all steps are done"));
    EXPECT_EQ(before + 2, server_.RequestCount("/huge.html"));
    // A page of 50 MB is held once or twice; a link for each of its bytes
    // would be several gigabytes.
    EXPECT_GT(peak_kb, 50 * 1024);
    EXPECT_LT(peak_kb, 1536 * 1024);
  }
  // The flood's links were followed to a page, which is no picture.
  EXPECT_EQ(2, server_.RequestCount("/p/a.html"));
}

class FullSaveDirectoryTest : public HostileServerTest {
 protected:
  void SetUp() override {
    if (!disk_.mounted()) GTEST_SKIP() << disk_.reason();
    HostileServerTest::SetUp();
  }
  ScopedTmpfs disk_{1 << 20};
};

TEST_F(FullSaveDirectoryTest, ResponseLargerThanTheFreeSpace) {
  server_.ServeBytes("/big.jpg", std::string(3 << 20, 'q'), "image/jpeg");
  Configure("/big.jpg", "", "SavePath=" + disk_.path() + "\n");
  ExpectTwoFailedAttempts(Run(), "Something wrong while getting remote file");
  EXPECT_EQ(2, server_.RequestCount("/big.jpg"));
  EXPECT_FALSE(Exists(disk_.path() + "big.jpg"));
  EXPECT_FALSE(Exists(disk_.path() + "Walp.bmp"));
}

}  // namespace
