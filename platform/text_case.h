#ifndef PLATFORM_TEXT_CASE_H_
#define PLATFORM_TEXT_CASE_H_

#include <cctype>
#include <string>

// `text` with each letter in lower case as std::tolower has it: the names of
// desktops, styles, sections and keys are compared this way.
inline std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

#endif  // PLATFORM_TEXT_CASE_H_
