#ifndef TESTS_WINDOWS_SUPPORT_WIN_TEST_SUPPORT_H_
#define TESTS_WINDOWS_SUPPORT_WIN_TEST_SUPPORT_H_

#include <windows.h>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/platform_services.h"
#include "support/shared_support.h"

// Helpers of the Windows tests besides the shared ones: the built program run
// as a process, the windows it shows, a loopback HTTP server.

// The path of the built wallpaper-fetcher.exe, two folders above the test
// program (build-win\tests\windows\).
std::string FetcherExe();

// A program started as a process, killed by the destructor if still running.
class Process {
 public:
  Process() = default;
  ~Process();
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;
  // Starts `exe` with `arguments` in `cwd`; standard output goes to
  // `stdout_path` when not empty; on `desktop` ("STATION\\DESKTOP") when
  // not empty. False when it cannot start.
  bool Start(const std::string& exe, const std::vector<std::string>& arguments,
             const std::string& cwd, const std::string& stdout_path = "",
             const std::string& desktop = "");
  // Waits up to `timeout_ms` for the end; the exit code, or -1 on time-out.
  // Starts `command_line` (searched for on PATH, as CreateProcess does) in
  // `cwd` with a console window of its own.
  bool StartInNewConsole(const std::string& command_line, const std::string& cwd);
  int Wait(DWORD timeout_ms);
  bool Running() const;
  void Kill();
  DWORD id() const { return id_; }

 private:
  HANDLE process_ = nullptr;
  DWORD id_ = 0;
};

// What the console of process `process_id` shows, each row with its
// trailing blanks removed, up to the cursor's row; "" when it cannot be read.
std::string ConsoleText(DWORD process_id);
// Waits up to `timeout_ms` until the console of `process_id` shows `text`;
// what it shows then.
std::string WaitForConsoleText(DWORD process_id, const std::string& text, DWORD timeout_ms);

// The first visible top-level window of process `process_id` whose title is
// `caption`, waiting up to `timeout_ms` for it to appear; null if none.
HWND WaitForWindow(DWORD process_id, const std::string& caption, DWORD timeout_ms);
// What a message box shows: its title, its text and whether it has an icon.
struct BoxContent {
  std::string caption;
  std::string text;
  bool has_icon = false;
};
BoxContent ReadMessageBox(HWND box);
// Presses the box's OK button.
void CloseMessageBox(HWND box);

// A file of the source tree by its path under the tree ("demo/x.jpg"). The
// tree's path is a host path; Wine shows the host's root as drive Z:.
std::string SourceFile(const std::string& relative);

// `utf8` as a UTF-16 file: its byte-order mark, then each unit in the byte
// order asked for (as Notepad's "Unicode" and PowerShell 5.1 write it).
std::string Utf16FileBytes(const std::string& utf8, bool big_endian);
// The UTF-8 text of such a file, "" when `bytes` lack the mark or an even
// count, or hold a surrogate without its pair.
std::string Utf8OfUtf16File(const std::string& bytes, bool big_endian);

// Copies the built program files (the .exe and the console .com) into `dir`;
// returns the .exe copy's path.
std::string CopyFetcherInto(const std::string& dir);

// A real HTTP/1.1 server on 127.0.0.1 at a port of its own, one thread per
// connection, until Stop or the destructor. Unknown paths get a 404 with the
// body "Not Found"; every answer closes its connection.
class LocalHttpServer {
 public:
  LocalHttpServer();
  ~LocalHttpServer();
  LocalHttpServer(const LocalHttpServer&) = delete;
  LocalHttpServer& operator=(const LocalHttpServer&) = delete;

  void ServeBytes(const std::string& path, const std::string& bytes, int status = 200);
  // Every file under `directory` (ending in "\") as `prefix` + its name, "/"
  // in the name standing for "\".
  void ServeDirectory(const std::string& prefix, const std::string& directory);
  // Announces `bytes`' length, then sends them in pieces of `piece` bytes,
  // waiting `interval` before each piece after the first.
  void Trickle(const std::string& path, const std::string& bytes, size_t piece,
               std::chrono::milliseconds interval);
  // Reads the request and answers nothing until the server stops.
  void Stall(const std::string& path);

  bool Start();
  void Stop();
  int port() const;
  std::string Url(const std::string& path) const;
  int RequestCount(const std::string& path) const;

 private:
  struct Impl;
  std::shared_ptr<Impl> impl_;
};

#endif  // TESTS_WINDOWS_SUPPORT_WIN_TEST_SUPPORT_H_
