#include "console/console.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "console_os.h"

namespace {

bool endsLine(const char* text, std::size_t length) {
    return length > 0 && text[length - 1] == '\n';
}

// Under journald every line starts with its syslog priority, "<3>" to "<6>", which the
// journal takes off and keeps as the line's priority: errors, warnings, the rest.
class JournalLines {
public:
    void write(const char* text, std::size_t length) {
        std::lock_guard<std::mutex> hold(lock_);
        std::string out;
        out.reserve(length + 8);
        for (std::size_t at = 0; at < length; ++at) {
            if (atLineStart_) {
                out += '<';
                out += priorityOf(text + at, length - at);
                out += '>';
                atLineStart_ = false;
            }
            out += text[at];
            if (text[at] == '\n') atLineStart_ = true;
        }
        std::fwrite(out.data(), 1, out.size(), stdout);
    }

private:
    static bool startsWith(const char* text, std::size_t length, const char* prefix) {
        const std::size_t size = std::strlen(prefix);
        return length >= size && std::memcmp(text, prefix, size) == 0;
    }
    static char priorityOf(const char* line, std::size_t length) {
        if (startsWith(line, length, "[ERR") || startsWith(line, length, "Error")) return '3';
        if (startsWith(line, length, "[WARN") || startsWith(line, length, "Warning")) return '4';
        return '6';
    }

    std::mutex lock_;
    bool atLineStart_ = true;
};

JournalLines* journal = nullptr;

}  // namespace

void consoleSetUp() {
    console_os::bufferLines();
    static JournalLines lines;
    if (console_os::outputIsJournal()) journal = &lines;
}

// The format's own last character tells whether the print ends a line: every line the
// service prints ends in the format, never in an argument.
void consolePrintf(const char* format, ...) {
    std::va_list arguments;
    va_start(arguments, format);
    if (journal == nullptr) {
        std::vprintf(format, arguments);
        va_end(arguments);
        if (endsLine(format, std::strlen(format))) console_os::lineEnded();
        return;
    }
    std::va_list measuring;
    va_copy(measuring, arguments);
    const int size = std::vsnprintf(nullptr, 0, format, measuring);
    va_end(measuring);
    std::string text(size > 0 ? static_cast<std::size_t>(size) : 0, '\0');
    if (size > 0) std::vsnprintf(text.data(), text.size() + 1, format, arguments);
    va_end(arguments);
    journal->write(text.data(), text.size());
}

void consoleWrite(const std::string& text) {
    if (journal != nullptr) {
        journal->write(text.data(), text.size());
        return;
    }
    std::fwrite(text.data(), 1, text.size(), stdout);
    if (endsLine(text.data(), text.size())) console_os::lineEnded();
}
