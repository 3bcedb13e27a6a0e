#include "app/sim_call.h"

SimCallGuard::SimCallGuard(const SimSession& session, RackMutex& rackMutex)
    : lock_(rackMutex), session_(session) {}

bool SimCallGuard::connectionOpen() const {
    return session_.coon;
}

void closeSimConnection(SimSession& session, RackMutex& rackMutex) {
    std::lock_guard<RackMutex> lock(rackMutex);
    session.closeConnection();
}
