// How rack threads make simulator calls without racing the shutdown. The main thread
// closes the connection while holding rackMutex and clears coon before it lets go, so a
// call made under the same lock while coon is set never meets a closed connection:
//
//     SimCallGuard call(*simSession, *rackMutexPtr);
//     if (call.connectionOpen())
//         simSession->lastResult = SimConnect_TransmitClientEvent(simSession->hSimConnect, ...);
//
// Every simulator call of a rack thread, uplink commands included, is made this way.
#pragma once

#include <mutex>

#include "app/locks.h"
#include "app/sim_session.h"

class SimCallGuard {
public:
    SimCallGuard(const SimSession& session, RackMutex& rackMutex);
    SimCallGuard(const SimCallGuard&) = delete;
    SimCallGuard& operator=(const SimCallGuard&) = delete;

    // Whether the connection is open; it cannot close while the guard lives.
    bool connectionOpen() const;

private:
    std::lock_guard<RackMutex> lock_;
    const SimSession& session_;
};

// The shutdown's close: SimConnect_Close under rackMutex, its result in lastResult, and
// coon cleared on success before the lock is released.
void closeSimConnection(SimSession& session, RackMutex& rackMutex);
