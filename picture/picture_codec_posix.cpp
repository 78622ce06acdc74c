// Pictures decoded with FreeImage in a child process.
//
// Pictures come from the web, and FreeImage's decoders are known to crash,
// abort or allocate without bound on hostile files. So one forked child per
// picture does all of FreeImage's work (it loads FreeImage itself: the main
// process never does), with its memory and each step's time bounded; a child
// that dies for any reason is a picture that could not be read. The child
// reads the header and reports the size, and decodes the pixels only when
// the parent, having checked that size, asks it to (Load); it then keeps the
// decoded picture until SaveBmp hands it the temporary file beside the
// bitmap's place, and writes the bitmap straight into it. No pixels cross
// between the processes. Once FreeImage is loaded and the picture opened,
// the child confines itself to decoding (ConfineDecoderChild): a picture
// that takes the decoder over can neither reach files nor the network.

#include <malloc.h>
#include <seccomp.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "picture/formats.h"
#include "picture/freeimage_decoder_posix.h"
#include "picture/picture_codec.h"
#include "platform/filesystem/filesystem.h"
#include "platform/owned_handle.h"
#include "platform/process/child_process_posix.h"

namespace {

// Bounds for one decoder child. A whole picture may take a few seconds at
// the largest size the program accepts; a header takes milliseconds.
constexpr int kHeaderTimeoutMs = 10000;
constexpr int kLoadTimeoutMs = 30000;
constexpr int kWriteTimeoutMs = 30000;
// Address space a child may add to what it inherits: room for the largest
// accepted picture at 4 bytes a pixel, a converted copy and the decoder's
// own buffers (4 GiB).
constexpr unsigned long long kChildMemoryBudget = 4 * (4 * kMaxPicturePixels);

// What the child reports after each step.
struct StepReport {
  long long ok = 0;      // 1: the step succeeded
  long long width = 0;   // the size read (header, picture), or the bitmap's
  long long height = 0;  // size in bytes after writing (and errno when it failed)
};

// What the parent asks for next.
enum Command : char { kDecode = 'D', kWrite = 'W' };

// Lets the decoded picture (FreeImage allocates it with malloc and clears
// it) take memory in huge pages where the system gives them on request:
// some tens of faults instead of thousands. The room is made at the top of
// the heap (a block allocated and freed, kept by the allocator) for
// pictures up to the allocator's largest heap allocation; larger ones are
// mapped on their own as before.
void PrepareHugePages(long long width, long long height) {
  constexpr long long kHugePage = 2 << 20;
  constexpr long long kLargestHeapBlock = 32 << 20;
  if (width <= 0 || height <= 0 || width > kLargestHeapBlock / 4 / height) return;
  const long long bytes = std::min(width * height * 4 + kHugePage, kLargestHeapBlock - kHugePage);
  ::mallopt(M_MMAP_THRESHOLD, static_cast<int>(kLargestHeapBlock));
  ::mallopt(M_TRIM_THRESHOLD, static_cast<int>(kLargestHeapBlock * 2));
  void* block = std::malloc(static_cast<size_t>(bytes));
  if (block == nullptr) return;
  const auto start = (reinterpret_cast<uintptr_t>(block) + kHugePage - 1) & ~(kHugePage - 1);
  const auto end = reinterpret_cast<uintptr_t>(::sbrk(0)) & ~(kHugePage - 1);
  std::free(block);
  if (end > start) ::madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
}

void (*g_probe_after_confinement)() = nullptr;

// Leaves the decoder child nothing but decoding: from here on it may only
// compute, manage its memory, and read and write the descriptors it holds
// (the picture, its socket to the parent, the bitmap file the parent hands
// down over that socket). Any other system call (opening a file, a socket,
// starting a program, signalling another process, ...) kills it, and the
// parent sees a picture that could not be read. Also no new privileges, no
// core file and no tracing by other processes of the user. False when the
// confinement could not be set up: the child then decodes nothing.
bool ConfineDecoderChild() {
  if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) return false;
  if (::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) != 0) return false;
  struct rlimit no_core = {0, 0};
  if (::setrlimit(RLIMIT_CORE, &no_core) != 0) return false;
  scmp_filter_ctx filter = ::seccomp_init(SCMP_ACT_KILL_PROCESS);
  if (filter == nullptr) return false;
  const Owned<void, ::seccomp_release> owned_filter(filter);
  struct Allowed {
    int number;
    const char* why;
  };
  const Allowed allowed[] = {
      {SCMP_SYS(read), "the picture through stdio, the parent's commands"},
      {SCMP_SYS(write), "the reports to the parent; stdio's writes, to /dev/null"},
      {SCMP_SYS(pwrite64), "the bitmap into the file handed down"},
      {SCMP_SYS(lseek), "FreeImage's seeks in the picture"},
      {SCMP_SYS(recvmsg), "the parent's commands and the bitmap file's descriptor"},
      {SCMP_SYS(sendmsg), "the reports to the parent"},
      {SCMP_SYS(sync_file_range), "the bitmap sent on to the disk while it is written"},
      {SCMP_SYS(close), "the descriptors it holds, when done with them"},
      {SCMP_SYS(brk), "the heap"},
      {SCMP_SYS(munmap), "large allocations freed"},
      {SCMP_SYS(mremap), "large allocations grown (realloc)"},
      {SCMP_SYS(madvise), "huge pages for the picture; memory given back by the allocator"},
      {SCMP_SYS(futex), "locks in the C and C++ runtimes"},
      {SCMP_SYS(exit), "the end of the child"},
      {SCMP_SYS(exit_group), "the end of the child"},
      {SCMP_SYS(rt_sigreturn), "the return from a signal handler"},
  };
  for (const Allowed& call : allowed) {
    if (::seccomp_rule_add(filter, SCMP_ACT_ALLOW, call.number, 0) != 0) return false;
  }
  // Memory may be mapped (large allocations) and change its protection (the
  // allocator does), but never become executable.
  for (int call : {SCMP_SYS(mmap), SCMP_SYS(mprotect)}) {
    if (::seccomp_rule_add(filter, SCMP_ACT_ALLOW, call, 1,
                           SCMP_A2(SCMP_CMP_MASKED_EQ, PROT_EXEC, 0)) != 0) {
      return false;
    }
  }
  return ::seccomp_load(filter) == 0;
}

