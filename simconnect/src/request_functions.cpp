// The published SimConnect functions. Each request function reserves its request in the
// session's build area, writes the header and body in place and commits it; none waits
// for the simulator or for the write.
#include "request_functions.h"

#include <bit>
#include <cstdint>
#include <cstring>
#include <limits>

#include "simconnect/SimConnect.h"
#include "simconnect/request_layout.h"
#include "session.h"
#include "base/little_endian.h"

namespace rl = request_layout;

namespace {

ClientClient* Session(HANDLE handle) {
    return static_cast<ClientClient*>(handle);
}

// Runs `body`, turning anything thrown (memory running out) into E_FAIL, since nothing
// may leave the library as an exception.
template <typename Body>
HRESULT Guarded(Body body) {
    try {
        return body();
    } catch (...) {
        return E_FAIL;
    }
}

HRESULT ReserveFailure(ClientClient* session, int result) {
    if (result == kSessionRequestTooLarge) return E_INVALIDARG;
    if (result != kSessionConnectionFailed) return E_FAIL;
    std::uint32_t osError = 0;
    HRESULT failure = S_OK;
    GetLastFailure(session, &osError, &failure);
    return failure < 0 ? failure : E_FAIL;
}

// What a request on this session gives before any argument is looked at: E_FAIL without
// a session, the stored failure once the connection has failed, S_OK otherwise.
HRESULT SessionCheck(ClientClient* session) {
    if (session == nullptr) return E_FAIL;
    if (session->HasFailed()) return ReserveFailure(session, kSessionConnectionFailed);
    return S_OK;
}

// Copies a text argument into its 256-byte field, which is already zero; false when it
// has 256 characters or more. A null text leaves the field zero.
bool PutText(unsigned char* field, const char* text) {
    if (text == nullptr) return true;
    std::size_t length = 0;
    while (length < rl::kTextSize && text[length] != '\0') ++length;
    if (length == rl::kTextSize) return false;
    std::memcpy(field, text, length);
    return true;
}

void PutHeader(unsigned char* request, std::uint32_t size, std::uint32_t number) {
    StoreU32(request + 0, size);
    StoreU32(request + 4, rl::kProtocolVersion);
    StoreU32(request + 8, rl::kIdBase + number);
}

// Builds one request: `fill` writes the body and answers false when a text does not fit.
// Sizes arrive in 64 bits so that a size that wraps in 32 bits is refused, not built.
template <typename Fill>
HRESULT SendRequest(HANDLE handle, std::uint32_t number, std::uint64_t size, Fill fill) {
    ClientClient* session = Session(handle);
    if (const HRESULT unusable = SessionCheck(session); FAILED(unusable)) return unusable;
    if (size > std::numeric_limits<std::uint32_t>::max()) return E_INVALIDARG;
    const auto size32 = static_cast<std::uint32_t>(size);
    unsigned char* request = nullptr;
    const int reserved = session->ReserveRequest(size32, &request);
    if (reserved != kSessionDone) return ReserveFailure(session, reserved);
    PutHeader(request, size32, number);
    if (!fill(request)) {
        session->AbandonRequest(request, size32);
        return SIMCONNECT_E_TEXT_TOO_LONG;
    }
    session->CommitRequests();
    return S_OK;
}

// A data block of `bytes` from `data`; a null pointer is accepted only for no data.
HRESULT SendDataBlock(HANDLE handle, std::uint32_t number, std::uint64_t bytes, const void* data,
                      const DWORD (&fields)[5]) {
    if (const HRESULT unusable = SessionCheck(Session(handle)); FAILED(unusable)) return unusable;
    if (data == nullptr && bytes != 0) return E_INVALIDARG;
    return Guarded([&] {
        return SendRequest(handle, number, rl::kDataBlockBodySize + bytes, [&](unsigned char* r) {
            for (std::uint32_t i = 0; i < 5; ++i) StoreU32(r + 16 + 4 * i, fields[i]);
            if (bytes != 0) std::memcpy(r + rl::kDataBlockBodySize, data, bytes);
            return true;
        });
    });
}

// A request whose body is only 32-bit fields from offset 16 on.
template <std::size_t N>
HRESULT SendFields(HANDLE handle, std::uint32_t number, std::uint32_t size,
                   const DWORD (&fields)[N]) {
    return Guarded([&] {
        return SendRequest(handle, number, size, [&](unsigned char* r) {
            for (std::size_t i = 0; i < N; ++i) StoreU32(r + 16 + 4 * i, fields[i]);
            return true;
        });
    });
}

// A request with one id and one text, in either order.
HRESULT SendIdAndText(HANDLE handle, std::uint32_t number, std::uint32_t size,
                      std::uint32_t idOffset, DWORD id, std::uint32_t textOffset,
                      const char* text) {
    return Guarded([&] {
        return SendRequest(handle, number, size, [&](unsigned char* r) {
            StoreU32(r + idOffset, id);
            return PutText(r + textOffset, text);
        });
    });
}

HRESULT SendOpenRequest(ClientClient* session, const char* szName) {
    namespace op = rl::open;
    unsigned char* request = nullptr;
    const int reserved = session->ReserveRequest(rl::kOpenSize, &request);
    if (reserved != kSessionDone) return ReserveFailure(session, reserved);
    PutHeader(request, rl::kOpenSize, rl::kOpen);
    if (!PutText(request + op::szName, szName)) return SIMCONNECT_E_TEXT_TOO_LONG;
    std::memcpy(request + op::openTag, op::kTag, sizeof op::kTag);
    StoreU32(request + op::versionMajor, op::kVersionMajor);
    StoreU32(request + op::versionMinor, op::kVersionMinor);
    StoreU32(request + op::buildMajor, op::kBuildMajor);
    StoreU32(request + op::buildMinor, op::kBuildMinor);
    return session->CommitRequests() == kSessionDone ? S_OK : E_FAIL;
}

// After a connection was made: the notification targets and the OPEN request. A failure
// closes the session and clears the caller's handle, so that it cannot be used again.
HRESULT FinishOpen(HANDLE* phSimConnect, ClientClient* session, const char* szName, HWND hWnd,
                   DWORD UserEventWin32, HANDLE hEventHandle) {
    session->SetDispatchTarget(nullptr, hWnd, UserEventWin32, hEventHandle);
    const HRESULT result = SendOpenRequest(session, szName);
    if (FAILED(result)) {
        session->Close();
        *phSimConnect = nullptr;
    }
    return result;
}

// `connect` makes the session: through the configuration's plan or given settings.
template <typename Connect>
HRESULT OpenWith(HANDLE* phSimConnect, const char* szName, HWND hWnd, DWORD UserEventWin32,
                 HANDLE hEventHandle, Connect connect) {
    if (phSimConnect == nullptr) return E_INVALIDARG;
    *phSimConnect = nullptr;
    if (szName == nullptr) return E_INVALIDARG;
    return Guarded([&] {
        ClientClient* session = nullptr;
        const int connected = connect(&session);
        *phSimConnect = session;
        if (connected == kSessionInvalidConfigIndex) return E_INVALIDARG;
        if (connected != kSessionDone) return E_FAIL;
        return FinishOpen(phSimConnect, session, szName, hWnd, UserEventWin32, hEventHandle);
    });
}

}  // namespace

