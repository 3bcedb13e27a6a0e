#include "supervisor.h"

#include "supervisor_os.h"

namespace supervisor {

namespace {

// A status is one line of the protocol: a line break inside it would start another
// assignment.
std::string oneLine(std::string text) {
    for (char& c : text)
        if (c == '\n' || c == '\r') c = ' ';
    return text;
}

}  // namespace

void ready(const std::string& status) {
    supervisor_os::send("READY=1\nSTATUS=" + oneLine(status));
}

void status(const std::string& status) {
    supervisor_os::send("STATUS=" + oneLine(status));
}

void stopping(const std::string& status) {
    supervisor_os::send("STOPPING=1\nSTATUS=" + oneLine(status));
}

}  // namespace supervisor
