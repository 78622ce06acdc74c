#include "win_test_support.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <thread>

#include "platform/filesystem/filesystem.h"

std::string FetcherExe() {
  char buffer[MAX_PATH + 1];
  const DWORD n = ::GetModuleFileNameA(nullptr, buffer, sizeof buffer);
  const std::string self(buffer, n);
  return GetDirOfPath(self) + "..\\..\\wallpaper-fetcher.exe";
}

Process::~Process() {
  if (process_ == nullptr) return;
  if (Running()) Kill();
  ::CloseHandle(process_);
}

bool Process::Start(const std::string& exe, const std::vector<std::string>& arguments,
                    const std::string& cwd, const std::string& stdout_path,
                    const std::string& desktop) {
  std::string command = "\"" + exe + "\"";
  for (const std::string& argument : arguments) command += " \"" + argument + "\"";
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  std::string desktop_name = desktop;
  if (!desktop_name.empty()) startup.lpDesktop = &desktop_name[0];
  HANDLE output = INVALID_HANDLE_VALUE;
  if (!stdout_path.empty()) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    output = ::CreateFileA(stdout_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = output;
    startup.hStdError = output;
    startup.hStdInput = nullptr;
  }
  PROCESS_INFORMATION info = {};
  std::vector<char> line(command.begin(), command.end());
  line.push_back('\0');
  const BOOL started =
      ::CreateProcessA(exe.c_str(), line.data(), nullptr, nullptr, output != INVALID_HANDLE_VALUE,
                       0, nullptr, cwd.c_str(), &startup, &info);
  if (output != INVALID_HANDLE_VALUE) ::CloseHandle(output);
  if (!started) return false;
  ::CloseHandle(info.hThread);
  process_ = info.hProcess;
  id_ = info.dwProcessId;
  return true;
}

bool Process::StartInNewConsole(const std::string& command_line, const std::string& cwd) {
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  std::vector<char> line(command_line.begin(), command_line.end());
  line.push_back('\0');
  if (!::CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE, nullptr,
                        cwd.c_str(), &startup, &info)) {
    return false;
  }
  ::CloseHandle(info.hThread);
  process_ = info.hProcess;
  id_ = info.dwProcessId;
  return true;
}

std::string ConsoleText(DWORD process_id) {
  ::FreeConsole();
  if (!::AttachConsole(process_id)) return "";
  std::string text;
  const HANDLE screen =
      ::CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
  CONSOLE_SCREEN_BUFFER_INFO buffer = {};
  if (screen != INVALID_HANDLE_VALUE && ::GetConsoleScreenBufferInfo(screen, &buffer)) {
    std::string row(static_cast<size_t>(buffer.dwSize.X), ' ');
    for (SHORT y = 0; y <= buffer.dwCursorPosition.Y; ++y) {
      DWORD read = 0;
      ::ReadConsoleOutputCharacterA(screen, &row[0], buffer.dwSize.X, COORD{0, y}, &read);
      const size_t end = row.find_last_not_of(' ', read == 0 ? 0 : read - 1);
      text += (read == 0 || end == std::string::npos ? "" : row.substr(0, end + 1)) + "\n";
    }
  }
  if (screen != INVALID_HANDLE_VALUE) ::CloseHandle(screen);
  ::FreeConsole();
  return text;
}

std::string WaitForConsoleText(DWORD process_id, const std::string& text, DWORD timeout_ms) {
  const ULONGLONG end = ::GetTickCount64() + timeout_ms;
  for (;;) {
    const std::string shown = ConsoleText(process_id);
    if (shown.find(text) != std::string::npos || ::GetTickCount64() >= end) return shown;
    ::Sleep(100);
  }
}

int Process::Wait(DWORD timeout_ms) {
  if (process_ == nullptr) return -1;
  if (::WaitForSingleObject(process_, timeout_ms) != WAIT_OBJECT_0) return -1;
  DWORD code = 0;
  ::GetExitCodeProcess(process_, &code);
  return static_cast<int>(code);
}