// The child's side: header, then (when asked) the pixels, then (when
// handed a file) the bitmap. Returns when the parent goes away.
void DecodeInChild(int socket, int format, const std::string& path) {
  // A decode that reads past the end of the file was cut short: the child
  // gives up there at once, rather than let the decoder fill out a header's
  // worth of missing lines.
  PictureDecoder decoder([] { ::_exit(2); });
  // FreeImage is loaded and the picture opened before the confinement.
  const bool opened = decoder.Open(format, path) && ConfineDecoderChild();
  if (opened && g_probe_after_confinement != nullptr) g_probe_after_confinement();
  StepReport header;
  header.ok = opened && decoder.ReadHeader(&header.width, &header.height);
  if (!SendToParent(socket, &header, sizeof header) || !opened) return;
  char command = 0;
  OwnedFd output;
  if (!ReceiveFromParent(socket, &command, 1, &output) || command != kDecode) return;
  PrepareHugePages(header.width, header.height);
  StepReport decoded;
  decoded.ok = decoder.Decode(&decoded.width, &decoded.height);
  if (!SendToParent(socket, &decoded, sizeof decoded) || !decoded.ok) return;
  if (!ReceiveFromParent(socket, &command, 1, &output) || command != kWrite || !output.valid()) {
    return;
  }
  StepReport written;
  written.ok = decoder.WriteBmp(output.get(), &written.width);
  if (!written.ok) written.height = errno;
  SendToParent(socket, &written, sizeof written);
}

