// The table of picture formats against FreeImage, whose lookup by extension
// it follows on both systems.
#include "picture/formats.h"

#include <FreeImage.h>
#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "picture/header_size.h"
#include "support/picture_samples.h"
#include "support/test_pictures.h"

namespace {

TEST(PictureFormatsTest, ExtensionsNameTheFormatsFreeImageNamesThem) {
  // The program looks formats up without loading FreeImage; every name and
  // extension FreeImage knows, in any case, must give FreeImage's answer.
  std::vector<std::string> texts = {"", ".", "jpg", ".jpg.", "..png", ".xyz", ".jpgx", ". jpg"};
  for (int format = 0; format < FreeImage_GetFIFCount(); ++format) {
    const auto fif = static_cast<FREE_IMAGE_FORMAT>(format);
    std::string names = std::string(FreeImage_GetFormatFromFIF(fif)) + "," +
                        FreeImage_GetFIFExtensionList(fif) + ",";
    for (size_t start = 0, comma; (comma = names.find(',', start)) != std::string::npos;
         start = comma + 1) {
      const std::string name = names.substr(start, comma - start);
      std::string upper = name;
      for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      texts.insert(texts.end(), {"." + name, "." + upper, "a.b." + name});
    }
  }
  for (const std::string& text : texts) {
    EXPECT_EQ(FreeImage_GetFIFFromFilename(text.c_str()), PictureFormatFromExtension(text)) << text;
  }
}

TEST(PictureFormatsTest, SignaturesTellEverySampleFromItsContentAlone) {
  // Every committed sample, its name forgotten, is known by its first bytes
  // as the format its extension names (the PNM variants as their family),
  // except the formats that have no signature.
  const std::string samples = std::string(FETCHER_SOURCE_DIR) + "/tests/data/pictures/";
  int known = 0;
  for (const PictureSample& sample : PictureSamples()) {
    const int named = PictureFormatFromExtension(sample.name);
    const std::string head = ReadPictureHead(samples + sample.name);
    ASSERT_EQ(kPictureSignatureBytes, head.size()) << sample.name;
    bool by_content = false;
    if (FindPictureFormat(named)->signatures.empty()) {
      EXPECT_EQ(named, PictureFormatOf(sample.name, head, &by_content)) << sample.name;
      continue;
    }
    EXPECT_EQ(named, PictureFormatFromContent(head)) << sample.name;
    EXPECT_EQ(named, PictureFormatOf("", head, &by_content)) << sample.name;
    EXPECT_TRUE(by_content);
    EXPECT_EQ(named, PictureFormatOf(".gif", head, &by_content)) << sample.name;
    ++known;
  }
  EXPECT_GT(known, 40);
  // What is no picture, or too short to tell, is none.
  for (const std::string& head : {std::string("<html>"), std::string("B"), std::string(),
                                  std::string("\xFF\xD8"), std::string("RIFF\0\0\0\0WAVE")}) {
    EXPECT_EQ(-1, PictureFormatFromContent(head)) << head;
  }
  EXPECT_EQ(".jpg", PictureExtension(FIF_JPEG));
  EXPECT_EQ(".tif", PictureExtension(FIF_TIFF));
  EXPECT_EQ("", PictureExtension(-1));
}

}  // namespace

namespace {

TEST(PictureFormatsTest, TheSizeIsReadFromAPicturesFirstBytes) {
  for (const FREE_IMAGE_FORMAT format : {FIF_JPEG, FIF_PNG, FIF_GIF, FIF_BMP}) {
    const std::string bytes = GradientPicture(format, 640, 360);
    const int found = PictureFormatFromContent(bytes.substr(0, kPictureSignatureBytes));
    EXPECT_EQ(format, found);
    long long width = 0, height = 0;
    EXPECT_TRUE(PictureSizeFromHead(bytes.substr(0, 4096), found, &width, &height)) << format;
    EXPECT_EQ(640, width) << format;
    EXPECT_EQ(360, height) << format;
    EXPECT_FALSE(PictureSizeFromHead(bytes.substr(0, 8), found, &width, &height)) << format;
  }
  long long width = 0, height = 0;
  EXPECT_FALSE(PictureSizeFromHead("<html>", -1, &width, &height));
}

}  // namespace
