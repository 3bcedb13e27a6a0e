// Windows server: the simulator's named pipe, with one overlapped instance always waiting
// for the next client, and TCP on 127.0.0.1 and ::1 through Windows Sockets. One thread
// waits on the events of every pending operation and on the stop handle, so an idle
// stand-in costs nothing.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "sim-standin/server/server.h"
#include "sim-standin/server/socket_address.h"

namespace standin {
namespace {

constexpr DWORD kReadChunk = 65536;
constexpr DWORD kPipeBuffer = 65536;
// One wait covers at most 64 handles: the stop handle, three listeners and two per link.
constexpr std::size_t kMaxLinks = 30;

std::string failure(const std::string& what, DWORD code) {
    return what + ": error " + std::to_string(code);
}

DWORD waitTimeout(std::optional<Clock::time_point> wake, Clock::time_point now) {
    const long long ms = millisUntil(wake, now);
    return ms < 0 ? INFINITE : static_cast<DWORD>(std::min<long long>(ms, INFINITE - 1));
}

bool signalled(HANDLE event) {
    return WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
}

// One overlapped operation with its own manual-reset event.
struct Operation {
    Operation() { overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr); }
    ~Operation() {
        if (overlapped.hEvent != nullptr) CloseHandle(overlapped.hEvent);
    }
    Operation(const Operation&) = delete;
    Operation& operator=(const Operation&) = delete;

    OVERLAPPED* start() {
        HANDLE event = overlapped.hEvent;
        std::memset(&overlapped, 0, sizeof overlapped);
        overlapped.hEvent = event;
        pending = true;
        return &overlapped;
    }
    bool done() const { return pending && signalled(overlapped.hEvent); }
    // The result of a finished operation; false with the error in `error`.
    bool finish(HANDLE handle, DWORD& bytes, DWORD& error) {
        pending = false;
        const bool ok = GetOverlappedResult(handle, &overlapped, &bytes, FALSE) != FALSE;
        error = ok ? 0 : GetLastError();
        return ok;
    }
    // Cancels the operation and waits for it, so that its buffer may go.
    void abandon(HANDLE handle) {
        if (!pending) return;
        DWORD bytes = 0;
        GetOverlappedResult(handle, &overlapped, &bytes, TRUE);
        pending = false;
    }

    OVERLAPPED overlapped{};
    bool pending = false;
};

// One client connection; it reports what happens on it to the simulator.
class Link {
public:
    Link(Simulator& simulator, std::uint32_t session) : simulator_(simulator), session_(session) {}
    virtual ~Link() = default;
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

    // The handles whose signal means this link has something to do.
    virtual void addWaits(std::vector<HANDLE>& handles) const = 0;
    // Carries out whatever has completed or arrived.
    virtual void serve(Clock::time_point now) = 0;
    // Sends what `out` holds, as far as the connection takes it now.
    virtual void flush(Clock::time_point now) = 0;
    virtual bool sending() const = 0;
    virtual void close() = 0;

    Bytes out;

protected:
    void peerClosed(const std::string& reason, Clock::time_point now) {
        if (gone_) return;
        gone_ = true;
        simulator_.peerClosed(session_, reason, now);
    }
    void received(const std::uint8_t* data, std::size_t size, Clock::time_point now) {
        simulator_.receive(session_, data, size, now);
    }
    bool gone() const { return gone_; }
    bool reading() const { return simulator_.reading(); }

private:
    Simulator& simulator_;
    std::uint32_t session_;
    bool gone_ = false;
};

// A pipe instance with a client: one overlapped read always pending, one write at a time.
class PipeLink : public Link {
public:
    PipeLink(Simulator& simulator, std::uint32_t session, HANDLE pipe, Clock::time_point now)
        : Link(simulator, session), pipe_(pipe), buffer_(kReadChunk) {
        startRead(now);
    }
    ~PipeLink() override { close(); }

