// Host detection on Windows: this program plays a simulator that has loaded the library.
// It exports FlightSimGetMainHwnd and FlightSimGetProcessId, owns a window, and serves the
// session's pipe itself; it checks both WM_COMMAND posts. What a host does with the
// record (attach, deliver) is portable and checked on Linux.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "simconnect/SimConnect.h"
#include "base/little_endian.h"
#include "own_folder.h"

namespace {

HWND hostWindow = nullptr;
DWORD reportedProcess = 0;

}  // namespace

extern "C" __declspec(dllexport) HWND FlightSimGetMainHwnd() {
    return hostWindow;
}

extern "C" __declspec(dllexport) DWORD FlightSimGetProcessId() {
    return reportedProcess;
}

namespace {

constexpr DWORD kHostId = 7;

std::string pipeName() {
    return wintest::ownName("hosting");
}

// The simulator's end of the session's pipe: it reads the OPEN request and answers it
// with an open answer that names host connection 7, then reads until the client leaves.
class PipePeer {
public:
    PipePeer() : path_("\\\\.\\pipe\\" + pipeName()) {
        pipe_ = CreateNamedPipeA(path_.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT, 1,
                                 65536, 65536, 0, nullptr);
        thread_ = std::thread([this] { serve(); });
    }
    // Runs after the session has closed; a client of its own ends a wait for one that
    // never came.
    ~PipePeer() {
        if (!connected_) CloseHandle(CreateFileA(path_.c_str(), GENERIC_READ, 0, nullptr,
                                                 OPEN_EXISTING, 0, nullptr));
        thread_.join();
        CloseHandle(pipe_);
    }
    PipePeer(const PipePeer&) = delete;
    PipePeer& operator=(const PipePeer&) = delete;

private:
    void serve() {
        const bool ok = ConnectNamedPipe(pipe_, nullptr) || GetLastError() == ERROR_PIPE_CONNECTED;
        connected_ = true;
        if (!ok) return;
        std::vector<unsigned char> request(296);
        DWORD got = 0;
        if (!ReadFile(pipe_, request.data(), 296, &got, nullptr) || got != 296) return;
        unsigned char answer[308] = {};
        StoreU32(answer, 308);
        StoreU32(answer + 4, 5);
        StoreU32(answer + 8, SIMCONNECT_RECV_ID_OPEN);
        StoreU32(answer + 300, kHostId);
        DWORD written = 0;
        WriteFile(pipe_, answer, sizeof answer, &written, nullptr);
        unsigned char rest[4096];
        while (ReadFile(pipe_, rest, sizeof rest, &got, nullptr)) {
        }
    }

    std::string path_;
    HANDLE pipe_ = INVALID_HANDLE_VALUE;
    std::atomic<bool> connected_{false};
    std::thread thread_;
};

std::vector<std::pair<WPARAM, LPARAM>> commands;

LRESULT CALLBACK hostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND) commands.push_back({wParam, lParam});
    return DefWindowProcA(window, message, wParam, lParam);
}

// Runs the window's messages until `count` WM_COMMAND posts have come or 5 s have passed.
bool pumpUntil(std::size_t count) {
    return wintest::waitFor([&] {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
        return commands.size() >= count;
    });
}

class HostWindow : public ::testing::Test {
protected:
    void SetUp() override {
        WNDCLASSA type{};
        type.lpfnWndProc = hostWindowProc;
        type.hInstance = GetModuleHandleA(nullptr);
        type.lpszClassName = "OrvendaleHostTest";
        RegisterClassA(&type);
        hostWindow = CreateWindowExA(0, "OrvendaleHostTest", "host", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                     nullptr, type.hInstance, nullptr);
        ASSERT_NE(hostWindow, nullptr);
        commands.clear();
    }
    void TearDown() override {
        if (handle != nullptr) SimConnect_Close(handle);
        peer.reset();
        DestroyWindow(hostWindow);
        hostWindow = nullptr;
    }

    // A SimConnect.cfg that leads the session to the peer's pipe.
    wintest::OwnFolder folder{"[SimConnect]\r\nProtocol=Pipe\r\nPort=" + pipeName() + "\r\n"};
    std::unique_ptr<PipePeer> peer = std::make_unique<PipePeer>();
    HANDLE handle = nullptr;
};

}  // namespace

TEST_F(HostWindow, AnotherProcessIsNoHost) {
    reportedProcess = GetCurrentProcessId() + 4;
    ASSERT_EQ(SimConnect_Open(&handle, "hosting test", nullptr, 0, nullptr, 0), S_OK);
    // PostMessageA queues at once, so an empty queue now means nothing was posted.
    MSG message;
    EXPECT_FALSE(PeekMessageA(&message, hostWindow, WM_COMMAND, WM_COMMAND, PM_NOREMOVE));
}

TEST_F(HostWindow, BothPostsReachTheHostsWindow) {
    reportedProcess = GetCurrentProcessId();
    ASSERT_EQ(SimConnect_Open(&handle, "hosting test", nullptr, 0, nullptr, 0), S_OK);
    ASSERT_TRUE(pumpUntil(1));
    EXPECT_EQ(commands[0].first, WPARAM{0x2002A});
    // The library is linked into this program, so its module is the executable.
    EXPECT_EQ(commands[0].second, reinterpret_cast<LPARAM>(GetModuleHandleA(nullptr)));

    // The open answer registers the session: the second post carries its record.
    static int answers = 0;
    const auto count = [](SIMCONNECT_RECV* data, DWORD, void*) {
        if (data->dwID == SIMCONNECT_RECV_ID_OPEN) ++answers;
    };
    ASSERT_TRUE(wintest::waitFor(
        [&] { return SUCCEEDED(SimConnect_CallDispatch(handle, count, nullptr)) && answers > 0; }));
    ASSERT_EQ(answers, 1);
    ASSERT_TRUE(pumpUntil(2));
    EXPECT_EQ(commands[1].first, WPARAM{0x2002A});
    const auto* record = reinterpret_cast<const unsigned char*>(commands[1].second);
    EXPECT_EQ(LoadU32(record), 32u);
    EXPECT_EQ(LoadU32(record + 8), kHostId);
}
