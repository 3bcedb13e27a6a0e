#include "sim-standin/model/request_log.h"

#include <cerrno>
#include <cmath>
#include <cstring>

namespace standin {
namespace {

// "mono_ns" is the steady clock of this machine (CLOCK_MONOTONIC on Linux), so that other
// processes can compare their own times with the stand-in's.
Json stamped(double t, Clock::time_point now, std::uint32_t session) {
    Json entry;
    entry["t"] = t;
    entry["mono_ns"] =
        std::chrono::duration_cast<std::chrono::nanoseconds>(now.time_since_epoch()).count();
    if (session != 0) entry["session"] = session;
    return entry;
}

}  // namespace

bool RequestLog::open(const std::string& path, std::string& error) {
    out_.open(path, std::ios::out | std::ios::trunc);
    if (!out_.is_open()) error = "cannot write the log file " + path + ": " + std::strerror(errno);
    return out_.is_open();
}

double RequestLog::seconds(Clock::time_point now) const {
    const double t = std::chrono::duration<double>(now - start_).count();
    return std::round(t * 1e6) / 1e6;
}

void RequestLog::request(Clock::time_point now, std::uint32_t session, std::string_view name,
                         std::uint32_t sendId, std::uint32_t size, Json fields,
                         std::string_view exception) {
    if (!enabled()) return;
    Json entry = stamped(seconds(now), now, session);
    entry["dir"] = "in";
    entry["request"] = name;
    entry["dwSendID"] = sendId;
    entry["size"] = size;
    entry["fields"] = std::move(fields);
    if (!exception.empty()) entry["exception"] = exception;
    write(entry);
}

void RequestLog::message(Clock::time_point now, std::uint32_t session, std::string_view name,
                         std::uint32_t size, Json fields) {
    if (!enabled()) return;
    Json entry = stamped(seconds(now), now, session);
    entry["dir"] = "out";
    entry["message"] = name;
    entry["size"] = size;
    entry["fields"] = std::move(fields);
    write(entry);
}

void RequestLog::note(Clock::time_point now, std::uint32_t session, const Json& entry) {
    if (!enabled()) return;
    Json line = stamped(seconds(now), now, session);
    for (const auto& [key, value] : entry.items()) line[key] = value;
    write(line);
}

void RequestLog::write(const Json& entry) {
    // A client's text need not be valid UTF-8; replacing bad bytes keeps every line JSON.
    const std::string text = entry.dump(-1, ' ', false, Json::error_handler_t::replace);
    std::lock_guard lock(mutex_);
    out_ << text << '\n';
    out_.flush();
}

}  // namespace standin
