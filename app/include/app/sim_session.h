// The simulator session that the main thread and every rack thread share: the connection,
// the flags that govern the rack threads, the latest simulator values and the
// cockpit-variable channel.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "app/cockpit_vars.h"
#include "app/locks.h"
#include "simconnect/SimConnect.h"

class SimCallGuard;

// The simulator values as a rack pass sees them: copied under one shared hold of
// stateLock, then read without any lock.
struct SimState {
    cockpit::Block downlinkBlock{};
    double kohlsmanMb = 0.0;
    double flightDirectorActive = 0.0;
    double apAltitudeLock = 0.0;
    const cockpit::SlotTable* slots = nullptr;

    // The variable's value: its slot's tenths divided by 10, truncated toward zero; 0 for a
    // name that has no slot.
    std::int32_t readCockpitVar(const std::string& name) const;
    // The slot's stored integer itself, for the variables kept in other units than tenths.
    std::int32_t readCockpitVarRaw(const std::string& name) const;
};

class SimSession {
public:
    SimSession(StateLock* stateLock, RackMutex* rackMutex);
    // Closes the connection if it is still open.
    ~SimSession();
    SimSession(const SimSession&) = delete;
    SimSession& operator=(const SimSession&) = delete;

    // Handles one received message (dispatch_callback.cpp). `cbData` is the size the
    // client library delivered; a message is never read past it or past its own dwSize.
    void callbackDataReceiveFromFlightSimulator(const SIMCONNECT_RECV* message, DWORD cbData);

    // Declares the data definitions and requests, then the system event and the client
    // events (session_setup.cpp). Each call's result lands in lastResult.
    void registerDataDefinitions();
    void registerClientEvents();

    // The cockpit-variable channel (cockpit_channel.cpp).
    void registerCockpitVars();
    // The client-data definition, both area names and the standing downlink request.
    void registerClientDataAreas();

    // The simulator values, copied under stateLock held shared.
    SimState readState() const EXCLUDES(*stateLockPtr);
    // One cockpit variable, under its own shared hold of stateLock.
    std::int32_t readCockpitVar(const std::string& name) const EXCLUDES(*stateLockPtr);

    // Closes the connection; on success coon is cleared. See closeSimConnection in
    // sim_call.h for the form that rack threads cannot race.
    void closeConnection() REQUIRES(*rackMutexPtr);

    StateLock* const stateLockPtr;
    RackMutex* const rackMutexPtr;
    std::atomic<std::int32_t> quit{0};
    HANDLE hSimConnect = nullptr;
    std::atomic<bool> coon{false};
    std::atomic<bool> first{false};
    std::atomic<HRESULT> lastResult{0};
    // Filled before any rack thread starts and only read afterwards.
    cockpit::SlotTable cockpitVarSlots;

private:
    // The uplink commands go out only through SimCallGuard, which holds rackMutex: that
    // lock also guards the sequence counter. They return false when nothing was sent: a
    // name too long for the block, or a connection that is no longer open.
    friend class SimCallGuard;
    bool sendTriggerCommand(const std::string& name) REQUIRES(*rackMutexPtr);
    bool sendSetCommand(const std::string& name, std::int32_t value) REQUIRES(*rackMutexPtr);
    bool sendUplinkBlock(const cockpit::Payload& payload) REQUIRES(*rackMutexPtr);

    void storeObjectData(const SIMCONNECT_RECV_SIMOBJECT_DATA& data, DWORD size);
    void storeClientData(const SIMCONNECT_RECV_CLIENT_DATA& data, DWORD size);
    void printOpenBanner(const SIMCONNECT_RECV_OPEN& open) const;
    void handleMessage(const SIMCONNECT_RECV& message, DWORD size);

    // The latest downlink block (bytes 0 to 3 stay zero) and simulator values.
    cockpit::Block downlinkBlock GUARDED_BY(*stateLockPtr){};
    double kohlsmanMb GUARDED_BY(*stateLockPtr) = 0.0;
    double flightDirectorActive GUARDED_BY(*stateLockPtr) = 0.0;
    double apAltitudeLock GUARDED_BY(*stateLockPtr) = 0.0;

    // Uplink blocks sent so far.
    std::uint32_t uplinkSequence_ GUARDED_BY(*rackMutexPtr) = 0;
};

// The DispatchProc handed to SimConnect_CallDispatch: forwards each message to the
// SimSession given as context.
void dispatchToSimSession(SIMCONNECT_RECV* pData, DWORD cbData, void* pContext);
