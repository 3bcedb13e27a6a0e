#include "tests/support/rack_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "tests/support/process.h"

namespace testsupport {

const std::vector<Json>& RackLog::entries() {
    std::ifstream in(path_, std::ios::binary);
    if (!in) return entries_;
    in.seekg(static_cast<std::streamoff>(offset_));
    std::ostringstream text;
    text << in.rdbuf();
    const std::string added = text.str();
    std::size_t start = 0;
    for (std::size_t end = added.find('\n'); end != std::string::npos;
         end = added.find('\n', start)) {
        Json entry = Json::parse(added.substr(start, end - start), nullptr, false);
        if (!entry.is_discarded()) entries_.push_back(std::move(entry));
        start = end + 1;
    }
    offset_ += start;
    return entries_;
}

std::optional<Json> RackLog::waitFor(const JsonMatch& match, std::chrono::milliseconds timeout,
                                     std::size_t from) {
    std::optional<Json> found;
    waitUntil(
        [&] {
            const std::vector<Json>& all = entries();
            for (std::size_t i = from; i < all.size() && !found; ++i) {
                if (match(all[i])) found = all[i];
            }
            return found.has_value();
        },
        timeout);
    return found;
}

namespace {

JsonMatch frameMatch(const std::string& rack, const std::string& dir, const JsonMatch& fields) {
    return [=](const Json& entry) {
        return entry.value("rack", "") == rack && entry.value("dir", "") == dir &&
               entry.contains("fields") && fields(entry["fields"]);
    };
}

}  // namespace

std::optional<Json> RackLog::waitForReceived(const std::string& rack, const JsonMatch& fields,
                                             std::chrono::milliseconds timeout, std::size_t from) {
    return waitFor(frameMatch(rack, "in", fields), timeout, from);
}

std::optional<Json> RackLog::waitForSent(const std::string& rack, const JsonMatch& fields,
                                         std::chrono::milliseconds timeout, std::size_t from) {
    return waitFor(frameMatch(rack, "out", fields), timeout, from);
}

std::optional<Json> RackLog::waitForDisplay(const std::string& rack, const std::string& text,
                                            std::chrono::milliseconds timeout, std::size_t from) {
    return waitFor(
        [&](const Json& entry) {
            return entry.value("rack", "") == rack &&
                   entry.value("display", "").find(text) != std::string::npos;
        },
        timeout, from);
}

std::optional<Json> RackLog::waitForEvent(const std::string& event,
                                          std::chrono::milliseconds timeout, std::size_t from) {
    return waitFor([&](const Json& entry) { return entry.value("event", "") == event; }, timeout,
                   from);
}

std::optional<Json> RackLog::lastReceived(const std::string& rack) {
    const std::vector<Json> received = frames(rack, "in");
    for (auto it = received.rbegin(); it != received.rend(); ++it) {
        if (it->contains("display")) return *it;
    }
    return std::nullopt;
}

std::optional<std::string> RackLog::lastDisplay(const std::string& rack) {
    const std::optional<Json> last = lastReceived(rack);
    if (!last) return std::nullopt;
    return (*last)["display"].get<std::string>();
}

std::vector<Json> RackLog::frames(const std::string& rack, const std::string& dir) {
    std::vector<Json> selected;
    for (const Json& entry : entries()) {
        if (entry.value("rack", "") == rack && entry.value("dir", "") == dir)
            selected.push_back(entry);
    }
    return selected;
}

std::map<std::string, std::string> parseRackReadyLine(const std::string& output) {
    static const std::string prefix = "rack-emulator: ready";
    std::map<std::string, std::string> devices;
    const std::size_t at = output.find(prefix);
    if (at == std::string::npos) return devices;
    const std::size_t end = output.find('\n', at);
    if (end == std::string::npos) return devices;
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