    void addWaits(std::vector<HANDLE>& handles) const override {
        if (read_.pending) handles.push_back(read_.overlapped.hEvent);
        if (write_.pending) handles.push_back(write_.overlapped.hEvent);
    }

    void serve(Clock::time_point now) override {
        if (read_.done()) finishRead(now);
        if (write_.done()) finishWrite(now);
    }

    void flush(Clock::time_point now) override {
        if (write_.pending || out.empty() || gone()) return;
        inFlight_.swap(out);
        out.clear();
        if (!WriteFile(pipe_, inFlight_.data(), static_cast<DWORD>(inFlight_.size()), nullptr,
                       write_.start()) &&
            GetLastError() != ERROR_IO_PENDING) {
            write_.pending = false;
            peerClosed(failure("write failed", GetLastError()), now);
        }
    }

    bool sending() const override { return write_.pending || !out.empty(); }

    void close() override {
        if (pipe_ == INVALID_HANDLE_VALUE) return;
        CancelIo(pipe_);
        read_.abandon(pipe_);
        write_.abandon(pipe_);
        CloseHandle(pipe_);
        pipe_ = INVALID_HANDLE_VALUE;
    }

private:
    void startRead(Clock::time_point now) {
        // A read that finishes at once signals its event all the same.
        if (!ReadFile(pipe_, buffer_.data(), kReadChunk, nullptr, read_.start()) &&
            GetLastError() != ERROR_IO_PENDING) {
            read_.pending = false;
            lost(GetLastError(), now);
        }
    }

    void finishRead(Clock::time_point now) {
        DWORD bytes = 0;
        DWORD error = 0;
        if (!read_.finish(pipe_, bytes, error)) {
            lost(error, now);
            return;
        }
        // A hung simulator posts no further read, so the client's requests wait in the pipe;
        // what the read that was pending took after the hang is never looked at either.
        if (!reading()) return;
        if (bytes > 0) received(buffer_.data(), bytes, now);
        if (!gone()) startRead(now);
    }

    void finishWrite(Clock::time_point now) {
        DWORD bytes = 0;
        DWORD error = 0;
        const bool ok = write_.finish(pipe_, bytes, error);
        inFlight_.clear();
        if (!ok) {
            peerClosed(failure("write failed", error), now);
            return;
        }
        flush(now);
    }

    void lost(DWORD error, Clock::time_point now) {
        peerClosed(error == ERROR_BROKEN_PIPE || error == ERROR_PIPE_NOT_CONNECTED
                       ? std::string("peer closed")
                       : failure("read failed", error),
                   now);
    }