bool Process::Running() const {
  return process_ != nullptr && ::WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

void Process::Kill() {
  if (process_ == nullptr) return;
  ::TerminateProcess(process_, 9);
  ::WaitForSingleObject(process_, 10000);
}

namespace {

struct WindowQuery {
  DWORD process_id;
  std::string caption;
  HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM data) {
  auto* query = reinterpret_cast<WindowQuery*>(data);
  DWORD owner = 0;
  ::GetWindowThreadProcessId(window, &owner);
  if (owner != query->process_id || !::IsWindowVisible(window)) return TRUE;
  char title[512] = {0};
  ::GetWindowTextA(window, title, sizeof title);
  if (query->caption != title) return TRUE;
  query->found = window;
  return FALSE;
}

// The text of a message box is the static control 0xFFFF.
constexpr int kBoxTextId = 0xFFFF;

// The icon is a static control of the icon kind that holds one (its id
// differs between Windows and Wine).
BOOL CALLBACK FindIcon(HWND child, LPARAM data) {
  char kind[32] = {0};
  ::GetClassNameA(child, kind, sizeof kind);
  const LONG_PTR style = ::GetWindowLongPtrA(child, GWL_STYLE);
  if (lstrcmpiA(kind, "Static") == 0 && (style & SS_TYPEMASK) == SS_ICON &&
      ::IsWindowVisible(child) && ::SendMessageA(child, STM_GETICON, 0, 0) != 0) {
    *reinterpret_cast<bool*>(data) = true;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

HWND WaitForWindow(DWORD process_id, const std::string& caption, DWORD timeout_ms) {
  const ULONGLONG end = ::GetTickCount64() + timeout_ms;
  for (;;) {
    WindowQuery query = {process_id, caption, nullptr};
    ::EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&query));
    if (query.found != nullptr || ::GetTickCount64() >= end) return query.found;
    ::Sleep(50);
  }
}

BoxContent ReadMessageBox(HWND box) {
  BoxContent content;
  char text[2048] = {0};
  ::GetWindowTextA(box, text, sizeof text);
  content.caption = text;
  text[0] = '\0';
  ::GetDlgItemTextA(box, kBoxTextId, text, sizeof text);
  content.text = text;
  ::EnumChildWindows(box, FindIcon, reinterpret_cast<LPARAM>(&content.has_icon));
  return content;
}

void CloseMessageBox(HWND box) { ::PostMessageA(box, WM_COMMAND, IDOK, 0); }

std::string SourceFile(const std::string& relative) {
  std::string path = std::string(FETCHER_SOURCE_DIR) + "/" + relative;
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

std::string Utf16FileBytes(const std::string& utf8, bool big_endian) {
  std::wstring wide(utf8.size(), L'\0');
  wide.resize(static_cast<size_t>(::MultiByteToWideChar(CP_UTF8, 0, utf8.data(),
                                                        static_cast<int>(utf8.size()), &wide[0],
                                                        static_cast<int>(wide.size()))));
  std::string bytes = big_endian ? "\xFE\xFF" : "\xFF\xFE";
  for (const wchar_t unit : wide) {
    const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
    bytes += big_endian ? high : low;
    bytes += big_endian ? low : high;
  }
  return bytes;
}

std::string Utf8OfUtf16File(const std::string& bytes, bool big_endian) {
  if (bytes.size() % 2 != 0 || bytes.compare(0, 2, big_endian ? "\xFE\xFF" : "\xFF\xFE") != 0) {
    return "";
  }
  std::wstring wide;
  for (size_t i = 2; i < bytes.size(); i += 2) {
    const unsigned first = static_cast<unsigned char>(bytes[i]);
    const unsigned second = static_cast<unsigned char>(bytes[i + 1]);
    wide += static_cast<wchar_t>(big_endian ? first << 8 | second : second << 8 | first);
  }
  std::string utf8(wide.size() * 3, '\0');
  const int n = ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(),
                                      static_cast<int>(wide.size()), &utf8[0],
                                      static_cast<int>(utf8.size()), nullptr, nullptr);
  utf8.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return utf8;
}

std::string CopyFetcherInto(const std::string& dir) {
  const std::string copy = dir + "wallpaper-fetcher.exe";
  ::CopyFileA(FetcherExe().c_str(), copy.c_str(), FALSE);
  const std::string exe = FetcherExe();
  const std::string console = exe.substr(0, exe.size() - 4) + ".com";
  ::CopyFileA(console.c_str(), (dir + "wallpaper-fetcher.com").c_str(), FALSE);
  return copy;
}

// The server.

struct LocalHttpServer::Impl {
  struct Route {
    int status = 200;
    std::string body;
    size_t piece = 0;  // > 0: trickled
    std::chrono::milliseconds interval{0};
    bool stall = false;
  };

  mutable std::mutex mutex;
  std::condition_variable stopping;
  std::map<std::string, Route> routes;
  std::vector<std::pair<std::string, std::string>> directories;
  std::map<std::string, int> counts;
  SOCKET listener = INVALID_SOCKET;
  int port = 0;
  bool stopped = false;
  std::thread acceptor;
  std::vector<std::thread> connections;

  // Waits `duration` or until the server stops; true when it stopped.
  bool WaitUnlessStopped(std::chrono::milliseconds duration) {
    std::unique_lock<std::mutex> lock(mutex);
    return stopping.wait_for(lock, duration, [this] { return stopped; });
  }

  bool Lookup(const std::string& path, Route* route) {
    std::lock_guard<std::mutex> lock(mutex);
    ++counts[path];
    auto it = routes.find(path);
    if (it != routes.end()) {
      *route = it->second;
      return true;
    }
    for (const auto& [prefix, dir] : directories) {
      if (path.compare(0, prefix.size(), prefix) != 0) continue;
      std::string name = path.substr(prefix.size());
      if (name.find("..") != std::string::npos) continue;
      std::replace(name.begin(), name.end(), '/', '\\');
      if (!FileExists(dir + name)) continue;
      route->body = ReadFileBytes(dir + name);
      return true;
    }
    return false;
  }

  static bool SendAll(SOCKET s, const char* data, size_t size) {
    while (size > 0) {
      const int n = ::send(s, data, static_cast<int>(std::min<size_t>(size, 1 << 20)), 0);
      if (n <= 0) return false;
      data += n;
      size -= static_cast<size_t>(n);
    }
    return true;
  }

  void Serve(SOCKET s) {
    std::string request;
    char chunk[4096];
    while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536) {
      const int n = ::recv(s, chunk, sizeof chunk, 0);
      if (n <= 0) break;
      request.append(chunk, static_cast<size_t>(n));
    }
    const size_t first = request.find(' ');
    const size_t second = request.find(' ', first + 1);
    std::string path = first == std::string::npos || second == std::string::npos
                           ? "/"
                           : request.substr(first + 1, second - first - 1);
    const size_t query = path.find('?');
    if (query != std::string::npos) path.erase(query);
    Route route;
    if (!Lookup(path, &route)) {
      route.status = 404;
      route.body = "Not Found";
    }
    if (route.stall) {
      while (!WaitUnlessStopped(std::chrono::milliseconds(1000))) {
      }
      ::closesocket(s);
      return;
    }
    std::string head = "HTTP/1.1 " + std::to_string(route.status) +
                       (route.status == 200 ? " OK" : " Not Found") +
                       "\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
                       std::to_string(route.body.size()) + "\r\nConnection: close\r\n\r\n";
    bool ok = SendAll(s, head.data(), head.size());
    if (route.piece == 0) {
      ok = ok && SendAll(s, route.body.data(), route.body.size());
    } else {
      for (size_t at = 0; ok && at < route.body.size(); at += route.piece) {
        if (at > 0 && WaitUnlessStopped(route.interval)) break;
        ok = SendAll(s, route.body.data() + at, std::min(route.piece, route.body.size() - at));
      }
    }
    ::shutdown(s, SD_SEND);
    ::closesocket(s);
  }

  void Accept() {
    for (;;) {
      const SOCKET s = ::accept(listener, nullptr, nullptr);
      if (s == INVALID_SOCKET) return;  // closed by Stop
      std::lock_guard<std::mutex> lock(mutex);
      if (stopped) {
        ::closesocket(s);
        return;
      }
      connections.emplace_back([this, s] { Serve(s); });
    }
  }
};

LocalHttpServer::LocalHttpServer() : impl_(std::make_shared<Impl>()) {
  WSADATA data;
  ::WSAStartup(MAKEWORD(2, 2), &data);
}

LocalHttpServer::~LocalHttpServer() {
  Stop();
  ::WSACleanup();
}

void LocalHttpServer::ServeBytes(const std::string& path, const std::string& bytes, int status) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  Impl::Route route;
  route.status = status;
  route.body = bytes;
  impl_->routes[path] = route;
}

