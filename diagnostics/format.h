#ifndef DIAGNOSTICS_FORMAT_H_
#define DIAGNOSTICS_FORMAT_H_

#include <string>

// printf-style formatting into a string; a null format gives "". Never
// writes past a buffer, whatever the length of the result.
std::string Format(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

#endif  // DIAGNOSTICS_FORMAT_H_