HRESULT OpenWithSettings(HANDLE* phSimConnect, const char* szName,
                         const ConnectionSettings& settings, HWND hWnd, DWORD UserEventWin32,
                         HANDLE hEventHandle) {
    return OpenWith(phSimConnect, szName, hWnd, UserEventWin32, hEventHandle,
                    [&](ClientClient** session) { return ConnectThroughPlan(session, settings); });
}

HRESULT SimConnect_Open(HANDLE* phSimConnect, const char* szName, HWND hWnd, DWORD UserEventWin32,
                        HANDLE hEventHandle, DWORD ConfigIndex) {
    return OpenWith(phSimConnect, szName, hWnd, UserEventWin32, hEventHandle,
                    [&](ClientClient** session) { return OpenConnection(session, ConfigIndex); });
}

HRESULT SimConnect_Close(HANDLE hSimConnect) {
    return Guarded([&] {
        ClientClient* session = Session(hSimConnect);
        if (session == nullptr) return E_FAIL;
        // Requests reserved and not yet committed go out before the close.
        session->CommitRequests();
        session->Close();
        return S_OK;
    });
}

HRESULT SimConnect_CallDispatch(HANDLE hSimConnect, DispatchProc pfcnDispatch, void* pContext) {
    return Guarded([&] {
        switch (DispatchReceived(Session(hSimConnect), pfcnDispatch, pContext)) {
            case kSessionDone:
                return S_OK;
            case kSessionConnectionFailed:
                return Session(hSimConnect)->FailureResult();
            default:
                return E_FAIL;
        }
    });
}

