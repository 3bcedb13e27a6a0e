// The monitor's HTTP server: the page at "/", a JSON snapshot at "/api/state" and the
// changes as Server-Sent Events at "/api/events", on one thread of its own. Read-only:
// only GET (and HEAD) are answered, requests are bounded, nothing is read from disk.
// A client that does not keep up is sent the newest state once it does, or dropped; it
// never holds up the racks, the main loop or another client.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

namespace monitor {

struct MonitorAddress {
    std::string host = "127.0.0.1";
    std::uint16_t port = 0;
};

// "[ADDRESS:]PORT" (an IPv6 address in brackets: "[::1]:8080"); none when it is not one.
// Port 0 takes a free port.
std::optional<MonitorAddress> parseMonitorAddress(std::string_view text);

struct MonitorLimits {
    std::size_t streams = 8;
    // Connections beyond the streams: pages and snapshots being fetched.
    std::size_t connections = 16;
    std::size_t headerBytes = 8192;
    std::size_t bodyBytes = 1024;
    int updatesPerSecond = 10;
    // A write that has not finished in this time drops its client.
    int writeTimeoutMs = 5000;
    // A connection that sends no whole request in this time is closed.
    int idleTimeoutMs = 15000;
};

class MonitorServer {
public:
    using Snapshot = std::function<nlohmann::json()>;

    // Listens on `address` and starts the server's thread; raises std::runtime_error
    // naming the address when it cannot listen there. `snapshot` is called on the
    // server's thread only.
    MonitorServer(const MonitorAddress& address, Snapshot snapshot, MonitorLimits limits = {});
    // Stops the thread and closes every connection.
    ~MonitorServer();
    MonitorServer(const MonitorServer&) = delete;
    MonitorServer& operator=(const MonitorServer&) = delete;

    // The port listened on (the one taken, for port 0).
    std::uint16_t port() const;
    // "http://HOST:PORT/"
    std::string url() const;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace monitor
