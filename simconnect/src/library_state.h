// State shared by every connection of the process: the counters that the transport and
// the session keep, and the session list.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

#include "base/mutex.h"

class ClientClient;

struct LibraryState {
    std::atomic<bool> socketsStarted{false};
    std::atomic<std::uint32_t> connectionIdCounter{0};
    std::atomic<std::int32_t> liveClients{0};   // live CClient objects
    std::atomic<std::int32_t> liveSessions{0};  // live ClientClient objects

    // The session list. Opening and closing are serialised by the callers, so the list
    // itself takes no lock.
    ClientClient* head = nullptr;
    ClientClient* tail = nullptr;

    // Signalled whenever the last CClient of the process goes away; the count falls under
    // the lock, so that a waiter cannot miss the last one.
    Mutex idleLock;
    CondVar idle;
};

LibraryState& Library();

// The next connection id: the counter plus one, where 0 is skipped.
std::uint32_t NextConnectionId();

// Waits until no CClient is alive, up to `limit`; true when none is.
bool WaitForNoLiveClients(std::chrono::milliseconds limit);

// Called by the CClient destructor.
void NoteClientDestroyed();