HRESULT SimConnect_AddToDataDefinition(HANDLE hSimConnect, SIMCONNECT_DATA_DEFINITION_ID DefineID,
                                       const char* DatumName, const char* UnitsName,
                                       SIMCONNECT_DATATYPE DatumType, float fEpsilon,
                                       DWORD DatumID) {
    namespace f = rl::add_to_data_definition;
    return Guarded([&] {
        return SendRequest(hSimConnect, rl::kAddToDataDefinition, rl::kAddToDataDefinitionSize,
                           [&](unsigned char* r) {
                               StoreU32(r + f::DefineID, DefineID);
                               if (!PutText(r + f::DatumName, DatumName)) return false;
                               if (!PutText(r + f::UnitsName, UnitsName)) return false;
                               StoreU32(r + f::DatumType, DatumType);
                               StoreF32(r + f::fEpsilon, fEpsilon);
                               StoreU32(r + f::DatumID, DatumID);
                               return true;
                           });
    });
}

HRESULT SimConnect_RequestDataOnSimObject(HANDLE hSimConnect, SIMCONNECT_DATA_REQUEST_ID RequestID,
                                          SIMCONNECT_DATA_DEFINITION_ID DefineID,
                                          SIMCONNECT_OBJECT_ID ObjectID, SIMCONNECT_PERIOD Period,
                                          SIMCONNECT_DATA_REQUEST_FLAG Flags, DWORD origin,
                                          DWORD interval, DWORD limit) {
    const DWORD fields[] = {RequestID, DefineID, ObjectID, Period, Flags, origin, interval, limit};
    return SendFields(hSimConnect, rl::kRequestDataOnSimObject, rl::kRequestDataOnSimObjectSize,
                      fields);
}

HRESULT SimConnect_SetDataOnSimObject(HANDLE hSimConnect, SIMCONNECT_DATA_DEFINITION_ID DefineID,
                                      SIMCONNECT_OBJECT_ID ObjectID, SIMCONNECT_DATA_SET_FLAG Flags,
                                      DWORD ArrayCount, DWORD cbUnitSize, void* pDataSet) {
    // A count of 0 means one element, and the request says so.
    const DWORD count = ArrayCount == 0 ? 1 : ArrayCount;
    const DWORD fields[] = {DefineID, ObjectID, Flags, count, cbUnitSize};
    return SendDataBlock(hSimConnect, rl::kSetDataOnSimObject, std::uint64_t{count} * cbUnitSize,
                         pDataSet, fields);
}

