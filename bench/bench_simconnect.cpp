// The client library's throughput beside raw socket I/O of the same bytes, measured in
// the same run: requests per second through SimConnect_TransmitClientEvent to a peer
// that reads and counts them, against write() of the same 36-byte messages; and 24-byte
// event messages dispatched per second, against read() of the same stream.
#include <netdb.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "base/little_endian.h"
#include "simconnect/SimConnect.h"
#include "connection_settings.h"
#include "testing/loopback_peer.h"
#include "request_functions.h"

namespace {

using Clock = std::chrono::steady_clock;
using loopback_peer::Connection;
using loopback_peer::Listener;

constexpr std::size_t kRequests = 100000;
constexpr std::size_t kEvents = 200000;
constexpr std::size_t kRequestSize = 36;
constexpr std::size_t kEventSize = 24;
// Each figure is the best of its rounds: on a shared machine that is the closest to what
// the code can do, for the library and for the raw baseline alike.
constexpr int kRounds = 7;
// The raw reader reads into a buffer as large as the library's receive buffer.
constexpr std::size_t kRawReadSize = 2048;

struct Endpoint {
    bool tcp = false;
    std::string name;  // "pipe" or "tcp", for the figures' names
};

Listener Listen(const Endpoint& endpoint, const std::string& pipeName) {
    auto listener = endpoint.tcp ? Listener::Tcp() : Listener::Pipe(BuildPipePath("", pipeName));
    if (!listener) throw std::runtime_error("cannot listen");
    return std::move(*listener);
}

// A plain client socket to the listener, as a program without the library would open it.
int RawConnect(const Endpoint& endpoint, const Listener& listener, const std::string& pipeName) {
    if (endpoint.tcp) {
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* result = nullptr;
        if (getaddrinfo("127.0.0.1", listener.Port().c_str(), &hints, &result) != 0) return -1;
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        const int rc = connect(fd, result->ai_addr, result->ai_addrlen);
        freeaddrinfo(result);
        return rc == 0 ? fd : -1;
    }
    const std::string path = BuildPipePath("", pipeName);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path + 1, path.data(), path.size());
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + path.size());
    return connect(fd, reinterpret_cast<sockaddr*>(&address), length) == 0 ? fd : -1;
}

