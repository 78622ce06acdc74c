#ifndef PLATFORM_OWNED_HANDLE_H_
#define PLATFORM_OWNED_HANDLE_H_

// Owners for handles: each is released exactly once, when its owner goes, on
// every path out of the code that holds it (an early return, an exception).

#ifdef _WIN32
#include <io.h>
#include <windows.h>
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

#ifdef _WIN32
// A Win32 handle and the call that closes it. Null and INVALID_HANDLE_VALUE
// both mean none: CreateFileA and FindFirstFileA fail with the one,
// CreateMutexA and CreateFileMappingA with the other.
template <auto CloseCall>
class BasicOwnedHandle {
 public:
  BasicOwnedHandle() = default;
  explicit BasicOwnedHandle(HANDLE handle) : handle_(handle) {}
  ~BasicOwnedHandle() { Close(); }
  BasicOwnedHandle(BasicOwnedHandle&& other) noexcept : handle_(other.Release()) {}
  BasicOwnedHandle& operator=(BasicOwnedHandle&& other) noexcept {
    if (this != &other) {
      Close();
      handle_ = other.Release();
    }
    return *this;
  }

  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
  HANDLE Release() {
    const HANDLE handle = handle_;
    handle_ = nullptr;
    return handle;
  }
  // Closes it now. False when the close fails; true when there was nothing
  // to close.
  bool Close() {
    if (!valid()) return true;
    return CloseCall(Release()) != 0;
  }

 private:
  HANDLE handle_ = nullptr;
};

// A kernel object's handle (a file, a mutex, a mapping, a process).
using OwnedHandle = BasicOwnedHandle<::CloseHandle>;
// A FindFirstFileA search.
using OwnedFindHandle = BasicOwnedHandle<::FindClose>;
#endif

#endif  // PLATFORM_OWNED_HANDLE_H_
