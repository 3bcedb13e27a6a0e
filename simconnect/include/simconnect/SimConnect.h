// The simulator client library's public interface: the published SimConnect functions,
// result values, receive structures and constants that this system uses.
#pragma once

#include <cstdint>

// The Windows headers declare these types too; on Windows they are declared here with the
// very same types so that both headers can be included together.
#if defined(_WIN32)
typedef long HRESULT;
typedef unsigned long DWORD;
#else
typedef std::int32_t HRESULT;
typedef std::uint32_t DWORD;
#endif
typedef void* HANDLE;
typedef struct HWND__* HWND;

static_assert(sizeof(HRESULT) == 4 && sizeof(DWORD) == 4, "the wire and the API use 32-bit values");

#ifndef S_OK
#define S_OK (static_cast<HRESULT>(0L))
#endif
#ifndef E_FAIL
#define E_FAIL (static_cast<HRESULT>(0x80004005L))
#endif
#ifndef E_INVALIDARG
#define E_INVALIDARG (static_cast<HRESULT>(0x80070057L))
#endif
#ifndef E_ABORT
#define E_ABORT (static_cast<HRESULT>(0x80004004L))
#endif
#ifndef E_OUTOFMEMORY
#define E_OUTOFMEMORY (static_cast<HRESULT>(0x8007000EL))
#endif
#ifndef SUCCEEDED
#define SUCCEEDED(hr) (static_cast<HRESULT>(hr) >= 0)
#endif
#ifndef FAILED
#define FAILED(hr) (static_cast<HRESULT>(hr) < 0)
#endif

// A text argument that does not fit its 256-byte field.
#define SIMCONNECT_E_TEXT_TOO_LONG (static_cast<HRESULT>(0x8007007AL))

typedef DWORD SIMCONNECT_OBJECT_ID;
typedef DWORD SIMCONNECT_CLIENT_EVENT_ID;
typedef DWORD SIMCONNECT_NOTIFICATION_GROUP_ID;
typedef DWORD SIMCONNECT_DATA_DEFINITION_ID;
typedef DWORD SIMCONNECT_DATA_REQUEST_ID;
typedef DWORD SIMCONNECT_CLIENT_DATA_ID;
typedef DWORD SIMCONNECT_CLIENT_DATA_DEFINITION_ID;
typedef DWORD SIMCONNECT_DATA_REQUEST_FLAG;
typedef DWORD SIMCONNECT_CLIENT_DATA_REQUEST_FLAG;
typedef DWORD SIMCONNECT_DATA_SET_FLAG;
typedef DWORD SIMCONNECT_CLIENT_DATA_SET_FLAG;
typedef DWORD SIMCONNECT_EVENT_FLAG;

static const DWORD SIMCONNECT_UNUSED = 0xFFFFFFFFu;
static const DWORD SIMCONNECT_OBJECT_ID_USER = 0;
static const DWORD SIMCONNECT_DATA_REQUEST_FLAG_CHANGED = 1;
static const DWORD SIMCONNECT_CLIENT_DATA_REQUEST_FLAG_CHANGED = 1;
static const DWORD SIMCONNECT_EVENT_FLAG_GROUPID_IS_PRIORITY = 16;

enum SIMCONNECT_RECV_ID : DWORD {
    SIMCONNECT_RECV_ID_NULL = 0,
    SIMCONNECT_RECV_ID_EXCEPTION = 1,
    SIMCONNECT_RECV_ID_OPEN = 2,
    SIMCONNECT_RECV_ID_QUIT = 3,
    SIMCONNECT_RECV_ID_EVENT = 4,
    SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE = 5,
    SIMCONNECT_RECV_ID_EVENT_FILENAME = 6,
    SIMCONNECT_RECV_ID_EVENT_FRAME = 7,
    SIMCONNECT_RECV_ID_SIMOBJECT_DATA = 8,
    SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE = 9,
    SIMCONNECT_RECV_ID_WEATHER_OBSERVATION = 10,
    SIMCONNECT_RECV_ID_CLOUD_STATE = 11,
    SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID = 12,
    SIMCONNECT_RECV_ID_RESERVED_KEY = 13,
    SIMCONNECT_RECV_ID_CUSTOM_ACTION = 14,
    SIMCONNECT_RECV_ID_SYSTEM_STATE = 15,
    SIMCONNECT_RECV_ID_CLIENT_DATA = 16,
};

