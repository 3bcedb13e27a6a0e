#include "app/sim_call.h"

#include <cassert>

namespace {

// Events go out with the group value 1, which the flag below makes a priority.
constexpr SIMCONNECT_NOTIFICATION_GROUP_ID kEventPriority = 1;

}  // namespace

SimCallGuard::SimCallGuard(SimSession& session, RackMutex& rackMutex)
    : rackMutex_(rackMutex), session_(session) {
    assert(&rackMutex == session.rackMutexPtr);
    rackMutex_.lock();
}

SimCallGuard::~SimCallGuard() {
    rackMutex_.unlock();
}

bool SimCallGuard::connectionOpen() const {
    return session_.coon;
}

void SimCallGuard::transmitEvent(SIMCONNECT_CLIENT_EVENT_ID eventId, DWORD data) {
    if (!connectionOpen()) return;
    SimConnect_TransmitClientEvent(session_.hSimConnect, SIMCONNECT_OBJECT_ID_USER, eventId, data,
                                   kEventPriority, SIMCONNECT_EVENT_FLAG_GROUPID_IS_PRIORITY);
}

void SimCallGuard::setData(SIMCONNECT_DATA_DEFINITION_ID definitionId, DWORD unitSize, void* data) {
    if (!connectionOpen()) return;
    session_.lastResult = SimConnect_SetDataOnSimObject(
        session_.hSimConnect, definitionId, SIMCONNECT_OBJECT_ID_USER, 0, 0, unitSize, data);
}

// The guard's hold is the session's rackMutex; the analysis follows a hold only within
// the scope that took it, so the guard's calls say so themselves.
bool SimCallGuard::sendTriggerCommand(const std::string& name) {
    session_.rackMutexPtr->assertHeld();
    return session_.sendTriggerCommand(name);
}

bool SimCallGuard::sendSetCommand(const std::string& name, std::int32_t value) {
    session_.rackMutexPtr->assertHeld();
    return session_.sendSetCommand(name, value);
}

void closeSimConnection(SimSession& session, RackMutex& rackMutex) {
    RackHold hold(rackMutex);
    session.rackMutexPtr->assertHeld();
    session.closeConnection();
}
