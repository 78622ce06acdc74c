// Writes the picture samples and what FreeImage makes of each into a
// directory (tests/data/pictures by default): NAME, and expected/NAME.bmp,
// the 24-bit bitmap of FreeImage's pixels that the Windows build's
// Walp.bmp must equal. Run by scripts/make-picture-samples.sh.
//
// With --check it writes nothing and names each file of the directory that
// is not what it would write: a sample made byte by byte must be the same
// bytes (FreeImage's own writers leave some padding bytes unset), and
// expected/NAME.bmp must be the bitmap FreeImage makes of the file NAME there.

#include <FreeImage.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "support/picture_samples.h"
#include "support/shared_support.h"

namespace {

bool WriteFile(const std::string& path, const std::string& bytes) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && ok;
}

// The bitmap file FreeImage writes of `reference`.
std::string BmpOf(FIBITMAP* reference) {
  FIMEMORY* memory = FreeImage_OpenMemory();
  std::string bytes;
  BYTE* data = nullptr;
  DWORD size = 0;
  if (FreeImage_SaveToMemory(FIF_BMP, reference, memory, 0) &&
      FreeImage_AcquireMemory(memory, &data, &size)) {
    bytes.assign(reinterpret_cast<const char*>(data), size);
  }
  FreeImage_CloseMemory(memory);
  return bytes;
}

// Whether `dir` holds `sample` and FreeImage's pixels of it; says what not.
bool Holds(const std::string& dir, const PictureSample& sample) {
  const std::string committed = ReadFileBytes(dir + sample.name);
  bool same = true;
  if (committed.empty() || (sample.ours && committed != sample.bytes)) {
    std::fprintf(stderr, "%s: not the sample made now\n", sample.name.c_str());
    same = false;
  }
  FIBITMAP* reference = FreeImageReference(sample.name, committed);
  const std::string expected = "expected/" + sample.name + ".bmp";
  if (reference == nullptr || BmpOf(reference) != ReadFileBytes(dir + expected)) {
    std::fprintf(stderr, "%s: not FreeImage's pixels of %s\n", expected.c_str(),
                 sample.name.c_str());
    same = false;
  }
  if (reference != nullptr) FreeImage_Unload(reference);
  return same;
}

}  // namespace

int main(int argc, char** argv) {
  const bool check = argc == 3 && std::strcmp(argv[1], "--check") == 0;
  if (argc != 2 && !check) {
    std::fprintf(stderr, "usage: make_picture_samples [--check] DIRECTORY (with expected/)\n");
    return 2;
  }
  const std::string dir = std::string(argv[argc - 1]) + "/";
  int failures = 0;
  for (const PictureSample& sample : PictureSamples()) {
    if (check) {
      failures += !Holds(dir, sample);
      continue;
    }
    FIBITMAP* reference = FreeImageReference(sample.name, sample.bytes);
    const std::string expected = dir + "expected/" + sample.name + ".bmp";
    if (reference == nullptr || !WriteFile(dir + sample.name, sample.bytes) ||
        !FreeImage_Save(FIF_BMP, reference, expected.c_str(), 0)) {
      std::fprintf(stderr, "%s: not written\n", sample.name.c_str());
      ++failures;
    }
    if (reference != nullptr) FreeImage_Unload(reference);
  }
  return failures == 0 ? 0 : 1;
}