HRESULT SimConnect_MapClientEventToSimEvent(HANDLE hSimConnect, SIMCONNECT_CLIENT_EVENT_ID EventID,
                                            const char* EventName) {
    namespace f = rl::map_client_event;
    return SendIdAndText(hSimConnect, rl::kMapClientEventToSimEvent,
                         rl::kMapClientEventToSimEventSize, f::EventID, EventID, f::EventName,
                         EventName);
}

HRESULT SimConnect_TransmitClientEvent(HANDLE hSimConnect, SIMCONNECT_OBJECT_ID ObjectID,
                                       SIMCONNECT_CLIENT_EVENT_ID EventID, DWORD dwData,
                                       SIMCONNECT_NOTIFICATION_GROUP_ID GroupID,
                                       SIMCONNECT_EVENT_FLAG Flags) {
    const DWORD fields[] = {ObjectID, EventID, dwData, GroupID, Flags};
    return SendFields(hSimConnect, rl::kTransmitClientEvent, rl::kTransmitClientEventSize, fields);
}

HRESULT SimConnect_SubscribeToSystemEvent(HANDLE hSimConnect, SIMCONNECT_CLIENT_EVENT_ID EventID,
                                          const char* SystemEventName) {
    namespace f = rl::subscribe_to_system_event;
    return SendIdAndText(hSimConnect, rl::kSubscribeToSystemEvent, rl::kSubscribeToSystemEventSize,
                         f::EventID, EventID, f::SystemEventName, SystemEventName);
}

HRESULT SimConnect_MapClientDataNameToID(HANDLE hSimConnect, const char* szClientDataName,
                                         SIMCONNECT_CLIENT_DATA_ID ClientDataID) {
    namespace f = rl::map_client_data_name;
    return SendIdAndText(hSimConnect, rl::kMapClientDataNameToID, rl::kMapClientDataNameToIDSize,
                         f::ClientDataID, ClientDataID, f::szClientDataName, szClientDataName);
}

HRESULT SimConnect_AddToClientDataDefinition(HANDLE hSimConnect,
                                             SIMCONNECT_CLIENT_DATA_DEFINITION_ID DefineID,
                                             DWORD dwOffset, DWORD dwSizeOrType, float fEpsilon,
                                             DWORD DatumID) {
    // The body is five 32-bit fields in a row; the epsilon travels as its bits.
    const DWORD fields[] = {DefineID, dwOffset, dwSizeOrType, std::bit_cast<std::uint32_t>(fEpsilon),
                            DatumID};
    return SendFields(hSimConnect, rl::kAddToClientDataDefinition,
                      rl::kAddToClientDataDefinitionSize, fields);
}

HRESULT SimConnect_RequestClientData(HANDLE hSimConnect, SIMCONNECT_CLIENT_DATA_ID ClientDataID,
                                     SIMCONNECT_DATA_REQUEST_ID RequestID,
                                     SIMCONNECT_CLIENT_DATA_DEFINITION_ID DefineID,
                                     SIMCONNECT_CLIENT_DATA_PERIOD Period,
                                     SIMCONNECT_CLIENT_DATA_REQUEST_FLAG Flags, DWORD origin,
                                     DWORD interval, DWORD limit) {
    const DWORD fields[] = {ClientDataID, RequestID, DefineID, Period,
                            Flags,        origin,    interval, limit};
    return SendFields(hSimConnect, rl::kRequestClientData, rl::kRequestClientDataSize, fields);
}

HRESULT SimConnect_SetClientData(HANDLE hSimConnect, SIMCONNECT_CLIENT_DATA_ID ClientDataID,
                                 SIMCONNECT_CLIENT_DATA_DEFINITION_ID DefineID,
                                 SIMCONNECT_CLIENT_DATA_SET_FLAG Flags, DWORD dwReserved,
                                 DWORD cbUnitSize, void* pDataSet) {
    const DWORD fields[] = {ClientDataID, DefineID, Flags, dwReserved, cbUnitSize};
    return SendDataBlock(hSimConnect, rl::kSetClientData, cbUnitSize, pDataSet, fields);
}
