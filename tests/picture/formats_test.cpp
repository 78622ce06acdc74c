// The table of picture formats against FreeImage, whose lookup by extension
// it follows on both systems.
#include "picture/formats.h"

#include <FreeImage.h>
#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

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

}  // namespace
