// A whole suggestion on a hostile site: whatever its pages hold, the search
// for a chain, the making of its rules and their proof end (no exception,
// no crash, no hang) within the probe's bounds, and what they say holds
// together.
//
// Input: pages separated by 0x1F. The site is made of them: every address
// ending in a picture's extension is a JPEG header whose size the address
// chooses (a full-size picture, a thumbnail, a pixel), every other address
// one of the pages, the start page the first.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "picture/picture_codec.h"
#include "platform/desktop/desktop.h"
#include "platform/network/internet.h"
#include "suggestion/suggester.h"

namespace {

constexpr char kSeparator = '\x1f';
constexpr char kStart[] = "http://site.example/";

size_t Hash(const std::string& text) { return std::hash<std::string>()(text); }

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The first bytes of a baseline JPEG of `width` by `height`.
std::string JpegHeader(unsigned width, unsigned height) {
  std::string header = "\xFF\xD8\xFF\xC0";
  header += std::string("\x00\x11\x08", 3);
  header += static_cast<char>(height >> 8);
  header += static_cast<char>(height & 255);
  header += static_cast<char>(width >> 8);
  header += static_cast<char>(width & 255);
  header += std::string("\x03\x01\x22\x00\x02\x11\x01\x03\x11\x01", 10);
  return header;
}

class Site : public Internet {
 public:
  explicit Site(const std::string& bytes) {
    for (size_t start = 0;;) {
      const size_t end = bytes.find(kSeparator, start);
      pages_.push_back(bytes.substr(start, end - start));
      if (end == std::string::npos) break;
      start = end + 1;
    }
  }

  std::string Body(const std::string& url) const {
    std::string path = url.substr(0, url.find_first_of("?#"));
    for (char& c : path) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (EndsWith(path, ".jpg") || EndsWith(path, ".jpeg") || EndsWith(path, ".png")) {
      static const unsigned kSizes[][2] = {{1920, 1080}, {3840, 2160}, {300, 200}, {1, 1}};
      const unsigned* size = kSizes[Hash(url) % 4];
      return JpegHeader(size[0], size[1]);
    }
    if (url == kStart) return pages_[0];
    return pages_[Hash(url) % pages_.size()];
  }

  std::unique_ptr<InternetSession> OpenSession() override {
    return std::make_unique<Session>(*this);
  }

 private:
  class Session : public InternetSession {
   public:
    explicit Session(const Site& site) : site_(site) {}
    Result Fetch(const std::string& url, char* buffer, size_t size, const Sink& sink) override {
      if (url.rfind("http://", 0) != 0 && url.rfind("https://", 0) != 0)
        return Result::kNoFileObject;
      const std::string body = site_.Body(url);
      for (size_t done = 0; done < body.size();) {
        const size_t n = std::min(size, body.size() - done);
        std::memcpy(buffer, body.data() + done, n);
        if (!sink(n)) return Result::kFailed;
        done += n;
      }
      return Result::kComplete;
    }
    void Cancel() override {}
    Details LastDetails() const override { return {200, "text/html", ""}; }

   private:
    const Site& site_;
  };

  std::vector<std::string> pages_;
};

// Reads no picture: every proof ends at its first conversion.
class NoPictures : public PictureCodec {
 public:
  bool ReadSize(int, const std::string&, long long*, long long*) override { return false; }
  std::unique_ptr<Picture> Load(int, const std::string&) override { return nullptr; }
};

class NoDesktop : public Desktop {
 public:
  std::string CopyFolder() override { return ""; }
  WallpaperOutcome SetWallpaper(const std::string&, const std::string&,
                                const WallpaperLook&) override {
    std::abort();  // a suggestion shows nothing
  }
  std::vector<std::string> Describe(const WallpaperLook&) override { return {}; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 16384) return 0;
  Site site(std::string(reinterpret_cast<const char*>(data), size));
  NoPictures pictures;
  NoDesktop desktop;
  int64_t now = 0;
  const std::function<int64_t()> clock = [&now] { return now += 1; };
  ProbeLimits limits;
  limits.max_requests = 24;
  WebProbe probe(site, clock, limits);
  const ProofTools tools{site, pictures, desktop, clock, ""};
  const Suggestion suggestion = SuggestSite(kStart, probe, tools);
  // Nothing is proved without a picture that converts, and a failed search
  // says why.
  if (suggestion.proved || suggestion.reasons.empty()) std::abort();
  if (probe.requests() > limits.max_requests) std::abort();
  return 0;
}
