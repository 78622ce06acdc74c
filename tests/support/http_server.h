#ifndef TESTS_SUPPORT_HTTP_SERVER_H_
#define TESTS_SUPPORT_HTTP_SERVER_H_

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace httplib {
struct Request;
struct Response;
}  // namespace httplib

// A real HTTP server for tests, on 127.0.0.1 at a port of its own choosing,
// answering on a thread of its own until Stop or the destructor:
//
//   LocalHttpServer server;
//   server.ServeBytes("/a.jpg", bytes, "image/jpeg");
//   ASSERT_TRUE(server.Start());
//   ... fetch server.Url("/a.jpg") ...
//
// Routes match the path exactly (the query is ignored) and may be added
// before or after Start; a later route for the same path replaces the
// earlier one. Unknown paths get a 404 with the body "Not Found". Every
// request is recorded. Handlers that wait (Stall, Trickle) give up as soon
// as the server stops, so Stop never hangs on them.
class LocalHttpServer {
 public:
  // Custom handlers use cpp-httplib's types (include <httplib.h>).
  using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;

  struct Request {
    std::string method;
    std::string target;  // path and query as sent
    std::string user_agent;
  };

  LocalHttpServer();
  // HTTPS with the given PEM certificate and key (Start fails when they
  // don't load).
  LocalHttpServer(const std::string& cert_file, const std::string& key_file);
  ~LocalHttpServer();
  LocalHttpServer(const LocalHttpServer&) = delete;
  LocalHttpServer& operator=(const LocalHttpServer&) = delete;

  // `bytes` as the body, with the given type and status.
  void ServeBytes(const std::string& path, const std::string& bytes,
                  const std::string& content_type = "application/octet-stream", int status = 200);
  // The file's content as it is at the time of each request (404 when missing).
  void ServeFile(const std::string& path, const std::string& file,
                 const std::string& content_type = "application/octet-stream");
  // Every file under `directory` (ending in "/") as `prefix` + its name;
  // names holding ".." are refused.
  void ServeDirectory(const std::string& prefix, const std::string& directory);
  // A redirect to `location` (absolute, or relative to this server).
  void Redirect(const std::string& path, const std::string& location, int status = 302);
  // Sends the headers, announcing `prefix` plus a million bytes more, and
  // `prefix`; then sends nothing until the server stops. Each such request
  // holds one of the server's (at least eight) threads until then.
  void Stall(const std::string& path, const std::string& prefix = "");
  // Sends `bytes` (with their length announced) in pieces of `piece` bytes,
  // waiting `interval` before each piece after the first.
  void Trickle(const std::string& path, const std::string& bytes, size_t piece,
               std::chrono::milliseconds interval);
  // Anything else.
  void Handle(const std::string& path, Handler handler);
  // Every path that no route and no directory answers (instead of a 404).
  void HandleOthers(Handler handler);

  // Binds 127.0.0.1 on a free port and starts answering (once). False on
  // failure.
  bool Start();
  // Ends waiting handlers and stops answering; the port is then refused.
  // Safe to call twice.
  void Stop();

  int port() const;
  // "http://127.0.0.1:PORT" + path ("https://..." for HTTPS).
  std::string Url(const std::string& path) const;
  // The requests so far, in order of arrival.
  std::vector<Request> Requests() const;
  // How many requests asked for `path` (query ignored).
  int RequestCount(const std::string& path) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

#endif  // TESTS_SUPPORT_HTTP_SERVER_H_