// Reads and counts until `bytes` have arrived; the time at which the last one did.
Clock::time_point CountBytes(Connection& peer, std::size_t bytes) {
    std::vector<char> buffer(1 << 18);
    std::size_t got = 0;
    while (got < bytes) {
        const ssize_t n = recv(peer.fd(), buffer.data(), buffer.size(), 0);
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    return Clock::now();
}

ConnectionSettings SettingsFor(const Endpoint& endpoint, const Listener& listener,
                               const std::string& pipeName) {
    ConnectionSettings settings;
    if (endpoint.tcp) {
        settings.protocol = kFamilyIPv4;
        settings.address = "127.0.0.1";
        settings.port = listener.Port();
    } else {
        settings.port = pipeName;
    }
    return settings;
}

double Rate(std::size_t count, Clock::time_point start, Clock::time_point end) {
    return static_cast<double>(count) / std::chrono::duration<double>(end - start).count();
}

// A connection to a peer of the benchmark's own: a session through the library (its OPEN
// read away), or a plain socket.
struct Link {
    Link(const Endpoint& endpoint, const std::string& pipeName, bool library)
        : listener(Listen(endpoint, pipeName)) {
        if (!library) {
            fd = RawConnect(endpoint, listener, pipeName);
        } else if (OpenWithSettings(&handle, "bench", SettingsFor(endpoint, listener, pipeName)) != S_OK) {
            throw std::runtime_error("cannot open a session");
        }
        peer = listener.Accept();
        if (!peer) throw std::runtime_error("the peer was not reached");
        if (library) peer->Read(296);
    }
    ~Link() {
        if (handle != nullptr) SimConnect_Close(handle);
        if (fd >= 0) close(fd);
    }

    Listener listener;
    HANDLE handle = nullptr;
    int fd = -1;
    std::optional<Connection> peer;
};

double LibraryRequestRate(const Endpoint& endpoint, const std::string& pipeName) {
    Link link(endpoint, pipeName, true);
    Clock::time_point end;
    std::thread counter([&] { end = CountBytes(*link.peer, kRequests * kRequestSize); });
    const auto start = Clock::now();
    for (std::size_t i = 0; i < kRequests; ++i) {
        SimConnect_TransmitClientEvent(link.handle, 0, static_cast<DWORD>(i), 0, 1, 16);
    }
    counter.join();
    return Rate(kRequests, start, end);
}

double RawRequestRate(const Endpoint& endpoint, const std::string& pipeName) {
    Link link(endpoint, pipeName, false);
    unsigned char message[kRequestSize] = {36, 0, 0, 0, 5, 0, 0, 0, 5, 0, 0, 0xF0};
    Clock::time_point end;
    std::thread counter([&] { end = CountBytes(*link.peer, kRequests * kRequestSize); });
    const auto start = Clock::now();
    for (std::size_t i = 0; i < kRequests; ++i) {
        StoreU32(message + 20, static_cast<std::uint32_t>(i));
        if (write(link.fd, message, sizeof message) != static_cast<ssize_t>(sizeof message)) break;
    }
    counter.join();
    return Rate(kRequests, start, end);
}

// The peer's side of the receive figures: every event message written as fast as the
// stream takes them.
void SendEvents(Connection& peer) {
    const auto event = loopback_peer::MakeMessage(SIMCONNECT_RECV_ID_EVENT, {0xFFFFFFFF, 0, 0});
    std::vector<std::uint8_t> chunk;
    for (int i = 0; i < 2730; ++i) chunk.insert(chunk.end(), event.begin(), event.end());
    std::size_t sent = 0;
    while (sent < kEvents) {
        const std::size_t count = std::min<std::size_t>(2730, kEvents - sent);
        if (!peer.Write(chunk.data(), count * kEventSize)) break;
        sent += count;
    }
}

double LibraryDispatchRate(const Endpoint& endpoint, const std::string& pipeName) {
    Link link(endpoint, pipeName, true);
    std::size_t received = 0;
    const auto start = Clock::now();
    std::thread sender([&] { SendEvents(*link.peer); });
    while (received < kEvents) {
        const std::size_t before = received;
        const HRESULT result = SimConnect_CallDispatch(
            link.handle,
            [](SIMCONNECT_RECV*, DWORD, void* count) { ++*static_cast<std::size_t*>(count); },
            &received);
        if (FAILED(result)) break;
        // An application with nothing to do gives the processor away between calls.
        if (received == before) std::this_thread::yield();
    }
    const auto end = Clock::now();
    sender.join();
    return Rate(kEvents, start, end);
}

double RawReadRate(const Endpoint& endpoint, const std::string& pipeName) {
    Link link(endpoint, pipeName, false);
    std::vector<char> buffer(kRawReadSize);
    std::size_t bytes = 0;
    const auto start = Clock::now();
    std::thread sender([&] { SendEvents(*link.peer); });
    while (bytes < kEvents * kEventSize) {
        const ssize_t n = read(link.fd, buffer.data(), buffer.size());
        if (n <= 0) break;
        bytes += static_cast<std::size_t>(n);
    }
    const auto end = Clock::now();
    sender.join();
    return Rate(bytes / kEventSize, start, end);
}

double Best(const std::vector<double>& values) {
    return *std::max_element(values.begin(), values.end());
}

void Print(const std::string& name, double value, const char* unit) {
    std::printf("bench: %s %.*f %s\n", name.c_str(), std::string(unit) == "ratio" ? 2 : 0, value,
                unit);
    std::fflush(stdout);
}

// Alternates library and raw rounds so that both see the same load on the machine.
void Compare(const std::string& name, const char* unit,
             const std::function<double(const std::string&)>& library,
             const std::function<double(const std::string&)>& raw) {
    std::vector<double> libraryRates;
    std::vector<double> rawRates;
    for (int round = 0; round < kRounds; ++round) {
        const std::string pipe = "orvendale-bench-" + std::to_string(getpid()) + "-" + name + "-" +
                                 std::to_string(round);
        rawRates.push_back(raw(pipe + "-raw"));
        libraryRates.push_back(library(pipe));
    }
    const double libraryRate = Best(libraryRates);
    const double rawRate = Best(rawRates);
    Print(name, libraryRate, unit);
    Print(name + "_raw", rawRate, unit);
    Print(name + "_vs_raw", libraryRate / rawRate, "ratio");
}

}  // namespace

int main() {
    try {
        using namespace std::placeholders;
        for (const Endpoint& endpoint : {Endpoint{false, "pipe"}, Endpoint{true, "tcp"}}) {
            Compare("request_rate_" + endpoint.name, "requests/s",
                    std::bind(LibraryRequestRate, endpoint, _1), std::bind(RawRequestRate, endpoint, _1));
        }
        for (const Endpoint& endpoint : {Endpoint{false, "pipe"}, Endpoint{true, "tcp"}}) {
            Compare("dispatch_rate_" + endpoint.name, "messages/s",
                    std::bind(LibraryDispatchRate, endpoint, _1), std::bind(RawReadRate, endpoint, _1));
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_simconnect: %s\n", error.what());
        return 1;
    }
    return 0;
}
