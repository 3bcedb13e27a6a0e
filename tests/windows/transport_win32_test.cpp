// The transport's Windows backend against a peer in this process: a broken pipe and a TCP
// peer that closes in order end the connection with the completion statuses that the
// thread pool reports, and a busy pipe is waited for.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "simconnect/request_functions.h"
#include "simconnect/session.h"
#include "tests/windows/own_folder.h"

namespace {

using namespace std::chrono_literals;
using wintest::waitFor;

std::string ownPipe(const std::string& tag) {
    return wintest::ownName("transport-" + tag);
}

HANDLE makePipe(const std::string& name) {
    return CreateNamedPipeA(BuildPipePath("", name).c_str(), PIPE_ACCESS_DUPLEX,
                            PIPE_TYPE_BYTE | PIPE_WAIT, 1, 65536, 65536, 0, nullptr);
}

bool readOpenRequest(HANDLE pipe) {
    char request[296];
    DWORD got = 0;
    return ReadFile(pipe, request, sizeof request, &got, nullptr) && got == sizeof request;
}

ClientClient* sessionOf(HANDLE handle) {
    return static_cast<ClientClient*>(handle);
}

}  // namespace

TEST(WindowsTransport, BrokenPipeFailsWithItsStatus) {
    const std::string name = ownPipe("broken");
    const HANDLE pipe = makePipe(name);
    ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
    std::thread server([&] {
        if (ConnectNamedPipe(pipe, nullptr) || GetLastError() == ERROR_PIPE_CONNECTED) {
            readOpenRequest(pipe);
        }
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
    std::thread server([&] {
        const SOCKET peer = accept(listener, nullptr, nullptr);
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
    ASSERT_EQ(OpenWithSettings(&handle, "transport test", settings), S_OK);
    server.join();
    EXPECT_TRUE(waitFor([&] { return sessionOf(handle)->HasFailed(); }));
    EXPECT_EQ(sessionOf(handle)->FailureKindValue(), 4u);
    EXPECT_EQ(static_cast<std::uint32_t>(sessionOf(handle)->FailureResult()), 0xC000013Eu);
    EXPECT_EQ(SimConnect_Close(handle), S_OK);
    closesocket(listener);
}

// The pipe's one instance is taken by a first client for a while; the second connect
// waits and gets the instance once the server has taken the first client off it.
TEST(WindowsTransport, BusyPipeIsWaitedFor) {
    const std::string name = ownPipe("busy");
    const HANDLE pipe = makePipe(name);
    ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
    const HANDLE first = CreateFileA(BuildPipePath("", name).c_str(), GENERIC_READ | GENERIC_WRITE,
                                     0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(first, INVALID_HANDLE_VALUE);
    std::thread server([&] {
        std::this_thread::sleep_for(500ms);  // the time the pipe stays busy
        DisconnectNamedPipe(pipe);
        if (ConnectNamedPipe(pipe, nullptr) || GetLastError() == ERROR_PIPE_CONNECTED) {
            readOpenRequest(pipe);
        }
    });
    ConnectionSettings settings;
    settings.port = name;
    HANDLE handle = nullptr;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(OpenWithSettings(&handle, "transport test", settings), S_OK);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 400ms);
    server.join();
    EXPECT_FALSE(sessionOf(handle)->HasFailed());
    SimConnect_Close(handle);
    CloseHandle(first);
    CloseHandle(pipe);
}
