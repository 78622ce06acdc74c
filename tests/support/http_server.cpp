#include "support/http_server.h"

#include <httplib.h>

#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

#include "support/test_support.h"

namespace {
// A stalled response announces this many bytes beyond its prefix.
constexpr size_t kStallAnnounced = 1000000;
// How long a waiting handler holds on when nobody stops the server.
constexpr std::chrono::seconds kLongestWait(120);
}  // namespace

struct LocalHttpServer::Impl {
  Impl(std::unique_ptr<httplib::Server> owned, bool is_tls)
      : server_owner(std::move(owned)), server(*server_owner), tls(is_tls) {
    // One route for all: the table below can change while the server runs.
    server.Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
      Dispatch(request, response);
    });
  }

  std::unique_ptr<httplib::Server> server_owner;
  httplib::Server& server;
  bool tls;
  std::thread thread;
  std::atomic<bool> listen_returned{false};
  int port = -1;

  mutable std::mutex mutex;  // guards everything below
  std::condition_variable stop_signal;
  bool stopping = false;
  std::map<std::string, Handler> routes;
  Handler fallback;  // paths no route or directory answers, when set
  std::vector<std::pair<std::string, std::string>> directories;  // prefix, directory
  std::vector<Request> requests;

  void Dispatch(const httplib::Request& request, httplib::Response& response) {
    Handler handler;
    std::string file;
    {
      std::lock_guard<std::mutex> lock(mutex);
      requests.push_back({request.method, request.target, request.get_header_value("User-Agent")});
      auto found = routes.find(request.path);
      if (found != routes.end()) {
        handler = found->second;
      } else {
        for (const auto& [prefix, directory] : directories) {
          if (request.path.compare(0, prefix.size(), prefix) != 0) continue;
          const std::string name = request.path.substr(prefix.size());
          if (!name.empty() && name.find("..") == std::string::npos) file = directory + name;
          break;
        }
        if (file.empty()) handler = fallback;
      }
    }
    if (handler) {
      handler(request, response);
    } else if (!file.empty() && Exists(file)) {
      response.set_content(ReadFileBytes(file), "application/octet-stream");
    } else {
      response.status = 404;
      response.set_content("Not Found", "text/plain");
    }
  }

  bool WaitUnlessStopped(std::chrono::milliseconds duration) {
    std::unique_lock<std::mutex> lock(mutex);
    return stop_signal.wait_for(lock, duration, [this] { return stopping; });
  }
};

LocalHttpServer::LocalHttpServer()
    : impl_(std::make_unique<Impl>(std::make_unique<httplib::Server>(), false)) {}

LocalHttpServer::LocalHttpServer(const std::string& cert_file, const std::string& key_file)
    : impl_(std::make_unique<Impl>(
          std::make_unique<httplib::SSLServer>(cert_file.c_str(), key_file.c_str()), true)) {}

LocalHttpServer::~LocalHttpServer() { Stop(); }

void LocalHttpServer::Handle(const std::string& path, Handler handler) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->routes[path] = std::move(handler);
}

void LocalHttpServer::HandleOthers(Handler handler) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->fallback = std::move(handler);
}

void LocalHttpServer::ServeBytes(const std::string& path, const std::string& bytes,
                                 const std::string& content_type, int status) {
  Handle(path, [bytes, content_type, status](const httplib::Request&, httplib::Response& response) {
    response.status = status;
    response.set_content(bytes, content_type);
  });
}

void LocalHttpServer::ServeFile(const std::string& path, const std::string& file,
                                const std::string& content_type) {
  Handle(path, [file, content_type](const httplib::Request&, httplib::Response& response) {
    if (!Exists(file)) {
      response.status = 404;
      response.set_content("Not Found", "text/plain");
      return;
    }
    response.set_content(ReadFileBytes(file), content_type);
  });
}

void LocalHttpServer::ServeDirectory(const std::string& prefix, const std::string& directory) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->directories.emplace_back(prefix, directory);
}

void LocalHttpServer::Redirect(const std::string& path, const std::string& location, int status) {
  Handle(path, [location, status](const httplib::Request&, httplib::Response& response) {
    response.set_redirect(location, status);
  });
}

void LocalHttpServer::Stall(const std::string& path, const std::string& prefix) {
  Impl* impl = impl_.get();
  Handle(path, [impl, prefix](const httplib::Request&, httplib::Response& response) {
    response.set_content_provider(
        prefix.size() + kStallAnnounced, "application/octet-stream",
        [impl, prefix](size_t offset, size_t, httplib::DataSink& sink) {
          if (offset == 0 && !prefix.empty() && !sink.write(prefix.data(), prefix.size())) {
            return false;
          }
          impl->WaitUnlessStopped(kLongestWait);
          return false;  // drop the connection
        });
  });
}

void LocalHttpServer::Trickle(const std::string& path, const std::string& bytes, size_t piece,
                              std::chrono::milliseconds interval) {
  Impl* impl = impl_.get();
  auto body = std::make_shared<const std::string>(bytes);
  if (piece == 0) piece = 1;
  Handle(path, [impl, body, piece, interval](const httplib::Request&, httplib::Response& response) {
    response.set_content_provider(
        body->size(), "application/octet-stream",
        [impl, body, piece, interval](size_t offset, size_t length, httplib::DataSink& sink) {
          if (offset > 0 && impl->WaitUnlessStopped(interval)) return false;
          return sink.write(body->data() + offset, std::min(piece, length));
        });
  });
}

bool LocalHttpServer::Start() {
  if (impl_->thread.joinable()) return true;
  if (!impl_->server.is_valid()) return false;
  impl_->port = impl_->server.bind_to_any_port("127.0.0.1");
  if (impl_->port < 0) return false;
  impl_->thread = std::thread([impl = impl_.get()] {
    impl->server.listen_after_bind();
    impl->listen_returned = true;
  });
  // Stop can only end a server that is already listening. The socket takes
  // connections from bind on, so nothing else needs waiting for.
  while (!impl_->server.is_running() && !impl_->listen_returned) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return !impl_->listen_returned;
}

void LocalHttpServer::Stop() {
  {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->stopping = true;
  }
  impl_->stop_signal.notify_all();
  if (impl_->thread.joinable()) {
    impl_->server.stop();
    impl_->thread.join();
  }
}

int LocalHttpServer::port() const { return impl_->port; }

std::string LocalHttpServer::Url(const std::string& path) const {
  return (impl_->tls ? "https://127.0.0.1:" : "http://127.0.0.1:") + std::to_string(impl_->port) +
         path;
}

std::vector<LocalHttpServer::Request> LocalHttpServer::Requests() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->requests;
}

int LocalHttpServer::RequestCount(const std::string& path) const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  int count = 0;
  for (const Request& request : impl_->requests) {
    if (request.target.substr(0, request.target.find('?')) == path) ++count;
  }
  return count;
}
