#include "diagnostics/format.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

std::string Format(const char* format, ...) {
  if (format == nullptr) return "";
  char buffer[1000];
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int needed = std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  std::string result;
  if (needed < 0) {
    result.clear();
  } else if (static_cast<size_t>(needed) < sizeof buffer) {
    result.assign(buffer, static_cast<size_t>(needed));
  } else {
    std::vector<char> large(static_cast<size_t>(needed) + 1);
    std::vsnprintf(large.data(), large.size(), format, again);
    result.assign(large.data(), static_cast<size_t>(needed));
  }
  va_end(again);
  return result;
}
