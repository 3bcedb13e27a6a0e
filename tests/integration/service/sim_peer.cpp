#include "tests/integration/service/sim_peer.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>
#include <stdexcept>

namespace servicetest {

namespace {

using Clock = std::chrono::steady_clock;

int msLeft(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

bool waitReadable(int fd, Clock::time_point deadline) {
    pollfd entry{fd, POLLIN, 0};
    return poll(&entry, 1, msLeft(deadline)) > 0;
}

void putWord(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t word) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(word >> (8 * i));
}

}  // namespace

std::uint32_t Request::word(std::size_t at) const {
    if (at + 4 > bytes.size()) throw std::out_of_range("request too short");
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value |= static_cast<std::uint32_t>(bytes[at + i]) << (8 * i);
    return value;
}

float Request::real(std::size_t at) const {
    const std::uint32_t bits = word(at);
    float value = 0.0f;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

std::string Request::text(std::size_t at) const {
    if (at >= bytes.size()) throw std::out_of_range("request too short");
    const char* start = reinterpret_cast<const char*>(bytes.data() + at);
    return std::string(start, strnlen(start, bytes.size() - at));
}

std::uint32_t Request::id() const {
    return word(8) - 0xF0000000u;
}

SimPeer::SimPeer(const std::string& pipeName) {
    const std::string path = "\\\\.\\pipe\\" + pipeName;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() + 1 > sizeof address.sun_path)
        throw std::invalid_argument("pipe name too long");
    std::memcpy(address.sun_path + 1, path.data(), path.size());
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + path.size());
    listener_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        listen(listener_, 4) != 0)
        throw std::runtime_error("cannot listen on " + path);
}

SimPeer::~SimPeer() {
    if (client_ >= 0) close(client_);
    close(listener_);
}

bool SimPeer::accept(std::chrono::milliseconds timeout) {
    if (!waitReadable(listener_, Clock::now() + timeout)) return false;
    client_ = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    return client_ >= 0;
}

bool SimPeer::fill(std::size_t size, Clock::time_point deadline) {
    while (pending_.size() < size) {
        if (!waitReadable(client_, deadline)) return false;
        std::uint8_t chunk[4096];
        const ssize_t n = read(client_, chunk, sizeof chunk);
        if (n <= 0) return false;
        pending_.insert(pending_.end(), chunk, chunk + n);
    }
    return true;
}

std::optional<Request> SimPeer::next(std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    if (client_ < 0 || !fill(4, deadline)) return std::nullopt;
    const std::uint32_t size = Request{pending_}.word(0);
    if (size < 16 || !fill(size, deadline)) return std::nullopt;
    Request request{std::vector<std::uint8_t>(pending_.begin(), pending_.begin() + size)};
    pending_.erase(pending_.begin(), pending_.begin() + size);
    return request;
}

void SimPeer::send(const std::vector<std::uint8_t>& bytes) const {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(client_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) throw std::runtime_error("send to the client failed");
        sent += static_cast<std::size_t>(n);
    }
}

std::vector<std::uint8_t> message(std::uint32_t id, const std::vector<std::uint32_t>& words) {
    std::vector<std::uint8_t> bytes(12 + 4 * words.size(), 0);
    putWord(bytes, 0, static_cast<std::uint32_t>(bytes.size()));
    putWord(bytes, 4, 5);
    putWord(bytes, 8, id);
    for (std::size_t i = 0; i < words.size(); ++i) putWord(bytes, 12 + 4 * i, words[i]);
    return bytes;
}

std::vector<std::uint8_t> openAnswer(const std::string& name) {
    std::vector<std::uint32_t> words(74, 0);  // 256 bytes of name, then ten words
    for (std::uint32_t i = 0; i < 8; ++i) words[64 + i] = 11 + i;
    std::vector<std::uint8_t> bytes = message(2, words);
    std::memcpy(bytes.data() + 12, name.data(), name.size());
    return bytes;
}

std::string pipeConfig(const std::string& pipeName) {
    return "[SimConnect]\nProtocol=Pipe\nPort=" + pipeName + "\n";
}

}  // namespace servicetest
