// A session opened by the library to a peer in the test, over a pipe of the test's own
// or TCP loopback, with the peer's end of the connection accepted and the OPEN request
// already read off it.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "simconnect/SimConnect.h"
#include "testing/loopback_peer.h"
#include "request_functions.h"
#include "session.h"
#include "testing/process.h"

struct PeerOptions {
    bool tcp = false;
    std::uint32_t maxReceiveSize = 41088;
    HWND window = nullptr;
    DWORD message = 0;
    HANDLE event = nullptr;
};

struct PeerSession {
    explicit PeerSession(const std::string& tag, const PeerOptions& options = {}) { Open(tag, options); }
    ~PeerSession() { Close(); }

    // Opens a session to a fresh peer; fails the test when any step does not work.
    void Open(const std::string& tag, const PeerOptions& options = {}) {
        ConnectionSettings settings;
        settings.maxReceiveSize = options.maxReceiveSize;
        if (options.tcp) {
            listener = loopback_peer::Listener::Tcp();
            ASSERT_TRUE(listener);
            settings.protocol = kFamilyIPv4;
            settings.address = "127.0.0.1";
            settings.port = listener->Port();
        } else {
            settings.port = loopback_peer::UniquePipeName(tag);
            listener = loopback_peer::Listener::Pipe(BuildPipePath("", settings.port));
            ASSERT_TRUE(listener);
        }
        ASSERT_EQ(OpenWithSettings(&handle, "peer test", settings, options.window, options.message,
                                   options.event),
                  S_OK);
        peer = listener->Accept();
        ASSERT_TRUE(peer);
        openRequest = peer->ReadMessage();
        ASSERT_EQ(openRequest.size(), 296u);
    }
    ClientClient* session() const { return static_cast<ClientClient*>(handle); }
    // Closes the session now (the destructor does it otherwise).
    HRESULT Close() {
        const HRESULT result = handle != nullptr ? SimConnect_Close(handle) : E_FAIL;
        handle = nullptr;
        return result;
    }

    std::optional<loopback_peer::Listener> listener;
    std::optional<loopback_peer::Connection> peer;
    HANDLE handle = nullptr;
    loopback_peer::Bytes openRequest;
};

// Messages passed by one dispatch call, copied.
struct Dispatched {
    std::vector<loopback_peer::Bytes> messages;
    HRESULT result = S_OK;
};
inline Dispatched DispatchOnce(HANDLE handle) {
    Dispatched dispatched;
    dispatched.result = SimConnect_CallDispatch(
        handle,
        [](SIMCONNECT_RECV* data, DWORD size, void* context) {
            const auto* bytes = reinterpret_cast<const std::uint8_t*>(data);
            static_cast<Dispatched*>(context)->messages.emplace_back(bytes, bytes + size);
        },
        &dispatched);
    return dispatched;
}

// Waits until `count` messages wait in the session's receive queue.
inline bool WaitForQueued(ClientClient* session, std::uint32_t count,
                          std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    return testsupport::waitUntil([&] { return session->TEST_QueuedMessages() >= count; }, limit);
}
// Waits until the session's transport has failed.
inline bool WaitForFailure(ClientClient* session) {
    return testsupport::waitUntil([&] { return session->HasFailed(); }, std::chrono::seconds(5));
}
