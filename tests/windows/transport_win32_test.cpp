// The transport's Windows backend against a peer in this process: a broken pipe and a TCP
// peer that closes in order end the connection with the completion statuses that the
// system reports, also when the system refuses the next read at once; closing with a read
// and a large write in flight gives every completion back; a busy pipe is waited for.
// Every wait on the peer's side is bounded.
#include <gtest/gtest.h>
#include <windows.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "base/little_endian.h"
#include "library_state.h"
#include "request_functions.h"
#include "session.h"
#include "own_folder.h"

namespace {

using namespace std::chrono_literals;
using wintest::waitFor;

constexpr DWORD kPeerWaitMs = 5000;

// One instance, overlapped, so that waiting for a client has a bound.
HANDLE makePipe(const std::string& name) {
    return CreateNamedPipeA(BuildPipePath("", name).c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                            PIPE_TYPE_BYTE | PIPE_WAIT, 1, 65536, 65536, 0, nullptr);
}

// Waits up to five seconds for a client on the pipe.
bool acceptClient(HANDLE pipe) {
    OVERLAPPED overlapped{};
    overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    bool connected = ConnectNamedPipe(pipe, &overlapped) != FALSE;
    if (!connected) {
        const DWORD error = GetLastError();
        connected = error == ERROR_PIPE_CONNECTED;
        if (error == ERROR_IO_PENDING) {
            DWORD ignored = 0;
            connected = WaitForSingleObject(overlapped.hEvent, kPeerWaitMs) == WAIT_OBJECT_0 &&
                        GetOverlappedResult(pipe, &overlapped, &ignored, FALSE);
            if (!connected) CancelIo(pipe);
        }
    }
    CloseHandle(overlapped.hEvent);
    return connected;
}

// Reads the 296-byte OPEN request, within five seconds.
bool readOpenRequest(HANDLE pipe) {
    char request[296];
    OVERLAPPED overlapped{};
    overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    DWORD got = 0;
    bool done = ReadFile(pipe, request, sizeof request, nullptr, &overlapped) != FALSE ||
                (GetLastError() == ERROR_IO_PENDING &&
                 WaitForSingleObject(overlapped.hEvent, kPeerWaitMs) == WAIT_OBJECT_0);
    done = done && GetOverlappedResult(pipe, &overlapped, &got, FALSE) && got == sizeof request;
    if (!done) CancelIo(pipe);
    CloseHandle(overlapped.hEvent);
    return done;
}

// Accepts one connection on the listening socket within five seconds.
SOCKET acceptWithin(SOCKET listener) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(listener, &readable);
    timeval limit{static_cast<long>(kPeerWaitMs / 1000), 0};
    if (select(0, &readable, nullptr, nullptr, &limit) != 1) return INVALID_SOCKET;
    return accept(listener, nullptr, nullptr);
}

// Reads the 296-byte OPEN request off a socket, within five seconds.
bool readOpenRequest(SOCKET peer) {
    const DWORD limit = kPeerWaitMs;
    setsockopt(peer, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&limit), sizeof limit);
    char request[296];
    int got = 0;
    while (got < 296) {
        const int n = recv(peer, request + got, 296 - got, 0);
        if (n <= 0) return false;
        got += n;
    }
    return true;
}

ClientClient* sessionOf(HANDLE handle) {
    return static_cast<ClientClient*>(handle);
}

// A simulator of the test's own on a pipe or on TCP loopback: it accepts the session,
// reads its OPEN request and then does what the case asks with its end.
class Peer {
public:
    explicit Peer(bool tcp) : tcp_(tcp) {
        if (tcp_) {
            // Closing the last session stops the sockets; each peer starts them again.
            CClient::EnsureWinsock();
            listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            int length = sizeof address;
            bind(listener_, reinterpret_cast<sockaddr*>(&address), length);
            listen(listener_, 1);
            getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
            settings_.protocol = kFamilyIPv4;
            settings_.address = "127.0.0.1";
            settings_.port = std::to_string(ntohs(address.sin_port));
            settings_.disableNagle = true;
        } else {
            settings_.port = wintest::ownName("transport-peer");
            pipe_ = makePipe(settings_.port);
        }
    }
    ~Peer() {
        if (socket_ != INVALID_SOCKET) closesocket(socket_);
        if (listener_ != INVALID_SOCKET) closesocket(listener_);
        if (pipe_ != INVALID_HANDLE_VALUE) CloseHandle(pipe_);
    }