    HANDLE pipe_;
    std::vector<std::uint8_t> buffer_;
    Bytes inFlight_;
    Operation read_;
    Operation write_;
};

// A TCP connection in non-blocking mode, woken by its network events.
class SocketLink : public Link {
public:
    SocketLink(Simulator& simulator, std::uint32_t session, SOCKET socket)
        : Link(simulator, session), socket_(socket), event_(WSACreateEvent()), buffer_(kReadChunk) {
        WSAEventSelect(socket_, event_, FD_READ | FD_WRITE | FD_CLOSE);
        // Requests and answers are small; each should go out at once.
        const int on = 1;
        setsockopt(socket_, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    }
    ~SocketLink() override { close(); }

    void addWaits(std::vector<HANDLE>& handles) const override { handles.push_back(event_); }

    void serve(Clock::time_point now) override {
        WSANETWORKEVENTS events{};
        if (WSAEnumNetworkEvents(socket_, event_, &events) != 0) return;
        // A hung simulator leaves the bytes unread; Windows signals them once until a read.
        if ((events.lNetworkEvents & (FD_READ | FD_CLOSE)) && reading()) readAvailable(now);
        if (events.lNetworkEvents & FD_WRITE) flush(now);
        if (events.lNetworkEvents & FD_CLOSE) {
            peerClosed(events.iErrorCode[FD_CLOSE_BIT] == 0 ? "peer closed" : "connection reset",
                       now);
        }
    }

    void flush(Clock::time_point now) override {
        while (!out.empty() && !gone()) {
            const int sent = send(socket_, reinterpret_cast<const char*>(out.data()),
                                  static_cast<int>(std::min<std::size_t>(out.size(), 1 << 20)), 0);
            if (sent == SOCKET_ERROR) {
                const int error = WSAGetLastError();
                if (error == WSAEWOULDBLOCK) return;  // FD_WRITE says when to go on
                out.clear();
                peerClosed(failure("write failed", static_cast<DWORD>(error)), now);
                return;
            }
            out.erase(out.begin(), out.begin() + sent);
        }
    }

    bool sending() const override { return !out.empty(); }

    void close() override {
        if (socket_ == INVALID_SOCKET) return;
        // Input the client sent after the end is read away first, so that closing does not
        // reset the connection under answers it has not read yet; a client that keeps
        // sending gets a bounded share.
        for (int reads = 0;
             reads < 64 && recv(socket_, reinterpret_cast<char*>(buffer_.data()), 4096, 0) > 0;
             ++reads) {
        }
        shutdown(socket_, SD_BOTH);
        closesocket(socket_);
        WSACloseEvent(event_);
        socket_ = INVALID_SOCKET;
    }

private:
    void readAvailable(Clock::time_point now) {
        for (;;) {
            const int got = recv(socket_, reinterpret_cast<char*>(buffer_.data()),
                                 static_cast<int>(buffer_.size()), 0);
            if (got > 0) {
                received(buffer_.data(), static_cast<std::size_t>(got), now);
                continue;
            }
            if (got == 0) {
                peerClosed("peer closed", now);
                return;
            }
            const int error = WSAGetLastError();
            if (error == WSAEWOULDBLOCK) return;
            peerClosed(error == WSAECONNRESET ? std::string("connection reset")
                                              : failure("read failed", static_cast<DWORD>(error)),
                       now);
            return;
        }
    }

    SOCKET socket_;
    WSAEVENT event_;
    std::vector<std::uint8_t> buffer_;
};

// The pipe's listening side: one instance waits for a client with an overlapped connect;
// when a client arrives the instance becomes its link and a new one takes its place.
class PipeListener {
public:
    ~PipeListener() {
        if (instance_ == INVALID_HANDLE_VALUE) return;
        CancelIo(instance_);
        connect_.abandon(instance_);
        CloseHandle(instance_);
    }

    bool open(const std::string& path, std::string& error) {
        path_ = path;
        // The first instance must be new: another simulator on the same name is an error.
        if (!createInstance(FILE_FLAG_FIRST_PIPE_INSTANCE)) {
            error = failure("cannot listen on pipe (" + path + ")", GetLastError());
            return false;
        }
        return true;
    }

    HANDLE event() const { return connect_.overlapped.hEvent; }
    bool connected() const { return connect_.done(); }

    // The instance whose client has connected, or INVALID_HANDLE_VALUE when the connect
    // failed; either way a fresh instance waits for the next client afterwards.
    HANDLE take() {
        DWORD bytes = 0;
        DWORD error = 0;
        HANDLE client = instance_;
        if (!connect_.finish(instance_, bytes, error)) {
            CloseHandle(instance_);
            client = INVALID_HANDLE_VALUE;
        }
        instance_ = INVALID_HANDLE_VALUE;
        createInstance(0);
        return client;
    }

private:
    bool createInstance(DWORD firstFlag) {
        instance_ = CreateNamedPipeA(path_.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | firstFlag,
                                     PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT,
                                     PIPE_UNLIMITED_INSTANCES, kPipeBuffer, kPipeBuffer, 0, nullptr);
        if (instance_ == INVALID_HANDLE_VALUE) return false;
        OVERLAPPED* overlapped = connect_.start();
        if (!ConnectNamedPipe(instance_, overlapped)) {
            // A client that came between the creation and the connect is already there.
            if (GetLastError() == ERROR_PIPE_CONNECTED) SetEvent(overlapped->hEvent);
        }
        return true;
    }

