#ifndef PLATFORM_OWNED_HANDLE_H_
#define PLATFORM_OWNED_HANDLE_H_

// Owners for handles: each is released exactly once, when its owner goes, on
// every path out of the code that holds it (an early return, an exception).

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include <memory>

// A pointer handle of a C interface and the call that releases it:
// Owned<Display, XCloseDisplay>, Owned<std::FILE, std::fclose>, ...
template <auto Release>
struct ReleaseWith {
  template <typename T>
  void operator()(T* handle) const {
    Release(handle);
  }
};
template <typename T, auto Release>
using Owned = std::unique_ptr<T, ReleaseWith<Release>>;

// A file descriptor (on Windows one of the C runtime).
class OwnedFd {
 public:
  OwnedFd() = default;
  explicit OwnedFd(int fd) : fd_(fd) {}
  ~OwnedFd() { Close(); }
  OwnedFd(OwnedFd&& other) noexcept : fd_(other.Release()) {}
  OwnedFd& operator=(OwnedFd&& other) noexcept {
    if (this != &other) {
      Close();
      fd_ = other.Release();
    }
    return *this;
  }

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  // Gives the descriptor up, to be closed elsewhere (or never).
  int Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  // Closes it now. False when the close reports an error (data written that
  // may not have reached the file); true when there was nothing to close.
  bool Close() {
    if (fd_ < 0) return true;
#ifdef _WIN32
    return ::_close(Release()) == 0;
#else
    return ::close(Release()) == 0;
#endif
  }

 private:
  int fd_ = -1;
};

#endif  // PLATFORM_OWNED_HANDLE_H_
