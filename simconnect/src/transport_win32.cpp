// The Windows backend of the transport: named pipes opened for overlapped I/O, Windows
// Sockets, and completions delivered by the system thread pool (BindIoCompletionCallback).
// An OsHandle holds the pipe's HANDLE or the SOCKET itself; the OVERLAPPED of each
// operation is the first member of its IoRequest.
// The sockets' headers come before windows.h, and mstcpip.h after them.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <mstcpip.h>
#include <windows.h>

#include <cstddef>
#include <cstdio>
#include <cstring>

#include "transport_os.h"

namespace {

static_assert(sizeof(OVERLAPPED) <= sizeof(IoRequest::osRecord), "the OVERLAPPED fits its record");
static_assert(offsetof(IoRequest, osRecord) == 0, "the OVERLAPPED starts the request");

constexpr DWORD kPipeBusyWait = 5000;
// A simulator PC behind a firewall that drops the attempt answers nothing; the attempt
// gives up after this long instead of the system's 21 s or more.
constexpr long kConnectLimitSeconds = 5;
// A simulator PC that went away without closing is noticed by keep-alive probes: after
// 10 s without a word, one every 5 s, and the third unanswered ends the connection (the
// count can be set from Windows 10 1703 on; before, the system sends ten). Data of our own
// left unacknowledged ends it after as long, since probes are only sent on a connection
// with nothing in flight.
constexpr ULONG kKeepAliveIdleMs = 10000;
constexpr ULONG kKeepAliveIntervalMs = 5000;
constexpr DWORD kKeepAliveProbes = 3;
constexpr DWORD kUnacknowledgedLimitSeconds = 25;
// TCP_KEEPCNT and TCP_MAXRT, which not every SDK names.
constexpr int kTcpKeepCount = 16;
constexpr int kTcpMaxRetransmitSeconds = 5;

HANDLE AsHandle(OsHandle handle) {
    return reinterpret_cast<HANDLE>(handle);
}

SOCKET AsSocket(OsHandle handle) {
    return static_cast<SOCKET>(handle);
}

OVERLAPPED* OverlappedOf(IoRequest& request) {
    return reinterpret_cast<OVERLAPPED*>(request.osRecord);
}

// Every operation starts on a cleared OVERLAPPED; only a pipe's event is carried over.
OVERLAPPED* FreshOverlapped(IoRequest& request) {
    OVERLAPPED* overlapped = OverlappedOf(request);
    std::memset(overlapped, 0, sizeof *overlapped);
    overlapped->hEvent = static_cast<HANDLE>(request.osEvent);
    return overlapped;
}

bool IsPipe(const IoRequest& request) {
    return request.owner->Type() == TransportType::Pipe;
}

// The thread pool hands over the operation's status turned into a system error code,
// which loses statuses that share a code. The OVERLAPPED keeps the status itself in
// Internal, so every status reaches the transport as the system gave it.
VOID CALLBACK OnCompletion(DWORD, DWORD bytes, LPOVERLAPPED overlapped) {
    if (overlapped == nullptr) return;
    try {
        CClient::OnIoComplete(static_cast<std::uint32_t>(overlapped->Internal), bytes,
                              reinterpret_cast<IoRequest*>(overlapped));
    } catch (...) {
        // Nothing may unwind into the thread pool.
    }
}

// The completion status that stands for an error of an operation refused at once.
std::uint32_t StatusForError(DWORD error) {
    switch (error) {
        case ERROR_BROKEN_PIPE:
        case ERROR_NO_DATA:
        case ERROR_PIPE_NOT_CONNECTED:
            return kStatusPipeBroken;
        case WSAECONNRESET:
        case WSAENETRESET:
            return kStatusRemoteReset;
        case ERROR_OPERATION_ABORTED:
            return kStatusCancelled;
        default:
            return kStatusUnsuccessful;
    }
}

// A started operation reports its end through the thread pool also when it finished at
// once; a pipe read that got part of a larger message does too. Anything else was
// refused and will never complete: `refused` gets the status of its error.
bool Started(BOOL done, DWORD error, std::uint32_t& refused) {
    if (done || error == ERROR_IO_PENDING || error == ERROR_MORE_DATA) return true;
    refused = StatusForError(error);
    return false;
}

HANDLE OpenPipe(const std::string& path) {
    return CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                       FILE_FLAG_OVERLAPPED, nullptr);
}

// Connects within the limit: non-blocking for the attempt, blocking again afterwards as
// the overlapped reads and writes expect.
bool ConnectWithin(SOCKET socket, const sockaddr* address, int length) {
    u_long nonBlocking = 1;
    if (ioctlsocket(socket, FIONBIO, &nonBlocking) != 0) return false;
    if (connect(socket, address, length) != 0 && WSAGetLastError() != WSAEWOULDBLOCK) return false;
    fd_set writable;
    fd_set failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(socket, &writable);
    FD_SET(socket, &failed);
    timeval limit{kConnectLimitSeconds, 0};
    if (select(0, nullptr, &writable, &failed, &limit) != 1 || !FD_ISSET(socket, &writable))
        return false;
    nonBlocking = 0;
    return ioctlsocket(socket, FIONBIO, &nonBlocking) == 0;
}

// Options the system does not know are left as they are.
void KeepAlive(SOCKET socket) {
    tcp_keepalive values{1, kKeepAliveIdleMs, kKeepAliveIntervalMs};
    DWORD returned = 0;
    WSAIoctl(socket, SIO_KEEPALIVE_VALS, &values, sizeof values, nullptr, 0, &returned, nullptr,
             nullptr);
    setsockopt(socket, IPPROTO_TCP, kTcpKeepCount, reinterpret_cast<const char*>(&kKeepAliveProbes),
               sizeof kKeepAliveProbes);
    setsockopt(socket, IPPROTO_TCP, kTcpMaxRetransmitSeconds,
               reinterpret_cast<const char*>(&kUnacknowledgedLimitSeconds),
               sizeof kUnacknowledgedLimitSeconds);
}

