#include "app/sim_session.h"

SimSession::SimSession(StateLock* stateLock, RackMutex* rackMutex)
    : stateLockPtr(stateLock), rackMutexPtr(rackMutex) {}

SimSession::~SimSession() {
    if (coon) closeConnection();
}

void SimSession::closeConnection() {
    const HRESULT result = SimConnect_Close(hSimConnect);
    lastResult = result;
    // SUCCEEDED is a C-style cast, which this build refuses.
    if (result >= 0) coon = false;
}
