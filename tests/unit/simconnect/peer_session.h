// A session opened by the library to a peer in the test, over a pipe of the test's own
// or TCP loopback, with the peer's end of the connection accepted and the OPEN request
// already read off it.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "simconnect/SimConnect.h"
#include "simconnect/peer/loopback_peer.h"
#include "simconnect/session.h"

struct PeerSession {
    std::optional<loopback_peer::Listener> listener;
    std::optional<loopback_peer::Connection> peer;
    HANDLE handle = nullptr;
    loopback_peer::Bytes openRequest;

    ~PeerSession();
    ClientClient* session() const { return static_cast<ClientClient*>(handle); }
    // Closes the session now (the destructor does it otherwise).
    HRESULT Close();
};

struct PeerOptions {
    bool tcp = false;
    std::uint32_t maxReceiveSize = 41088;
    HWND window = nullptr;
    DWORD message = 0;
    HANDLE event = nullptr;
};

// Opens a session to a fresh peer; fails the test when any step does not work.
void OpenPeerSession(PeerSession& out, const std::string& tag, const PeerOptions& options = {});

// Messages passed by one dispatch call, copied.
struct Dispatched {
    std::vector<loopback_peer::Bytes> messages;
    HRESULT result = S_OK;
};
Dispatched DispatchOnce(HANDLE handle);

// Waits until `count` messages wait in the session's receive queue.
bool WaitForQueued(ClientClient* session, std::uint32_t count);
// Waits until the session's transport has failed.
bool WaitForFailure(ClientClient* session);
