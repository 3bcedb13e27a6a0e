// ClientClient: the session behind a SimConnect handle. It adds to the transport the
// build area in which requests are assembled and numbered, the receive queue in which
// messages wait for the application's dispatch call, the notification of the
// application, and the open and close sequences.
#pragma once

#include <cstdint>
#include <memory>

#include "base/mutex.h"
#include "simconnect/SimConnect.h"
#include "connection_settings.h"
#include "hosting.h"
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

class ClientClient : public CClient, private HostedSession {
public:
    explicit ClientClient(TransportType transportType);
    ~ClientClient() override;

    void Reset() override;
    void Disconnect(FailureKind kind, HRESULT result) override;
    int OnMessage(MessageBuffer& buffer) override;

    // The application's dispatch function for calls that name none, and whom to tell
    // that messages arrived.
    void SetDispatchTarget(DispatchProc dispatch, HWND window, std::uint32_t windowMessage,
                           HANDLE event) EXCLUDES(notifyLock);
    // After the connection was made: a host's window, when the process has one, links
    // the session to its host.
    void NoteHostWindow(HWND window);

    // Reserves `size` zeroed bytes in the build area (or, once a host has attached, in
    // its memory) with the next send id stamped in the request header.
    int ReserveRequest(std::uint32_t size, unsigned char** request);
    // Hands everything reserved so far to the transport as one block.
    int CommitRequests();
    // Gives back the space of the last reserved request; its send id stays used.
    int AbandonRequest(unsigned char* request, std::uint32_t size);
    // Passes every message received so far to the function; 2 when the connection failed.
    int Dispatch(DispatchProc dispatch, void* context);
    // Closes the session and lets go of the application's reference.
    int Close();
    // Dispatches every open session again through its last dispatch function.
    static void RedispatchAll();

    std::uint32_t TEST_QueuedMessages() const { return receiveQueue.Count(); }
    std::uint32_t TEST_BuildAreaUsed() const { return buildUsed; }
    const unsigned char* TEST_BuildArea() const { return buildArea; }
    void TEST_SetLastSendId(std::uint32_t id) { sendId = id; }

private:
    std::uint32_t HostedConnectionId() const override { return ConnectionId(); }
    void ReceiveFromHost(MessageNode* node) override;

    void Notify() const EXCLUDES(notifyLock);
    // Clears the notification targets; a completion still running tells nobody after this
    // returns.
    void StopNotifying() EXCLUDES(notifyLock);
    // Calls the application for one message.
    void Deliver(DispatchProc dispatch, MessageNode* node, void* context);
    // Frees a dispatched message, giving a host's back to it.
    void Finish(MessageNode* node);
    // The process's list of open sessions.
    void Link();
    void Unlink();

    MessageQueue receiveQueue;
    // Held while the application is told, so that closing can wait for a notification
    // under way and none follows.
    mutable Mutex notifyLock;
    NotifyTarget notifyTarget GUARDED_BY(notifyLock);
    DispatchProc dispatchProc = nullptr;
    DispatchProc lastDispatchProc = nullptr;
    void* lastDispatchContext = nullptr;
    unsigned char buildArea[kBuildSize] = {};
    std::uint32_t buildUsed = 0;  // the cursor, as an offset from the start of the area
    std::uint32_t sendId = 0;
    ClientClient* previousSession = nullptr;
    ClientClient* nextSession = nullptr;
    // Set by closing; a dispatch under way delivers nothing more. Both are only used on
    // the application's thread that owns the session.
    bool closed = false;
    std::uint32_t dispatching = 0;  // dispatch calls under way, one inside another's callback

    // In-process hosting: only in a process whose host's window was found. In a program
    // of its own there is none, and every request goes through the build area and the
    // transport.
    std::unique_ptr<HostLink> hostLink;
};

// Opens a session through the plan of the configuration index; on success `*session`
// holds it. Results 0, 1 and 3.
int OpenConnection(ClientClient** session, std::uint32_t configIndex);
// Opens a session through the endpoint plan of given settings.
int ConnectThroughPlan(ClientClient** session, const ConnectionSettings& settings);

void GetLastFailure(ClientClient* session, std::uint32_t* osError, HRESULT* result);
// A null session dispatches nothing (except the redispatch that the two marker values ask
// for) and fails.
int DispatchReceived(ClientClient* session, DispatchProc dispatch, void* context);
int CloseSession(ClientClient* session);
