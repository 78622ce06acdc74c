#include <cstring>

#include "platform/system_error.h"

namespace {

// strerror_r comes in two kinds: the XSI one fills the buffer and returns 0,
// glibc's returns the text (perhaps a static one).
[[maybe_unused]] const char* Chosen(int result, const char* buffer) {
  return result == 0 ? buffer : nullptr;
}
const char* Chosen(const char* result, const char*) { return result; }

}  // namespace

std::string ErrnoText(int error_number) {
  char buffer[256] = "";
  const char* text = Chosen(::strerror_r(error_number, buffer, sizeof buffer), buffer);
  if (text == nullptr || text[0] == '\0') return "error " + std::to_string(error_number);
  return text;
}