    std::string path_;
    HANDLE instance_ = INVALID_HANDLE_VALUE;
    Operation connect_;
};

struct TcpListener {
    SOCKET socket;
    WSAEVENT event;
    std::string endpoint;  // "ipv4" or "ipv6"
};

class WindowsServer final : public Server {
public:
    WindowsServer(Simulator& s, std::ostream& c) : Server(s, c) {}
    ~WindowsServer() override;

private:
    bool openPipe(const std::string& path, std::string& error) override;
    bool startTcp(std::string& error) override;
    std::optional<std::uint16_t> openTcp(bool ipv6, const std::string& host,
                                         std::uint16_t port, std::string& error) override;
    void waitAndServe(const StopSignal& stop) override;
    void deliverLastOutput(Clock::time_point deadline) override;
    std::vector<std::uint32_t> sessions() const override { return sessionsOf(links); }
    Bytes& pendingOutput(std::uint32_t session) override { return links.at(session)->out; }
    void flush(std::uint32_t session, Clock::time_point now) override;
    bool closeConnection(std::uint32_t session) override;

    bool bindAndListen(SOCKET socket, const sockaddr* address, int length,
                       const std::string& endpoint, std::string& error);
    std::vector<HANDLE> waitHandles(const StopSignal& stop) const;
    void acceptPipe(Clock::time_point now);
    void acceptTcp(const TcpListener& listener, Clock::time_point now);
    void addLink(const std::string& endpoint, Clock::time_point now,
                 const std::function<std::unique_ptr<Link>(std::uint32_t)>& make);

