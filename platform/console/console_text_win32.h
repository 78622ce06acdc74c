#ifndef PLATFORM_CONSOLE_CONSOLE_TEXT_WIN32_H_
#define PLATFORM_CONSOLE_CONSOLE_TEXT_WIN32_H_

#include <windows.h>

#include <string>

// Writes the program's text to `handle`: through WriteConsoleW when it is a
// console (so that any name shows, whatever the console's code page), else
// as bytes (a file or pipe). A missing handle or a failure writes nothing.
void WriteConsoleText(HANDLE handle, const std::string& text);

#endif  // PLATFORM_CONSOLE_CONSOLE_TEXT_WIN32_H_
