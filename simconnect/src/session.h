// ClientClient: the session behind a SimConnect handle. It adds to the transport the
// build area in which requests are assembled and numbered, the receive queue in which
// messages wait for the application's dispatch call, the notification of the
// application, and the open and close sequences.
#pragma once

#include <atomic>
#include <cstdint>
#include <utility>
#include <vector>

#include "simconnect/SimConnect.h"
#include "connection_settings.h"
#include "notification.h"
#include "transport.h"

constexpr std::uint32_t kBuildSize = 41088;

// Results of the session operations.
enum SessionResult : int {
    kSessionDone = 0,
    kSessionFailed = 1,              // no session, no build area, nothing to do, no memory
    kSessionConnectionFailed = 2,    // the transport has failed
    kSessionInvalidConfigIndex = 3,  // the configuration index names no section
    kSessionRequestTooLarge = 4,     // the request does not fit the free part of the area
};

// The functions a hosting simulator hands over when it attaches.
using HostAllocFn = void* (*)(std::uint32_t hostId, std::uint32_t connectionId, std::uint32_t size);
using HostFreeFn = void (*)(std::uint32_t hostId, std::uint32_t connectionId, void* block,
                            void* sameBlock);
using HostCommitFn = void (*)(std::uint32_t hostId, std::uint32_t connectionId, std::uint32_t size,
                              void* block);
using HostReleaseFn = void (*)(std::uint32_t hostId, std::uint32_t connectionId, void* block);

class ClientClient : public CClient {
public:
    explicit ClientClient(std::uint32_t transportType);
    ~ClientClient() override;

    void Reset() override;
    void Disconnect(std::uint32_t kind, HRESULT result) override;
    int OnMessage(MessageBuffer& buffer) override;

    std::uint32_t QueuedMessages() const { return receiveQueue.Count(); }
    std::uint32_t BuildAreaUsed() const { return buildUsed; }
    const unsigned char* BuildArea() const { return buildArea; }
    void SetLastSendId(std::uint32_t id) { sendId = id; }

private:
    friend void SetDispatchTarget(ClientClient*, DispatchProc, HWND, std::uint32_t, HANDLE);
    friend int ReserveRequest(ClientClient*, std::uint32_t, unsigned char**);
    friend int CommitRequests(ClientClient*);
    friend int AbandonRequest(ClientClient*, unsigned char*, std::uint32_t);
    friend int DispatchReceived(ClientClient*, DispatchProc, void*);
    friend int CloseSession(ClientClient*);
    friend void RedispatchAll();
    friend void LinkSession(ClientClient*);
    friend void UnlinkSession(ClientClient*);
    // In-process hosting (hosting.cpp) reads and fills the hosting fields.
    friend void NoteHostWindow(ClientClient*, HWND);
    friend void InspectForHost(ClientClient*, const MessageNode&);
    friend bool ReserveFromHost(ClientClient*, std::uint32_t, unsigned char**);
    friend void CommitHostBlocks(ClientClient*);
    friend bool AbandonHostBlock(ClientClient*, unsigned char*, std::uint32_t);
    friend void FinishDispatchedNode(ClientClient*, MessageNode*);
    friend ClientClient* FindHostedSession(std::uint32_t, std::uint32_t);
    friend int HostAttach(const void*);
    friend void HostDeliver(std::uint32_t, std::uint32_t, std::uint32_t, void*);

    void Notify() const EXCLUDES(notifyLock);
    // Clears the notification targets; a completion still running tells nobody after this
    // returns.
    void StopNotifying() EXCLUDES(notifyLock);

    MessageQueue receiveQueue;
    // Held while the application is told, so that closing can wait for a notification
    // under way and none follows.
    mutable Mutex notifyLock;
    NotifyTarget notifyTarget GUARDED_BY(notifyLock);
    DispatchProc dispatchProc = nullptr;
    DispatchProc lastDispatchProc = nullptr;
    void* lastDispatchContext = nullptr;
    std::uint32_t buildSize = kBuildSize;
    unsigned char buildArea[kBuildSize] = {};
    std::uint32_t buildUsed = 0;  // the cursor, as an offset from the start of the area
    std::uint32_t sendId = 0;
    ClientClient* previousSession = nullptr;
    ClientClient* nextSession = nullptr;
    // Set by closing; a dispatch under way delivers nothing more. Both are only used on
    // the application's thread that owns the session.
    bool closed = false;
    std::uint32_t dispatching = 0;  // dispatch calls under way, one inside another's callback

    // In-process hosting: a simulator that loads the library may take over requests and
    // deliveries through these (hosting.h). In a program of its own no host is found, so
    // every request goes through the transport.
    std::uint32_t hostConnectionId = 0;
    std::uint32_t hostState = 0;
    HWND hostWindow = nullptr;
    unsigned char hostRegistration[32] = {};
    HostAllocFn hostAlloc = nullptr;
    HostFreeFn hostFree = nullptr;
    HostCommitFn hostCommit = nullptr;
    HostReleaseFn hostRelease = nullptr;
    bool hostAttached = false;
    std::vector<std::pair<void*, std::uint32_t>> hostBlocks;
};

// Opens a session through the plan of the configuration index; on success `*session`
// holds it. Results 0, 1 and 3.
int OpenConnection(ClientClient** session, std::uint32_t configIndex);
// Opens a session through the endpoint plan of given settings.
int ConnectThroughPlan(ClientClient** session, const ConnectionSettings& settings);

void SetDispatchTarget(ClientClient* session, DispatchProc dispatch, HWND window,
                       std::uint32_t message, HANDLE event);
// Reserves `size` zeroed bytes in the build area with the next send id stamped in the
// request header.
int ReserveRequest(ClientClient* session, std::uint32_t size, unsigned char** request);
// Hands everything reserved so far to the transport as one block.
int CommitRequests(ClientClient* session);
int FlushRequests(ClientClient* session);
// Gives back the space of the last reserved request; its send id stays used.
int AbandonRequest(ClientClient* session, unsigned char* request, std::uint32_t size);
void GetLastFailure(ClientClient* session, std::uint32_t* osError, HRESULT* result);
// Passes every message received so far to the function; 2 when the connection failed.
int DispatchReceived(ClientClient* session, DispatchProc dispatch, void* context);
int CloseSession(ClientClient* session);
