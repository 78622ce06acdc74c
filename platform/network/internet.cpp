// What the Internet sessions of both systems share.
#include "platform/network/internet.h"

#include <cctype>

// The scheme of `url` in lower case ("" when it has none): the letters
// before the first ':' if they form a scheme name.
std::string SchemeOf(const std::string& url) {
  const size_t colon = url.find(':');
  if (colon == std::string::npos || colon == 0) return "";
  std::string scheme;
  for (size_t i = 0; i < colon; ++i) {
    const unsigned char c = static_cast<unsigned char>(url[i]);
    const bool ok =
        std::isalpha(c) || (i > 0 && (std::isdigit(c) || c == '+' || c == '-' || c == '.'));
    if (!ok) return "";
    scheme += static_cast<char>(std::tolower(c));
  }
  return scheme;
}
