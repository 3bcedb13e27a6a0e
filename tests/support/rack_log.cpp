#include "tests/support/rack_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <sstream>

namespace testsupport {

std::optional<Json> RackLog::waitForRackEvent(const std::string& event, const std::string& rack,
                                              std::chrono::milliseconds timeout, std::size_t from) {
    return waitFor(
        [&](const Json& entry) { return entry.value("rack", "") == rack && entryWith("event", event)(entry); },
        timeout, from);
}

std::optional<std::string> RackLog::lastDisplay(const std::string& rack) {
    const std::vector<Json> received = frames(rack, "in");
    for (auto it = received.rbegin(); it != received.rend(); ++it) {
        if (it->contains("display")) return (*it)["display"].get<std::string>();
    }
    return std::nullopt;
}

std::map<std::string, std::string> parseRackReadyLine(const std::string& output) {
    static const std::string prefix = "rack-emulator: ready";
    std::map<std::string, std::string> devices;
    const std::size_t at = output.find(prefix);
    const std::size_t end = output.find('\n', at);
    if (at == std::string::npos || end == std::string::npos) return devices;
    std::istringstream words(output.substr(at + prefix.size(), end - at - prefix.size()));
    for (std::string word; words >> word;) {
        const std::size_t equals = word.find('=');
        if (equals != std::string::npos) devices[word.substr(0, equals)] = word.substr(equals + 1);
    }
    return devices;
}

bool sendRackActions(const std::string& pipePath, const std::string& lines) {
    // The emulator keeps the pipe open for reading, so opening without waiting succeeds
    // while it runs and fails (ENXIO or ENOENT) otherwise.
    const int fd = open(pipePath.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    std::string text = lines;
    if (text.empty() || text.back() != '\n') text.push_back('\n');
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t count = write(fd, text.data() + done, text.size() - done);
        if (count <= 0) break;
        done += static_cast<std::size_t>(count);
    }
    close(fd);
    return done == text.size();
}

}  // namespace testsupport