void LocalHttpServer::ServeDirectory(const std::string& prefix, const std::string& directory) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->directories.emplace_back(prefix, directory);
}

void LocalHttpServer::Trickle(const std::string& path, const std::string& bytes, size_t piece,
                              std::chrono::milliseconds interval) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  Impl::Route route;
  route.body = bytes;
  route.piece = piece == 0 ? 1 : piece;
  route.interval = interval;
  impl_->routes[path] = route;
}

void LocalHttpServer::Stall(const std::string& path) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  Impl::Route route;
  route.stall = true;
  impl_->routes[path] = route;
}

bool LocalHttpServer::Start() {
  const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return false;
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  int length = sizeof address;
  if (::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(s, 64) != 0 ||
      ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ::closesocket(s);
    return false;
  }
  impl_->listener = s;
  impl_->port = ntohs(address.sin_port);
  impl_->acceptor = std::thread([impl = impl_] { impl->Accept(); });
  return true;
}

void LocalHttpServer::Stop() {
  {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    if (impl_->stopped) return;
    impl_->stopped = true;
  }
  impl_->stopping.notify_all();
  if (impl_->listener != INVALID_SOCKET) ::closesocket(impl_->listener);
  if (impl_->acceptor.joinable()) impl_->acceptor.join();
  std::vector<std::thread> connections;
  {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    connections.swap(impl_->connections);
  }
  for (std::thread& connection : connections) connection.join();
}

int LocalHttpServer::port() const { return impl_->port; }

std::string LocalHttpServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(impl_->port) + path;
}

int LocalHttpServer::RequestCount(const std::string& path) const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  auto it = impl_->counts.find(path);
  return it == impl_->counts.end() ? 0 : it->second;
}
