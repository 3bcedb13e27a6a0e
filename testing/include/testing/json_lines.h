// A JSON-lines log that another process is still writing, one object per line and
// flushed per line (sim-standin --log, rack-emulator --log: each program's --help
// describes its lines), read as it grows and waited on with a bound.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

using Json = nlohmann::json;
using JsonMatch = std::function<bool(const Json&)>;

// Matches an object whose member `key` equals `value` (numbers compare by value).
JsonMatch memberIs(const std::string& key, const Json& value);
// Matches an entry whose `key` is `value` and whose "fields" match (any when `fields` is empty).
JsonMatch entryWith(const std::string& key, const std::string& value, const JsonMatch& fields = {});

class JsonLinesLog {
public:
    explicit JsonLinesLog(std::string path) : path_(std::move(path)) {}

    // Every complete object line so far (a line still being written is left for later).
    const std::vector<Json>& entries();
    // The number of entries so far: a `from` that skips what was logged before an action.
    std::size_t size() { return entries().size(); }
    // Waits until an entry at index `from` or later matches; returns it.
    std::optional<Json> waitFor(const JsonMatch& match, std::chrono::milliseconds timeout,
                                std::size_t from = 0);
    std::optional<Json> waitForEvent(const std::string& event, std::chrono::milliseconds timeout,
                                     std::size_t from = 0) {
        return waitFor(entryWith("event", event), timeout, from);
    }
    // The entries from `from` on that match, in order.
    std::vector<Json> select(const JsonMatch& match, std::size_t from = 0);

private:
    std::string path_;
    std::size_t offset_ = 0;
    std::vector<Json> entries_;
};


}  // namespace testsupport