enum SIMCONNECT_DATATYPE : DWORD {
    SIMCONNECT_DATATYPE_INVALID = 0,
    SIMCONNECT_DATATYPE_INT32 = 1,
    SIMCONNECT_DATATYPE_INT64 = 2,
    SIMCONNECT_DATATYPE_FLOAT32 = 3,
    SIMCONNECT_DATATYPE_FLOAT64 = 4,
};

enum SIMCONNECT_PERIOD : DWORD {
    SIMCONNECT_PERIOD_NEVER = 0,
    SIMCONNECT_PERIOD_ONCE = 1,
    SIMCONNECT_PERIOD_VISUAL_FRAME = 2,
    SIMCONNECT_PERIOD_SIM_FRAME = 3,
    SIMCONNECT_PERIOD_SECOND = 4,
};

enum SIMCONNECT_CLIENT_DATA_PERIOD : DWORD {
    SIMCONNECT_CLIENT_DATA_PERIOD_NEVER = 0,
    SIMCONNECT_CLIENT_DATA_PERIOD_ONCE = 1,
    SIMCONNECT_CLIENT_DATA_PERIOD_VISUAL_FRAME = 2,
    SIMCONNECT_CLIENT_DATA_PERIOD_ON_SET = 3,
    SIMCONNECT_CLIENT_DATA_PERIOD_SECOND = 4,
};

enum SIMCONNECT_EXCEPTION : DWORD {
    SIMCONNECT_EXCEPTION_NONE = 0,
    SIMCONNECT_EXCEPTION_ERROR = 1,
    SIMCONNECT_EXCEPTION_SIZE_MISMATCH = 2,
    SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID = 3,
    SIMCONNECT_EXCEPTION_UNOPENED = 4,
    SIMCONNECT_EXCEPTION_VERSION_MISMATCH = 5,
    SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED = 7,
    SIMCONNECT_EXCEPTION_EVENT_ID_DUPLICATE = 9,
    SIMCONNECT_EXCEPTION_DUPLICATE_ID = 29,
    SIMCONNECT_EXCEPTION_OUT_OF_BOUNDS = 31,
};

// Every received message begins with this header; dwSize counts the whole message.
struct SIMCONNECT_RECV {
    DWORD dwSize;
    DWORD dwVersion;
    DWORD dwID;
};

struct SIMCONNECT_RECV_EXCEPTION : SIMCONNECT_RECV {
    DWORD dwException;
    DWORD dwSendID;
    DWORD dwIndex;
};

struct SIMCONNECT_RECV_OPEN : SIMCONNECT_RECV {
    char szApplicationName[256];
    DWORD dwApplicationVersionMajor;
    DWORD dwApplicationVersionMinor;
    DWORD dwApplicationBuildMajor;
    DWORD dwApplicationBuildMinor;
    DWORD dwSimConnectVersionMajor;
    DWORD dwSimConnectVersionMinor;
    DWORD dwSimConnectBuildMajor;
    DWORD dwSimConnectBuildMinor;
    DWORD dwReserved1;
    DWORD dwReserved2;
};

struct SIMCONNECT_RECV_QUIT : SIMCONNECT_RECV {};

struct SIMCONNECT_RECV_EVENT : SIMCONNECT_RECV {
    DWORD uGroupID;
    DWORD uEventID;
    DWORD dwData;
};

struct SIMCONNECT_RECV_SIMOBJECT_DATA : SIMCONNECT_RECV {
    DWORD dwRequestID;
    DWORD dwObjectID;
    DWORD dwDefineID;
    DWORD dwFlags;
    DWORD dwentrynumber;
    DWORD dwoutof;
    DWORD dwDefineCount;
    DWORD dwData;  // the first word of the data block, which runs to the end of the message
};

struct SIMCONNECT_RECV_CLIENT_DATA : SIMCONNECT_RECV_SIMOBJECT_DATA {};

static_assert(sizeof(SIMCONNECT_RECV) == 12, "receive header layout");
static_assert(sizeof(SIMCONNECT_RECV_EXCEPTION) == 24, "exception layout");
static_assert(sizeof(SIMCONNECT_RECV_OPEN) == 308, "open answer layout");
static_assert(sizeof(SIMCONNECT_RECV_EVENT) == 24, "event layout");
static_assert(sizeof(SIMCONNECT_RECV_SIMOBJECT_DATA) == 44, "object data layout");

