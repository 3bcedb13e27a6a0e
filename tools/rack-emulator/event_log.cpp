#include "rack-emulator/event_log.h"

namespace rackemu {

bool EventLog::open(const std::string& path) {
    if (path.empty()) return true;
    file_.open(path, std::ios::out | std::ios::trunc);
    return file_.is_open();
}

void EventLog::write(const Json& entry, Clock::time_point at) {
    if (!file_.is_open()) return;
    const std::chrono::duration<double> sinceStart = at - start_;
    const auto monotonic =
        std::chrono::duration_cast<std::chrono::nanoseconds>(at.time_since_epoch());
    Json line = {{"t", sinceStart.count()}, {"mono_ns", monotonic.count()}};
    for (const auto& [key, value] : entry.items()) line[key] = value;
    file_ << dumpLine(line) << '\n';
    file_.flush();
}

void EventLog::event(const std::string& name, const Json& details, Clock::time_point at) {
    Json entry = {{"event", name}};
    for (const auto& [key, value] : details.items()) entry[key] = value;
    write(entry, at);
}

std::string dumpLine(const Json& entry) {
    return entry.dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace rackemu
