#include "app/sim_session.h"

SimSession::SimSession(StateLock* stateLock) : stateLockPtr(stateLock) {}

SimSession::~SimSession() {
    if (coon) closeConnection();
}

HRESULT SimSession::noteRequest(HRESULT result, const char* function) {
    DWORD sendId = 0;
    if (result >= 0 && SimConnect_GetLastSentPacketID(hSimConnect, &sendId) >= 0)
        link.requestOut(sendId, function);
    return result;
}

void SimSession::closeConnection() {
    const HRESULT result = SimConnect_Close(hSimConnect);
    lastResult = result;
    // SUCCEEDED is a C-style cast, which this build refuses.
    if (result >= 0) {
        coon = false;
        link.disconnected();
    }
}
