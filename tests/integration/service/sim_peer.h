// The simulator's end of one connection, played by the test itself: it listens on a
// pipe of its own (the abstract socket a "\\.\pipe\NAME" path means on this system),
// reads the client's requests as they are framed on the wire and sends crafted messages.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace servicetest {

struct Request {
    std::vector<std::uint8_t> bytes;
    std::uint32_t word(std::size_t at) const;
    float real(std::size_t at) const;
    std::string text(std::size_t at) const;  // up to its terminator
    std::uint32_t id() const;                // the request number, without the id base
    std::uint32_t sendId() const { return word(12); }
};

class SimPeer {
public:
    // Listens on "\\.\pipe\" + pipeName.
    explicit SimPeer(const std::string& pipeName);
    ~SimPeer();
    SimPeer(const SimPeer&) = delete;
    SimPeer& operator=(const SimPeer&) = delete;

    bool accept(std::chrono::milliseconds timeout);
    std::optional<Request> next(std::chrono::milliseconds timeout);
    void send(const std::vector<std::uint8_t>& message) const;

private:
    bool fill(std::size_t size, std::chrono::steady_clock::time_point deadline);

    int listener_ = -1;
    int client_ = -1;
    std::vector<std::uint8_t> pending_;
};

// Messages of the simulator: the 12-byte header with dwVersion 5, then the given words.
std::vector<std::uint8_t> message(std::uint32_t id, const std::vector<std::uint32_t>& words);
std::vector<std::uint8_t> openAnswer(const std::string& name);

// A SimConnect.cfg that sends the client to the pipe `pipeName`.
std::string pipeConfig(const std::string& pipeName);

}  // namespace servicetest
