// The dispatch callback: prints what the operator should see, stores the latest simulator
// state and raises the flags that let the rack threads work or make them stop.
#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <exception>
#include <sstream>
#include <string>

#include "app/sim_ids.h"
#include "app/sim_session.h"
#include "base/little_endian.h"
#include "console/console.h"

namespace {

// The bytes a handler needs: everything up to and including the field it reads last.
template <typename Message, typename Field>
DWORD through(Field Message::*field) {
    static const Message sample{};
    const auto* start = reinterpret_cast<const unsigned char*>(&sample);
    const auto* end = reinterpret_cast<const unsigned char*>(&(sample.*field)) + sizeof(Field);
    return static_cast<DWORD>(end - start);
}

double dataDouble(const SIMCONNECT_RECV_SIMOBJECT_DATA& data, std::size_t index) {
    const auto* block = reinterpret_cast<const unsigned char*>(&data) + SIMCONNECT_RECV_DATA_OFFSET;
    return LoadF64(block + index * sizeof(double));
}

DWORD dataBytesNeeded(std::size_t count) {
    return SIMCONNECT_RECV_DATA_OFFSET + static_cast<DWORD>(count);
}

void printUnexpected(DWORD id) {
    consolePrintf("\nReceived:%d\n", static_cast<int>(id));
}

}  // namespace

void dispatchToSimSession(SIMCONNECT_RECV* pData, DWORD cbData, void* pContext) {
    if (pData == nullptr || pContext == nullptr) return;
    static_cast<SimSession*>(pContext)->callbackDataReceiveFromFlightSimulator(pData, cbData);
}

void SimSession::callbackDataReceiveFromFlightSimulator(const SIMCONNECT_RECV* message,
                                                        DWORD cbData) {
    // Without a whole header there is not even an id to report.
    if (message == nullptr || cbData < sizeof(SIMCONNECT_RECV)) return;
    link.messageIn();
    try {
        handleMessage(*message, std::min(cbData, message->dwSize));
    } catch (const std::exception& error) {
        consoleWrite(std::string("Error callbackDataReceiveFromFlightSimulator: ") + error.what() + "\n");
    }
}

// `size` is what may be read of the message. One that is too short for the fields its
// kind carries is reported like a message of unknown kind and otherwise dropped.
void SimSession::handleMessage(const SIMCONNECT_RECV& message, DWORD size) {
    switch (message.dwID) {
        case SIMCONNECT_RECV_ID_EXCEPTION:
            if (size < through(&SIMCONNECT_RECV_EXCEPTION::dwException)) break;
            noteException(static_cast<const SIMCONNECT_RECV_EXCEPTION&>(message), size);
            consolePrintf("\n[WARN] Exception ID:%d\n",
                          static_cast<int>(
                              static_cast<const SIMCONNECT_RECV_EXCEPTION&>(message).dwException));
            return;
        case SIMCONNECT_RECV_ID_OPEN:
            if (size < through(&SIMCONNECT_RECV_OPEN::dwSimConnectBuildMinor)) break;
            printOpenBanner(static_cast<const SIMCONNECT_RECV_OPEN&>(message));
            first = true;
            return;
        case SIMCONNECT_RECV_ID_QUIT:
            consolePrintf("[OK] Quit, Bye !!\n");
            quit = 1;
            return;
        case SIMCONNECT_RECV_ID_EVENT:
            if (size < through(&SIMCONNECT_RECV_EVENT::uEventID)) break;
            if (static_cast<const SIMCONNECT_RECV_EVENT&>(message).uEventID == rackevent::simStart)
                first = true;
            return;
        case SIMCONNECT_RECV_ID_SIMOBJECT_DATA:
            if (size < through(&SIMCONNECT_RECV_SIMOBJECT_DATA::dwRequestID)) break;
            storeObjectData(static_cast<const SIMCONNECT_RECV_SIMOBJECT_DATA&>(message), size);
            return;
        case SIMCONNECT_RECV_ID_CLIENT_DATA:
            if (size < through(&SIMCONNECT_RECV_CLIENT_DATA::dwRequestID)) break;
            storeClientData(static_cast<const SIMCONNECT_RECV_CLIENT_DATA&>(message), size);
            return;
        default:
            break;
    }
    printUnexpected(message.dwID);
}

// The fields after the exception code are told when the message carries them.
void SimSession::noteException(const SIMCONNECT_RECV_EXCEPTION& exception, DWORD size) {
    const bool hasSendId = size >= through(&SIMCONNECT_RECV_EXCEPTION::dwSendID);
    const bool hasIndex = size >= through(&SIMCONNECT_RECV_EXCEPTION::dwIndex);
    link.exception(exception.dwException, hasSendId ? exception.dwSendID : 0,
                   hasIndex ? exception.dwIndex : 0);
}

void SimSession::storeObjectData(const SIMCONNECT_RECV_SIMOBJECT_DATA& data, DWORD size) {
    if (data.dwRequestID == rackdata::kEfisRequest) {
        if (size < dataBytesNeeded(2 * sizeof(double))) return printUnexpected(data.dwID);
        {
            StateWrite hold(*stateLockPtr);
            kohlsmanMb = dataDouble(data, 0);
            flightDirectorActive = dataDouble(data, 1);
        }
        first = true;
    } else if (data.dwRequestID == rackdata::kAutopilotRequest) {
        if (size < dataBytesNeeded(3 * sizeof(double))) return printUnexpected(data.dwID);
        {
            StateWrite hold(*stateLockPtr);
            apAltitudeLock = dataDouble(data, 2);
        }
        first = true;
    }
}

void SimSession::storeClientData(const SIMCONNECT_RECV_CLIENT_DATA& data, DWORD size) {
    if (data.dwRequestID != cockpit::kDownlinkRequestId) return;
    if (size < dataBytesNeeded(cockpit::kBlockSize)) return printUnexpected(data.dwID);
    const auto* block = reinterpret_cast<const std::uint8_t*>(&data) + SIMCONNECT_RECV_DATA_OFFSET;
    {
        // The companion's own first word is never copied: bytes 0 to 3 stay zero.
        StateWrite hold(*stateLockPtr);
        std::memcpy(downlinkBlock.data() + cockpit::kPayloadOffset, block + cockpit::kPayloadOffset,
                    cockpit::kPayloadSize);
    }
    first = true;
}

void SimSession::printOpenBanner(const SIMCONNECT_RECV_OPEN& open) const {
    // The name is printed up to its terminator, and never past its field.
    const std::size_t nameLength = strnlen(open.szApplicationName, sizeof open.szApplicationName);
    std::ostringstream text;
    text << "[OK] Connection Opened !\n==== [INFO] ====\n";
    text << "\tApp name: " << std::string(open.szApplicationName, nameLength) << '\n';
    text << "\tApp Major Vrs: " << open.dwApplicationVersionMajor << '\n';
    text << "\tApp Minor Vrs: " << open.dwApplicationVersionMinor << '\n';
    text << "\tApp Build Major: " << open.dwApplicationBuildMajor << '\n';
    text << "\tApp Build Minor: " << open.dwApplicationBuildMinor << '\n';
    text << "\tSim Connect Version Major: " << open.dwSimConnectVersionMajor << '\n';
    text << "\tSim Connect Version Minor: " << open.dwSimConnectVersionMinor << '\n';
    text << "\tSim Connect Build Major: " << open.dwSimConnectBuildMajor << '\n';
    text << "\tSim Connect Build Minor: " << open.dwSimConnectBuildMinor << '\n';
    consoleWrite(text.str());
}
