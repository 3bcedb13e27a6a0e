#include "testing/rack_log.h"

#include <fcntl.h>
#include <unistd.h>

namespace testsupport {

std::optional<Json> RackLog::waitForRackEvent(const std::string& event, const std::string& rack,
                                              std::chrono::milliseconds timeout, std::size_t from) {
    return waitFor(
        [&](const Json& entry) {
            return entry.value("rack", "") == rack && entryWith("event", event)(entry);
        },
        timeout, from);
}

std::optional<std::string> RackLog::lastDisplay(const std::string& rack) {
    const std::vector<Json> received = frames(rack, "in");
    for (auto it = received.rbegin(); it != received.rend(); ++it) {
        if (it->contains("display")) return (*it)["display"].get<std::string>();
    }
    return std::nullopt;
}

std::map<std::string, std::string> RackLog::waitForDevices(std::chrono::milliseconds timeout) {
    std::map<std::string, std::string> devices;
    if (const auto ready = waitForEvent("ready", timeout)) {
        for (const auto& [rack, where] : (*ready)["racks"].items()) devices[rack] = where.value("device", "");
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