void CopyBuffers(const IoRequest& request, WSABUF (&buffers)[kMaxIoBuffers]) {
    for (std::uint32_t i = 0; i < request.bufferCount; ++i) {
        buffers[i].len = request.buffers[i].length;
        buffers[i].buf = reinterpret_cast<char*>(request.buffers[i].data);
    }
}

}  // namespace

namespace transport_os {

bool StartSockets() {
    WSADATA data{};
    return WSAStartup(MAKEWORD(2, 0), &data) == 0;
}

void StopSockets() {
    WSACleanup();
}

bool ConnectPipe(const std::string& path, OsHandle& handle) {
    for (;;) {
        const HANDLE pipe = OpenPipe(path);
        if (pipe != INVALID_HANDLE_VALUE) {
            handle = reinterpret_cast<OsHandle>(pipe);
            return true;
        }
        if (GetLastError() != ERROR_PIPE_BUSY) return false;
        if (!WaitNamedPipeA(path.c_str(), kPipeBusyWait)) return false;
    }
}

bool ConnectTcp(std::uint32_t family, const std::string& address, const std::string& port,
                OsHandle& handle) {
    addrinfo hints{};
    hints.ai_flags = 0;
    hints.ai_family = static_cast<int>(family);
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* results = nullptr;
    if (getaddrinfo(address.c_str(), port.c_str(), &hints, &results) != 0 || results == nullptr) {
        return false;
    }
    const addrinfo& first = *results;
    const SOCKET connected = socket(first.ai_family, first.ai_socktype, first.ai_protocol);
    const bool ok = connected != INVALID_SOCKET &&
                    ConnectWithin(connected, first.ai_addr, static_cast<int>(first.ai_addrlen));
    freeaddrinfo(results);
    if (!ok) {
        if (connected != INVALID_SOCKET) closesocket(connected);
        return false;
    }
    KeepAlive(connected);
    handle = static_cast<OsHandle>(connected);
    return true;
}

bool BindCompletion(OsHandle handle) {
    return BindIoCompletionCallback(AsHandle(handle), OnCompletion, 0) != FALSE;
}

// A pipe write carries one buffer; a socket write gathers the queued messages.
std::uint32_t MaxWriteBuffers(TransportType transportType) {
    return transportType == TransportType::Pipe ? 1 : kMaxIoBuffers;
}

bool PostRead(OsHandle handle, IoRequest& request, std::uint32_t& refused) {
    OVERLAPPED* overlapped = FreshOverlapped(request);
    const IoBuffer& buffer = request.buffers[0];
    if (IsPipe(request)) {
        const BOOL done = ReadFile(AsHandle(handle), buffer.data, buffer.length, nullptr, overlapped);
        return Started(done, done ? 0 : GetLastError(), refused);
    }
    WSABUF part{buffer.length, reinterpret_cast<char*>(buffer.data)};
    DWORD flags = 0;
    const int result = WSARecv(AsSocket(handle), &part, 1, nullptr, &flags, overlapped, nullptr);
    return Started(result == 0, result == 0 ? 0 : static_cast<DWORD>(WSAGetLastError()), refused);
}

// A refused write's status is not needed: the read under way reports the end.
bool PostWrite(OsHandle handle, IoRequest& request) {
    std::uint32_t refused = kStatusSuccess;
    OVERLAPPED* overlapped = FreshOverlapped(request);
    if (IsPipe(request)) {
        const IoBuffer& buffer = request.buffers[0];
        const BOOL done =
            WriteFile(AsHandle(handle), buffer.data, buffer.length, nullptr, overlapped);
        return Started(done, done ? 0 : GetLastError(), refused);
    }
    // The system takes its own copy of the buffer list, so it may live on the stack.
    WSABUF parts[kMaxIoBuffers];
    CopyBuffers(request, parts);
    const int result =
        WSASend(AsSocket(handle), parts, request.bufferCount, nullptr, 0, overlapped, nullptr);
    return Started(result == 0, result == 0 ? 0 : static_cast<DWORD>(WSAGetLastError()), refused);
}

void SetNoDelay(OsHandle handle) {
    const int on = 1;
    setsockopt(AsSocket(handle), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on),
               sizeof on);
}

// WSAGetLastError reads the same per-thread value, so one call serves both transports.
std::uint32_t LastError() {
    return GetLastError();
}

void Shutdown(OsHandle handle) {
    shutdown(AsSocket(handle), SD_BOTH);
}

void CancelIo(OsHandle handle) {
    ::CancelIo(AsHandle(handle));
}

void Close(OsHandle handle, TransportType transportType) {
    if (transportType == TransportType::Pipe) {
        CloseHandle(AsHandle(handle));
    } else {
        closesocket(AsSocket(handle));
    }
}

void CreatePipeEvents(IoRequest& receive, IoRequest& send) {
    for (IoRequest* request : {&receive, &send}) {
        request->osEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        if (request->osEvent == nullptr) {
            std::printf("CreateEvent failed with %d.\n", static_cast<int>(GetLastError()));
        }
    }
}

void ClosePipeEvents(IoRequest& receive, IoRequest& send) {
    for (IoRequest* request : {&receive, &send}) {
        if (request->osEvent != nullptr) CloseHandle(static_cast<HANDLE>(request->osEvent));
        request->osEvent = nullptr;
    }
}

}  // namespace transport_os
