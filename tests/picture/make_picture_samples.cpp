// Writes the picture samples and what FreeImage makes of each into a
// directory (tests/data/pictures by default): NAME, and expected/NAME.bmp,
// the 24-bit bitmap of FreeImage's pixels that the Windows build's
// Walp.bmp must equal. Run by scripts/make-picture-samples.sh.

#include <FreeImage.h>

#include <cstdio>
#include <string>

#include "support/picture_samples.h"

namespace {

bool WriteFile(const std::string& path, const std::string& bytes) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_picture_samples DIRECTORY (with an expected/ folder)\n");
    return 2;
  }
  const std::string dir = std::string(argv[1]) + "/";
  int failures = 0;
  for (const PictureSample& sample : PictureSamples()) {
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