    // Opens a session to this peer; the peer has its OPEN request once this returns.
    HRESULT Open(HANDLE& handle) {
        std::jthread server([&] {
            if (tcp_) {
                socket_ = acceptWithin(listener_);
                accepted_ = socket_ != INVALID_SOCKET && readOpenRequest(socket_);
            } else {
                accepted_ = acceptClient(pipe_) && readOpenRequest(pipe_);
            }
        });
        const HRESULT opened = OpenWithSettings(&handle, "transport test", settings_);
        server.join();
        return accepted_ ? opened : E_FAIL;
    }
    // Writes the bytes into the pipe, whose buffer holds them.
    bool Write(const std::vector<unsigned char>& bytes) {
        OVERLAPPED overlapped{};
        overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        DWORD written = 0;
        const bool done =
            (WriteFile(pipe_, bytes.data(), DWORD(bytes.size()), nullptr, &overlapped) ||
             (GetLastError() == ERROR_IO_PENDING &&
              WaitForSingleObject(overlapped.hEvent, kPeerWaitMs) == WAIT_OBJECT_0)) &&
            GetOverlappedResult(pipe_, &overlapped, &written, FALSE) && written == bytes.size();
        CloseHandle(overlapped.hEvent);
        return done;
    }
    // The simulator's end goes away: the pipe breaks, the TCP connection closes in order.
    void Close() {
        if (tcp_) {
            shutdown(socket_, SD_SEND);
            closesocket(socket_);
            socket_ = INVALID_SOCKET;
        } else {
            CloseHandle(pipe_);
            pipe_ = INVALID_HANDLE_VALUE;
        }
    }

private:
    bool tcp_;
    ConnectionSettings settings_;
    HANDLE pipe_ = INVALID_HANDLE_VALUE;
    SOCKET listener_ = INVALID_SOCKET;
    SOCKET socket_ = INVALID_SOCKET;
    bool accepted_ = false;
};

// A message of `length` bytes: its length, then filler.
std::vector<unsigned char> message(std::uint32_t length) {
    std::vector<unsigned char> bytes(length, 0x11);
    StoreU32(bytes.data(), length);
    return bytes;
}

}  // namespace

// The simulator's end goes away: a broken pipe, and a TCP connection closed in order,
// end the session with the statuses the system reports, which dispatch then returns.
TEST(WindowsTransport, PeerGoingAwayFailsWithItsStatus) {
    for (const bool tcp : {false, true}) {
        Peer peer(tcp);
        HANDLE handle = nullptr;
        ASSERT_EQ(peer.Open(handle), S_OK) << (tcp ? "tcp" : "pipe");
        peer.Close();
        EXPECT_TRUE(waitFor([&] { return sessionOf(handle)->HasFailed(); }));
        // TCP: the pending read completes with 0 bytes.
        const std::uint32_t status = tcp ? 0xC000013Eu : 0xC000014Bu;
        EXPECT_EQ(sessionOf(handle)->TEST_Failure(), tcp ? FailureKind::PeerClosed : FailureKind::Broken);
        EXPECT_EQ(static_cast<std::uint32_t>(sessionOf(handle)->FailureResult()), status);
        EXPECT_EQ(SimConnect_CallDispatch(handle, [](SIMCONNECT_RECV*, DWORD, void*) {}, nullptr),
                  static_cast<HRESULT>(status));
        EXPECT_EQ(SimConnect_Close(handle), S_OK);
    }
}