// Offset of the data block in object-data and client-data messages.
static const DWORD SIMCONNECT_RECV_DATA_OFFSET = 40;

typedef void (*DispatchProc)(SIMCONNECT_RECV* pData, DWORD cbData, void* pContext);

HRESULT SimConnect_Open(HANDLE* phSimConnect, const char* szName, HWND hWnd, DWORD UserEventWin32,
                        HANDLE hEventHandle, DWORD ConfigIndex);
HRESULT SimConnect_Close(HANDLE hSimConnect);
HRESULT SimConnect_CallDispatch(HANDLE hSimConnect, DispatchProc pfcnDispatch, void* pContext);
// The send id of the session's latest request, the one an exception message names; like
// every request, called from the thread that makes the session's requests.
HRESULT SimConnect_GetLastSentPacketID(HANDLE hSimConnect, DWORD* pdwSendID);

HRESULT SimConnect_AddToDataDefinition(HANDLE hSimConnect, SIMCONNECT_DATA_DEFINITION_ID DefineID,
                                       const char* DatumName, const char* UnitsName,
                                       SIMCONNECT_DATATYPE DatumType, float fEpsilon, DWORD DatumID);
HRESULT SimConnect_RequestDataOnSimObject(HANDLE hSimConnect, SIMCONNECT_DATA_REQUEST_ID RequestID,
                                          SIMCONNECT_DATA_DEFINITION_ID DefineID,
                                          SIMCONNECT_OBJECT_ID ObjectID, SIMCONNECT_PERIOD Period,
                                          SIMCONNECT_DATA_REQUEST_FLAG Flags, DWORD origin,
                                          DWORD interval, DWORD limit);
HRESULT SimConnect_SetDataOnSimObject(HANDLE hSimConnect, SIMCONNECT_DATA_DEFINITION_ID DefineID,
                                      SIMCONNECT_OBJECT_ID ObjectID, SIMCONNECT_DATA_SET_FLAG Flags,
                                      DWORD ArrayCount, DWORD cbUnitSize, void* pDataSet);
HRESULT SimConnect_MapClientEventToSimEvent(HANDLE hSimConnect, SIMCONNECT_CLIENT_EVENT_ID EventID,
                                            const char* EventName);
HRESULT SimConnect_TransmitClientEvent(HANDLE hSimConnect, SIMCONNECT_OBJECT_ID ObjectID,
                                       SIMCONNECT_CLIENT_EVENT_ID EventID, DWORD dwData,
                                       SIMCONNECT_NOTIFICATION_GROUP_ID GroupID,
                                       SIMCONNECT_EVENT_FLAG Flags);
HRESULT SimConnect_SubscribeToSystemEvent(HANDLE hSimConnect, SIMCONNECT_CLIENT_EVENT_ID EventID,
                                          const char* SystemEventName);
HRESULT SimConnect_MapClientDataNameToID(HANDLE hSimConnect, const char* szClientDataName,
                                         SIMCONNECT_CLIENT_DATA_ID ClientDataID);
HRESULT SimConnect_AddToClientDataDefinition(HANDLE hSimConnect,
                                             SIMCONNECT_CLIENT_DATA_DEFINITION_ID DefineID,
                                             DWORD dwOffset, DWORD dwSizeOrType, float fEpsilon,
                                             DWORD DatumID);
HRESULT SimConnect_RequestClientData(HANDLE hSimConnect, SIMCONNECT_CLIENT_DATA_ID ClientDataID,
                                     SIMCONNECT_DATA_REQUEST_ID RequestID,
                                     SIMCONNECT_CLIENT_DATA_DEFINITION_ID DefineID,
                                     SIMCONNECT_CLIENT_DATA_PERIOD Period,
                                     SIMCONNECT_CLIENT_DATA_REQUEST_FLAG Flags, DWORD origin,
                                     DWORD interval, DWORD limit);
HRESULT SimConnect_SetClientData(HANDLE hSimConnect, SIMCONNECT_CLIENT_DATA_ID ClientDataID,
                                 SIMCONNECT_CLIENT_DATA_DEFINITION_ID DefineID,
                                 SIMCONNECT_CLIENT_DATA_SET_FLAG Flags, DWORD dwReserved,
                                 DWORD cbUnitSize, void* pDataSet);
