// The floor a whole run is measured against: the same crawl and conversion
// as wallpaper-fetcher, written the straightforward way in one process with
// the same libraries (libcurl, Boost.Regex, FreeImage) and no isolation,
// no history, no trace. Used by bench/whole_run.sh.
//
// Usage: floor_run [--no-flush] SAVE_DIR BEGIN_URL [STEP_GET STEP_GO]...
// Each STEP_GET is searched over the page fetched last (leftmost-longest),
// every match fills STEP_GO's $_1_$.. placeholders, one link is picked at
// random and fetched; the last one is the picture, saved in SAVE_DIR,
// converted to SAVE_DIR/Walp.bmp (written beside it, flushed to disk as the
// program flushes it, unless --no-flush, then renamed) and deleted. Exit
// code 0 when Walp.bmp was made.
#include <FreeImage.h>
#include <curl/curl.h>
#include <fcntl.h>
#include <unistd.h>

#include <boost/regex.hpp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace {

size_t ToString(char* data, size_t one, size_t count, void* user) {
  static_cast<std::string*>(user)->append(data, one * count);
  return one * count;
}

size_t ToFile(char* data, size_t one, size_t count, void* user) {
  return std::fwrite(data, one, count, static_cast<std::FILE*>(user)) * one;
}

bool Fetch(CURL* curl, const std::string& url, size_t (*write)(char*, size_t, size_t, void*),
           void* target) {
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, write);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, target);
  return curl_easy_perform(curl) == CURLE_OK;
}

std::string Expand(std::string text, const boost::smatch& match) {
  for (size_t i = 1; i < match.size(); ++i) {
    const std::string placeholder = "$_" + std::to_string(i) + "_$";
    const size_t at = text.find(placeholder);
    if (at != std::string::npos) text.replace(at, placeholder.size(), match[i].str());
  }
  return text;
}

bool Flush(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) return false;
  const bool flushed = ::fsync(fd) == 0;
  return ::close(fd) == 0 && flushed;
}

}  // namespace

int main(int argc, char** argv) {
  const bool flush = argc < 2 || std::strcmp(argv[1], "--no-flush") != 0;
  if (!flush) {
    --argc;
    ++argv;
  }
  if (argc < 3 || argc % 2 != 1) {
    std::fprintf(stderr,
                 "usage: floor_run [--no-flush] SAVE_DIR BEGIN_URL [STEP_GET STEP_GO]...\n");
    return 2;
  }
  const std::string dir = std::string(argv[1]) + "/";
  std::srand(static_cast<unsigned>(std::time(nullptr)));
  curl_global_init(CURL_GLOBAL_DEFAULT);
  CURL* curl = curl_easy_init();

  std::string url = argv[2];
  std::string page;
  if (!Fetch(curl, url, ToString, &page)) return 1;
  for (int step = 3; step + 1 < argc; step += 2) {
    const boost::regex expression(argv[step]);
    std::vector<std::string> links;
    for (boost::sregex_iterator
             it(page.begin(), page.end(), expression, boost::match_default | boost::match_posix),
         end;
         it != end; ++it) {
      links.push_back(Expand(argv[step + 1], *it));
    }
    if (links.empty()) return 1;
    url = links[static_cast<size_t>(std::rand()) % links.size()];
    page.clear();
    if (step + 2 < argc && !Fetch(curl, url, ToString, &page)) return 1;
  }

  const std::string picture = dir + url.substr(url.rfind('/') + 1);
  std::FILE* file = std::fopen(picture.c_str(), "wb");
  if (file == nullptr) return 1;
  const bool fetched = Fetch(curl, url, ToFile, file);
  if (std::fclose(file) != 0 || !fetched) return 1;
  curl_easy_cleanup(curl);

  FreeImage_Initialise(FALSE);
  const FREE_IMAGE_FORMAT format = FreeImage_GetFIFFromFilename(picture.c_str());
  FIBITMAP* dib = FreeImage_Load(format, picture.c_str(), 0);
  if (dib == nullptr) return 1;
  const std::string temp = dir + "Walp.bmp.tmp";
  const bool saved = FreeImage_Save(FIF_BMP, dib, temp.c_str(), 0) && (!flush || Flush(temp)) &&
                     std::rename(temp.c_str(), (dir + "Walp.bmp").c_str()) == 0;
  FreeImage_Unload(dib);
  FreeImage_DeInitialise();
  std::remove(picture.c_str());
  return saved ? 0 : 1;
}