// The pipe's one instance is taken by a first client; a second connect waits while it
// stays taken, and gets the instance once the server has taken the first client off it.
// The instance is freed only once the connect has been under way for 300 ms without
// ending: a connect that does not wait has failed long before (a slow machine only makes
// the connect wait longer), and once freed the connect has the rest of its 5 s to take it.
// The pipe's name is this test's own, so no other test can take the instance meanwhile.
// The test's own thread opens: Wine cancels the I/O a thread started when it ends, and the
// session's first read is started by the opening thread.
TEST(WindowsTransport, BusyPipeIsWaitedFor) {
    const std::string name = wintest::ownName("transport-busy");
    const HANDLE pipe = makePipe(name);
    ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
    const HANDLE first = CreateFileA(BuildPipePath("", name).c_str(), GENERIC_READ | GENERIC_WRITE,
                                     0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(first, INVALID_HANDLE_VALUE);
    ConnectionSettings settings;
    settings.port = name;
    std::atomic<bool> opening{false}, opened{false};
    std::atomic<bool> waited{false}, served{false};
    std::jthread server([&] {
        waited = waitFor([&] { return opening.load(); }) &&
                 !waitFor([&] { return opened.load(); }, 300ms);
        DisconnectNamedPipe(pipe);
        served = acceptClient(pipe) && readOpenRequest(pipe);
    });
    opening = true;
    HANDLE handle = nullptr;
    EXPECT_EQ(OpenWithSettings(&handle, "transport test", settings), S_OK);
    opened = true;
    server.join();
    EXPECT_TRUE(waited.load()) << "the connect did not wait for the busy pipe";
    EXPECT_TRUE(served.load());
    if (handle != nullptr) {
        EXPECT_FALSE(sessionOf(handle)->HasFailed());
        SimConnect_Close(handle);
    }
    CloseHandle(first);
    CloseHandle(pipe);
}

// The simulator sends a message longer than the receive buffer and goes away at once: the
// read that follows finds the pipe broken before it starts. The message still comes, then
// the failure, which dispatch reports like one a completion carried. (Over TCP Wine closes
// a socket in order whatever its linger says, so the reset that would refuse a read at
// once cannot be made here.)
TEST(WindowsTransport, ReadRefusedAtOnceEndsTheConnection) {
    Peer peer(false);
    HANDLE handle = nullptr;
    ASSERT_EQ(peer.Open(handle), S_OK);
    ASSERT_TRUE(peer.Write(message(5000)));
    peer.Close();
    EXPECT_TRUE(waitFor([&] { return sessionOf(handle)->HasFailed(); }));
    std::vector<DWORD> sizes;
    const HRESULT result = SimConnect_CallDispatch(
        handle,
        [](SIMCONNECT_RECV*, DWORD size, void* c) {
            static_cast<std::vector<DWORD>*>(c)->push_back(size);
        },
        &sizes);
    EXPECT_EQ(sizes, std::vector<DWORD>{5000});
    EXPECT_EQ(static_cast<std::uint32_t>(result), 0xC000014Bu);
    EXPECT_EQ(SimConnect_Close(handle), S_OK);
}

// Closing while a read waits and an 8 MiB write is in flight that nobody reads: both
// complete (cancelled), every reference comes back and the close ends within its bounds.
TEST(WindowsTransport, ClosingWithAReadAndALargeWriteInFlight) {
    for (const bool tcp : {false, true}) {
        Peer peer(tcp);
        HANDLE handle = nullptr;
        ASSERT_EQ(peer.Open(handle), S_OK) << (tcp ? "tcp" : "pipe");
        ClientClient* session = sessionOf(handle);
        const std::uint32_t size = 8 * 1048576;
        auto* block = static_cast<unsigned char*>(std::calloc(size, 1));
        ASSERT_NE(block, nullptr);
        StoreU32(block, size);
        ASSERT_TRUE(session->QueueSend(NewMessageNode(block, size, session->ConnectionId())));
        EXPECT_TRUE(waitFor([&] { return session->TEST_References() == 3; })) << (tcp ? "tcp" : "pipe");
        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(SimConnect_Close(handle), S_OK);
        EXPECT_LT(std::chrono::steady_clock::now() - started, 6s);
        EXPECT_EQ(Library().liveClients.load(), 0) << (tcp ? "tcp" : "pipe");
    }
}
