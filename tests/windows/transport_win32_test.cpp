// The transport's Windows backend against a peer in this process: a broken pipe and a TCP
// peer that closes in order end the connection with the completion statuses that the
// system reports, and a busy pipe is waited for. Every wait on the peer's side is bounded.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "simconnect/src/request_functions.h"
#include "simconnect/src/session.h"
#include "tests/windows/own_folder.h"

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

ClientClient* sessionOf(HANDLE handle) {
    return static_cast<ClientClient*>(handle);
}

}  // namespace

TEST(WindowsTransport, BrokenPipeFailsWithItsStatus) {
    const std::string name = wintest::ownName("transport-broken");
    const HANDLE pipe = makePipe(name);
    ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
    // A joining thread: a failed assertion below returns without leaving it running.
    std::jthread server([&] {
        if (acceptClient(pipe)) readOpenRequest(pipe);
        // The simulator's end goes away, as when it ends.
        CloseHandle(pipe);
    });
    ConnectionSettings settings;
    settings.port = name;
    HANDLE handle = nullptr;
    ASSERT_EQ(OpenWithSettings(&handle, "transport test", settings), S_OK);
    server.join();
    EXPECT_TRUE(waitFor([&] { return sessionOf(handle)->HasFailed(); }));
    EXPECT_EQ(sessionOf(handle)->FailureKindValue(), 5u);
    EXPECT_EQ(static_cast<std::uint32_t>(sessionOf(handle)->FailureResult()), 0xC000014Bu);
    EXPECT_EQ(SimConnect_CallDispatch(handle, [](SIMCONNECT_RECV*, DWORD, void*) {}, nullptr),
              static_cast<HRESULT>(0xC000014Bu));
    EXPECT_EQ(SimConnect_Close(handle), S_OK);
}

TEST(WindowsTransport, TcpPeerClosingInOrderEndsWithZeroBytes) {
    ASSERT_TRUE(CClient::EnsureWinsock());
    const SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), length), 0);
    ASSERT_EQ(listen(listener, 1), 0);
    getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    std::jthread server([&] {
        const SOCKET peer = acceptWithin(listener);
        if (peer == INVALID_SOCKET) return;
        // The OPEN request, then an orderly close.
        const DWORD limit = kPeerWaitMs;
        setsockopt(peer, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&limit), sizeof limit);
        char request[296];
        int got = 0;
        while (got < 296) {
            const int n = recv(peer, request + got, 296 - got, 0);
            if (n <= 0) break;
            got += n;
        }
        shutdown(peer, SD_SEND);
        closesocket(peer);
    });
    ConnectionSettings settings;
    settings.protocol = kFamilyIPv4;
    settings.address = "127.0.0.1";
    settings.port = std::to_string(ntohs(address.sin_port));
    settings.disableNagle = true;
    HANDLE handle = nullptr;
    EXPECT_EQ(OpenWithSettings(&handle, "transport test", settings), S_OK);
    server.join();
    if (handle != nullptr) {
        EXPECT_TRUE(waitFor([&] { return sessionOf(handle)->HasFailed(); }));
        EXPECT_EQ(sessionOf(handle)->FailureKindValue(), 4u);
        EXPECT_EQ(static_cast<std::uint32_t>(sessionOf(handle)->FailureResult()), 0xC000013Eu);
        EXPECT_EQ(SimConnect_Close(handle), S_OK);
    }
    closesocket(listener);
}

// The pipe's one instance is taken by a first client; a second connect waits while it
// stays taken, and gets the instance once the server has taken the first client off it.
TEST(WindowsTransport, BusyPipeIsWaitedFor) {
    const std::string name = wintest::ownName("transport-busy");
    const HANDLE pipe = makePipe(name);
    ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
    const HANDLE first = CreateFileA(BuildPipePath("", name).c_str(), GENERIC_READ | GENERIC_WRITE,
                                     0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(first, INVALID_HANDLE_VALUE);
    ConnectionSettings settings;
    settings.port = name;
    HANDLE handle = nullptr;
    std::atomic<HRESULT> opened{E_PENDING};
    std::jthread opener([&] { opened = OpenWithSettings(&handle, "transport test", settings); });
    EXPECT_FALSE(waitFor([&] { return opened.load() != E_PENDING; }, 300ms));

    DisconnectNamedPipe(pipe);
    EXPECT_TRUE(acceptClient(pipe) && readOpenRequest(pipe));
    opener.join();
    EXPECT_EQ(opened.load(), S_OK);
    if (handle != nullptr) {
        EXPECT_FALSE(sessionOf(handle)->HasFailed());
        SimConnect_Close(handle);
    }
    CloseHandle(first);
    CloseHandle(pipe);
}
