#include "app/sim_session.h"

#include "base/little_endian.h"

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

// Looks the name up without inserting: rack threads read the table concurrently.
std::int32_t SimState::readCockpitVarRaw(const std::string& name) const {
    if (slots == nullptr) return 0;
    const auto found = slots->find(name);
    if (found == slots->end() || found->second > cockpit::kPayloadSize - 4) return 0;
    return static_cast<std::int32_t>(
        LoadU32(downlinkBlock.data() + cockpit::kPayloadOffset + found->second));
}

std::int32_t SimState::readCockpitVar(const std::string& name) const {
    return static_cast<std::int32_t>(readCockpitVarRaw(name) / 10.0);
}

SimState SimSession::readState() const {
    StateRead hold(*stateLockPtr);
    return {downlinkBlock, kohlsmanMb, flightDirectorActive, apAltitudeLock, &cockpitVarSlots};
}

std::int32_t SimSession::readCockpitVar(const std::string& name) const {
    return readState().readCockpitVar(name);
}
