#include "console/console.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "console_os.h"

namespace {

bool endsLine(const char* text, std::size_t length) {
    return length > 0 && text[length - 1] == '\n';
}

}  // namespace

void consoleSetUp() {
    console_os::bufferLines();
}

// The format's own last character tells whether the print ends a line: every line the
// service prints ends in the format, never in an argument.
void consolePrintf(const char* format, ...) {
    std::va_list arguments;
    va_start(arguments, format);
    std::vprintf(format, arguments);
    va_end(arguments);
    if (endsLine(format, std::strlen(format))) console_os::lineEnded();
}

void consoleWrite(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    if (endsLine(text.data(), text.size())) console_os::lineEnded();
}
