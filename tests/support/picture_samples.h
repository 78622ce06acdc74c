#ifndef TESTS_SUPPORT_PICTURE_SAMPLES_H_
#define TESTS_SUPPORT_PICTURE_SAMPLES_H_

#include <FreeImage.h>

#include <ostream>
#include <string>
#include <vector>

// Small picture files of every format and variant the program accepts, made
// byte by byte (TARGA, PCX, PNM, Sun raster, KOALA, Photo CD) or with
// FreeImage's own writers (BMP, ICO, JPEG, PNG, TIFF). The same call always
// gives the same bytes; tests/data/pictures holds them as files.
struct PictureSample {
  std::string name;  // a file name whose extension selects the format
  std::string bytes;
  bool ours;  // decoded by imaging/ on every system, not only by FreeImage
};

std::vector<PictureSample> PictureSamples();

// FreeImageReference (24 bits) in a forked child, for damaged files: FreeImage's
// loaders read and write outside their buffers on some of them, as the Linux
// build knows (it decodes in children too). A child that dies is a refusal,
// as there. Null when refused.
FIBITMAP* FreeImageReferenceInChild(const std::string& name, const std::string& bytes);

// Parameterised tests print a sample by its name.
inline void PrintTo(const PictureSample& sample, std::ostream* out) { *out << sample.name; }

// What FreeImage makes of `bytes` on the Linux build: the loader for the
// name's extension with flags 0, a picture of 16 bits a channel brought down
// to 8 as the conversion to Walp.bmp does, then 24 bits a pixel. Null when
// FreeImage cannot load it. The caller unloads it.
FIBITMAP* FreeImageReference(const std::string& name, const std::string& bytes,
                             bool keep_alpha = false);

#endif  // TESTS_SUPPORT_PICTURE_SAMPLES_H_
