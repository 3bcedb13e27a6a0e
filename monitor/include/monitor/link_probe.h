// What the service tells the monitor about its simulator link: where it connected and
// when, the messages dispatched and the requests made, and the exceptions the simulator
// answered with, each matched to the request it names by the send id noted when that
// request was made.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace monitor {

struct LinkException {
    std::int64_t timeMs = 0;
    std::uint32_t exception = 0;
    std::uint32_t sendId = 0;
    std::uint32_t index = 0;
    // The request function that made the request, or empty when it is no longer known.
    std::string request;
};

struct LinkRecord {
    std::string endpoint;
    bool connected = false;
    std::int64_t connectedSinceMs = 0;
    std::uint64_t messagesIn = 0;
    std::uint64_t requestsOut = 0;
    std::vector<LinkException> exceptions;
};

class LinkProbe {
public:
    static constexpr std::size_t kRememberedRequests = 256;
    static constexpr std::size_t kKeptExceptions = 20;

    void connected(std::string endpoint);
    void disconnected();
    void messageIn();
    // `function` names the request function, and lives as long as the program.
    void requestOut(std::uint32_t sendId, const char* function);
    void exception(std::uint32_t exception, std::uint32_t sendId, std::uint32_t index);

    LinkRecord copy() const;

private:
    struct Request {
        std::uint32_t sendId = 0;
        const char* function = nullptr;
    };
    mutable std::mutex lock_;
    LinkRecord record_;
    std::array<Request, kRememberedRequests> requests_{};
    std::size_t nextRequest_ = 0;
};

}  // namespace monitor
