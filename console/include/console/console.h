// The service's console, its only log: standard output, printf-style prints and the
// standard output stream kept in step. Each line reaches the output in one write, so a
// program sharing the console (or the journal reading a pipe) never sees a line split.
#pragma once

#include <string>

#if defined(__GNUC__) || defined(__clang__)
#define CONSOLE_PRINTF_FORMAT(formatIndex, firstArgument) \
    __attribute__((format(printf, formatIndex, firstArgument)))
#else
#define CONSOLE_PRINTF_FORMAT(formatIndex, firstArgument)
#endif

// Sets standard output up before anything is printed. Under journald (JOURNAL_STREAM
// names standard output) every line then starts with its syslog priority: "<3>" for
// errors, "<4>" for warnings, "<6>" for the rest; elsewhere the bytes are the lines alone.
void consoleSetUp();
// Prints as printf does; the lines it ends go out at once.
void consolePrintf(const char* format, ...) CONSOLE_PRINTF_FORMAT(1, 2);
// Prints `text` byte for byte (NUL bytes too); the lines it ends go out at once.
void consoleWrite(const std::string& text);
