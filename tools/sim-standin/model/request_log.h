// The conversation log: one JSON object per line, flushed line by line, so that a test or a
// person can follow every request and message while the stand-in runs. The format is
// described in --help and in testing/include/testing/standin_log.h.
#pragma once

#include <chrono>
#include <cstdint>
#include <fstream>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

namespace standin {

using Clock = std::chrono::steady_clock;
using Json = nlohmann::ordered_json;

class RequestLog {
public:
    explicit RequestLog(Clock::time_point start) : start_(start) {}

    // Without a file the log writes nothing.
    bool open(const std::string& path, std::string& error);
    bool enabled() const { return out_.is_open(); }

    double seconds(Clock::time_point now) const;

    void request(Clock::time_point now, std::uint32_t session, std::string_view name,
                 std::uint32_t sendId, std::uint32_t size, Json fields, std::string_view exception);
    void message(Clock::time_point now, std::uint32_t session, std::string_view name,
                 std::uint32_t size, Json fields);
    // Lines of their own, such as {"event": "connect", ...} or {"model": ..., "value": ...}:
    // the entry's members follow "t" and, when not 0, "session".
    void note(Clock::time_point now, std::uint32_t session, const Json& entry);

private:
    void write(const Json& entry);

    Clock::time_point start_;
    std::mutex mutex_;
    std::ofstream out_;
};

}  // namespace standin