// One picture's decoder child, from its header to its bitmap.
class DecoderChild {
 public:
  DecoderChild(int format, const std::string& path) : format_(format), path_(path) {}

  bool Is(int format, const std::string& path) const { return format == format_ && path == path_; }

  // Starts the child; true when it read the header.
  bool ReadHeader(long long* width, long long* height) {
    const int format = format_;
    const std::string path = path_;
    StepReport header;
    if (!child_.Start([format, path](int socket) { DecodeInChild(socket, format, path); },
                      kChildMemoryBudget) ||
        !child_.Receive(&header, sizeof header, kHeaderTimeoutMs)) {
      return false;
    }
    *width = header.width;
    *height = header.height;
    return header.ok == 1;
  }

  bool Decode() {
    const char command = kDecode;
    StepReport decoded;
    if (!child_.Send(&command, 1) || !child_.Receive(&decoded, sizeof decoded, kLoadTimeoutMs) ||
        decoded.ok != 1) {
      child_.End();
      return false;
    }
    width_ = decoded.width;
    height_ = decoded.height;
    return true;
  }

  // Has the child write the bitmap into `fd`; it ends after that. False,
  // with errno as the child's write left it (0 when it said nothing), when
  // the bitmap was not written.
  bool WriteBmp(int fd) {
    const char command = kWrite;
    StepReport written;
    const bool ok = child_.Send(&command, 1, fd) &&
                    child_.Receive(&written, sizeof written, kWriteTimeoutMs) && written.ok == 1;
    child_.End();
    errno =
        ok || written.height <= 0 || written.height > 4095 ? 0 : static_cast<int>(written.height);
    return ok;
  }

  long long width() const { return width_; }
  long long height() const { return height_; }

 private:
  int format_;
  std::string path_;
  ChildConversation child_;
  long long width_ = 0;
  long long height_ = 0;
};

// A decoded picture: its pixels wait in the decoder child.
class ChildPicture : public Picture {
 public:
  explicit ChildPicture(std::unique_ptr<DecoderChild> child) : child_(std::move(child)) {}

  int Width() const override { return static_cast<int>(child_->width()); }
  int Height() const override { return static_cast<int>(child_->height()); }

  // The child writes into a new file beside `path`, renamed over it when
  // whole. The child ends after one save.
  Outcome SaveBmp(const std::string& path) const override {
    return ReplaceFileWhole(path, [this](int fd) { return child_->WriteBmp(fd); });
  }

 private:
  std::unique_ptr<DecoderChild> child_;
};

class ChildProcessCodec : public PictureCodec {
 public:
  // The child that read the header stays to decode the same picture if the
  // next call is Load; any other call ends it.
  bool ReadSize(int format, const std::string& path, long long* width, long long* height) override {
    waiting_.reset();
    if (format < 0) return false;
    auto child = std::make_unique<DecoderChild>(format, path);
    if (!child->ReadHeader(width, height)) return false;
    waiting_ = std::move(child);
    return true;
  }

  std::unique_ptr<Picture> Load(int format, const std::string& path) override {
    std::unique_ptr<DecoderChild> child = std::move(waiting_);
    if (format < 0) return nullptr;
    if (child == nullptr || !child->Is(format, path)) {
      long long width = 0;
      long long height = 0;
      child = std::make_unique<DecoderChild>(format, path);
      child->ReadHeader(&width, &height);  // a header it cannot read is no reason not to try
    }
    if (!child->Decode()) return nullptr;
    return std::make_unique<ChildPicture>(std::move(child));
  }

 private:
  std::unique_ptr<DecoderChild> waiting_;
};

}  // namespace

void SetDecoderChildProbeForTesting(void (*probe)()) { g_probe_after_confinement = probe; }

// The decoder children here are forked, never started by name.
int RunAsDecoderChild(const std::vector<std::string>&) { return -1; }

PictureCodec& SystemPictureCodec() {
  static ChildProcessCodec codec;
  return codec;
}
