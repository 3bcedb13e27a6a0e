// How rack threads make simulator calls without racing the shutdown. The main thread
// closes the connection while holding rackMutex and clears coon before it lets go, so a
// call made under the same lock while coon is set never meets a closed connection. A
// guard holds rackMutex for its life and makes every simulator call of a rack thread,
// uplink commands included; each does nothing once the connection is closed:
//
//     SimCallGuard call(*simSession, *rackMutexPtr);
//     call.transmitEvent(eventId, 0);
#pragma once

#include <cstdint>
#include <string>

#include "app/locks.h"
#include "app/sim_session.h"

class SCOPED_CAPABILITY SimCallGuard {
public:
    // `rackMutex` is the session's own (SimSession::rackMutexPtr).
    SimCallGuard(SimSession& session, RackMutex& rackMutex) ACQUIRE(rackMutex);
    ~SimCallGuard() RELEASE();
    SimCallGuard(const SimCallGuard&) = delete;
    SimCallGuard& operator=(const SimCallGuard&) = delete;

    // Whether the connection is open; it cannot close while the guard lives.
    bool connectionOpen() const;

    // An event to the user's aircraft, with the group value 1 as a priority.
    void transmitEvent(SIMCONNECT_CLIENT_EVENT_ID eventId, DWORD data);
    // One element of a data definition on the user's aircraft; the result lands in
    // lastResult.
    void setData(SIMCONNECT_DATA_DEFINITION_ID definitionId, DWORD unitSize, void* data);
    // The uplink commands of the cockpit-variable channel; false when nothing was sent (a
    // name too long for the block, or a closed connection).
    bool sendTriggerCommand(const std::string& name);
    bool sendSetCommand(const std::string& name, std::int32_t value);

private:
    RackMutex& rackMutex_;
    SimSession& session_;
};

// The shutdown's close: SimConnect_Close under rackMutex (the session's own), its result
// in lastResult, and coon cleared on success before the lock is released.
void closeSimConnection(SimSession& session, RackMutex& rackMutex) EXCLUDES(rackMutex);
