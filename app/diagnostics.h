#ifndef APP_DIAGNOSTICS_H_
#define APP_DIAGNOSTICS_H_

#include <string>

class Console;

// The trace: in debug mode every value the run works with becomes one line on
// the console and, in the same words, in log.log. Callers test the debug flag;
// Trace itself always writes. Main thread only.

// Where trace lines are shown; the system console until changed.
void SetTraceConsole(Console* console);

// Opens the log for appending and writes its header: two empty lines and
// "--------- " with the ctime text of now. Failures are silent.
void OpenLog(const std::string& path);
// Writes out what the log buffered and closes it.
void CloseLog();
// Writes out what the log buffered (a fatal error does this before exiting).
void FlushLog();

// "expression = value", or only the value when the expression holds a '"'.
void Trace(const char* expression, const std::string& value);
// "expression = %d".
void Trace(const char* expression, int value);
// "expression = %u" of the value's low 32 bits (-1 shows as 4294967295).
void Trace(const char* expression, long value);

// printf-style formatting; a null format gives "". Never writes past a buffer.
std::string Format(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

#endif  // APP_DIAGNOSTICS_H_