    bool socketsStarted = false;
    std::unique_ptr<PipeListener> pipe;
    std::vector<TcpListener> tcpListeners;
    std::map<std::uint32_t, std::unique_ptr<Link>> links;
};

WindowsServer::~WindowsServer() {
    links.clear();
    pipe.reset();
    for (const TcpListener& listener : tcpListeners) {
        closesocket(listener.socket);
        WSACloseEvent(listener.event);
    }
    if (socketsStarted) WSACleanup();
}

bool WindowsServer::bindAndListen(SOCKET socket, const sockaddr* address, int length,
                                  const std::string& endpoint, std::string& error) {
    if (bind(socket, address, length) != 0 || ::listen(socket, SOMAXCONN) != 0) {
        error = failure("cannot listen on " + endpoint, static_cast<DWORD>(WSAGetLastError()));
        closesocket(socket);
        return false;
    }
    const WSAEVENT event = WSACreateEvent();
    WSAEventSelect(socket, event, FD_ACCEPT);
    tcpListeners.push_back({socket, event, endpoint});
    return true;
}

bool WindowsServer::openPipe(const std::string& path, std::string& error) {
    pipe = std::make_unique<PipeListener>();
    return pipe->open(path, error);
}

bool WindowsServer::startTcp(std::string& error) {
    WSADATA data{};
    const int result = WSAStartup(MAKEWORD(2, 2), &data);
    if (result != 0) error = failure("cannot start Windows Sockets", static_cast<DWORD>(result));
    socketsStarted = result == 0;
    return socketsStarted;
}

std::optional<std::uint16_t> WindowsServer::openTcp(bool ipv6, const std::string& host,
                                                    std::uint16_t port, std::string& error) {
    const int family = ipv6 ? AF_INET6 : AF_INET;
    const SOCKET listener = socket(family, SOCK_STREAM, IPPROTO_TCP);
    if (listener == INVALID_SOCKET) {
        error = failure("cannot create a TCP socket", static_cast<DWORD>(WSAGetLastError()));
        return std::nullopt;
    }
    sockaddr_storage address{};
    int length = 0;
    const std::string endpoint = endpointName(ipv6);
    if (!socketAddress(ipv6, host, port, address, length)) {
        error = notAnAddress(ipv6, host);
        closesocket(listener);
        return std::nullopt;
    }
    if (!bindAndListen(listener, reinterpret_cast<const sockaddr*>(&address), length, endpoint,
                       error)) {
        return std::nullopt;
    }
    getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    return boundPort(ipv6, address);
}

std::vector<HANDLE> WindowsServer::waitHandles(const StopSignal& stop) const {
    std::vector<HANDLE> handles{reinterpret_cast<HANDLE>(stop.waitHandle())};
    // At the limit new clients wait in the listeners' queues until a link closes.
    if (links.size() < kMaxLinks) {
        if (pipe) handles.push_back(pipe->event());
        for (const TcpListener& listener : tcpListeners) handles.push_back(listener.event);
    }
    for (const auto& [session, link] : links) link->addWaits(handles);
    return handles;
}

void WindowsServer::waitAndServe(const StopSignal& stop) {
    const std::vector<HANDLE> handles = waitHandles(stop);
    const DWORD timeout = waitTimeout(simulator.nextWake(), Clock::now());
    if (WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE,
                               timeout) == WAIT_TIMEOUT) {
        return;
    }
    const auto now = Clock::now();
    if (signalled(handles.front())) stop.drain();
    if (links.size() < kMaxLinks) {
        if (pipe && pipe->connected()) acceptPipe(now);
        for (const TcpListener& listener : tcpListeners) acceptTcp(listener, now);
    }
    // Links are only closed by the caller's loop, so none goes away while these run.
    for (auto& [session, link] : links) link->serve(now);
}

void WindowsServer::addLink(const std::string& endpoint, Clock::time_point now,
                            const std::function<std::unique_ptr<Link>(std::uint32_t)>& make) {
    const std::uint32_t session = simulator.connect(endpoint, now);
    links.emplace(session, make(session));
}

void WindowsServer::acceptPipe(Clock::time_point now) {
    const HANDLE client = pipe->take();
    if (client == INVALID_HANDLE_VALUE) return;
    addLink("pipe", now, [&](std::uint32_t session) {
        return std::make_unique<PipeLink>(simulator, session, client, now);
    });
}

void WindowsServer::acceptTcp(const TcpListener& listener, Clock::time_point now) {
    WSANETWORKEVENTS events{};
    if (WSAEnumNetworkEvents(listener.socket, listener.event, &events) != 0 ||
        (events.lNetworkEvents & FD_ACCEPT) == 0) {
        return;
    }
    const SOCKET client = accept(listener.socket, nullptr, nullptr);
    if (client == INVALID_SOCKET) return;
    addLink(listener.endpoint, now, [&](std::uint32_t session) {
        return std::make_unique<SocketLink>(simulator, session, client);
    });
}

void WindowsServer::flush(std::uint32_t session, Clock::time_point now) {
    links.at(session)->flush(now);
}

bool WindowsServer::closeConnection(std::uint32_t session) {
    const auto found = links.find(session);
    if (found == links.end()) return false;
    found->second->close();
    links.erase(found);
    return true;
}

void WindowsServer::deliverLastOutput(Clock::time_point deadline) {
    while (simulator.ending() != Ending::None && Clock::now() < deadline) {
        std::vector<HANDLE> handles;
        for (const auto& [session, link] : links) {
            if (link->sending()) link->addWaits(handles);
        }
        if (handles.empty()) break;
        WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE,
                               waitTimeout(deadline, Clock::now()));
        for (auto& [session, link] : links) link->serve(Clock::now());
    }
}

}  // namespace

std::unique_ptr<Server> Server::create(Simulator& simulator, std::ostream& console) {
    return std::make_unique<WindowsServer>(simulator, console);
}

}  // namespace standin
