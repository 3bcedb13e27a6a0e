#include "session.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "base/little_endian.h"
#include "hosting.h"
#include "library_state.h"
#include "simconnect/connection_watch.h"
#include "simconnect/request_layout.h"

namespace {

constexpr std::uint32_t kReceiveHeaderSize = 12;  // dwSize, dwVersion, dwID
// How long closing waits for writes already handed over, and for the last transport
// of the process to go away.
constexpr std::chrono::milliseconds kDrainLimit{100};
constexpr std::chrono::milliseconds kLastClientLimit{5000};

DispatchProc RedispatchProc() {
    return reinterpret_cast<DispatchProc>(static_cast<std::intptr_t>(-2));
}

void* RedispatchContext() {
    return reinterpret_cast<void*>(static_cast<std::intptr_t>(-3));
}

// Calls the application for one message. An exception thrown by the application's
// function must not unwind through the library, so the message is then dropped.
void Deliver(ClientClient* session, DispatchProc dispatch, MessageNode* node, void* context) {
    if (node->size < kReceiveHeaderSize || node->data == nullptr) return;
    InspectForHost(session, *node);
    try {
        dispatch(reinterpret_cast<SIMCONNECT_RECV*>(node->data), node->size, context);
    } catch (...) {
    }
}

// After the last session: the last transport's completions are waited for, then sockets
// stop.
void FinishLastClose() {
    if (Library().head != nullptr) return;
    WaitForNoLiveClients(kLastClientLimit);
    CClient::StopWinsock();
}

}  // namespace

ClientClient::ClientClient(std::uint32_t type) : CClient(type) {
    Library().liveSessions.fetch_add(1);
    LinkSession(this);
}

ClientClient::~ClientClient() {
    Library().liveSessions.fetch_sub(1);
}

void ClientClient::Reset() {
    CClient::Reset();
    // A reset while closing leaves the object disconnected.
    if (!IsConnectedHandle()) return;
    SetNoDelayIfAsked();
    state.store(kConnected);
}

void ClientClient::Disconnect(std::uint32_t kind, HRESULT result) {
    // Only the failure that ends a connection is told to the application, once: later
    // completions of the same connection find it closed already.
    if (DisconnectTransport(kind, result) != kIdle && kind != kFailureNone) Notify();
}

int ClientClient::OnMessage(MessageBuffer& buffer) {
    MessageNode* node = NewMessageNode(buffer.data, buffer.length, connectionId.load());
    buffer = MessageBuffer{};
    if (node == nullptr) {
        Disconnect(kFailureNoMemory, E_OUTOFMEMORY);
        return 0;
    }
    receiveQueue.Append(node);
    Notify();
    return 0;
}

void ClientClient::Notify() const {
    MutexLock hold(notifyLock);
    NotifyApplication(notifyTarget);
}

void ClientClient::StopNotifying() {
    MutexLock hold(notifyLock);
    notifyTarget = NotifyTarget{};
}

void LinkSession(ClientClient* session) {
    LibraryState& library = Library();
    session->previousSession = library.tail;
    if (library.tail != nullptr) library.tail->nextSession = session;
    library.tail = session;
    if (library.head == nullptr) library.head = session;
}

void UnlinkSession(ClientClient* session) {
    LibraryState& library = Library();
    ClientClient* previous = session->previousSession;
    ClientClient* next = session->nextSession;
    if (previous != nullptr) previous->nextSession = next;
    if (next != nullptr) next->previousSession = previous;
    if (library.head == session) library.head = next;
    if (library.tail == session) library.tail = previous;
    session->previousSession = nullptr;
    session->nextSession = nullptr;
}

int OpenConnection(ClientClient** session, std::uint32_t configIndex) {
    *session = nullptr;
    if (configIndex != 0 && configIndex != kDefaultsOnlyIndex &&
        !ConfigSectionExists(configIndex)) {
        return kSessionInvalidConfigIndex;
    }
    const HWND hostWindow = DetectHost();
    const int connected = ConnectThroughPlan(session, LoadConnectionSettings(configIndex));
    if (connected == kSessionDone) NoteHostWindow(*session, hostWindow);
    return connected;
}

int ConnectThroughPlan(ClientClient** session, const ConnectionSettings& settings) {
    *session = nullptr;
    for (const EndpointAttempt& attempt : BuildEndpointPlan(settings)) {
        if (attempt.transport == kTransportTcp && !CClient::EnsureWinsock()) return kSessionFailed;
        auto* candidate = new (std::nothrow) ClientClient(attempt.transport);
        if (candidate == nullptr) return kSessionFailed;
        const std::string port = AttemptPort(attempt);
        const bool skipped = attempt.transport == kTransportTcp && port.empty();
        if (!skipped && candidate->Connect(attempt.family, attempt.address, port,
                                           settings.maxReceiveSize, settings.disableNagle) == 0) {
            *session = candidate;
            return kSessionDone;
        }
        CloseSession(candidate);
    }
    return kSessionFailed;
}

void SetDispatchTarget(ClientClient* session, DispatchProc dispatch, HWND window,
                       std::uint32_t message, HANDLE event) {
    session->dispatchProc = dispatch;
    MutexLock hold(session->notifyLock);
    session->notifyTarget = NotifyTarget{window, message, event};
}

int ReserveRequest(ClientClient* session, std::uint32_t size, unsigned char** request) {
    *request = nullptr;
    if (session == nullptr || session->buildSize == 0) return kSessionFailed;
    if (session->HasFailed()) return kSessionConnectionFailed;
    if (size < request_layout::kHeaderSize) return kSessionRequestTooLarge;
    // An attached host may supply the space, in its own memory.
    if (!ReserveFromHost(session, size, request)) {
        if (size > session->buildSize - session->buildUsed) return kSessionRequestTooLarge;
        *request = session->buildArea + session->buildUsed;
        session->buildUsed += size;
    }
    session->sendId = session->sendId + 1 == 0 ? 1 : session->sendId + 1;
    StoreU32(*request + request_layout::kSendIdOffset, session->sendId);
    return kSessionDone;
}

int CommitRequests(ClientClient* session) {
    if (session == nullptr) return kSessionFailed;
    CommitHostBlocks(session);
    const std::uint32_t used = session->buildUsed;
    if (used == 0) return kSessionFailed;
    auto* block = static_cast<unsigned char*>(std::malloc(used));
    if (block == nullptr) return kSessionFailed;
    std::memcpy(block, session->buildArea, used);
    MessageNode* node = NewMessageNode(block, used, session->ConnectionId());
    if (node == nullptr) return kSessionFailed;
    session->QueueSend(node);
    std::memset(session->buildArea, 0, used);
    session->buildUsed = 0;
    return kSessionDone;
}

int FlushRequests(ClientClient* session) {
    return CommitRequests(session);
}

int AbandonRequest(ClientClient* session, unsigned char* request, std::uint32_t size) {
    if (session == nullptr || session->buildSize == 0 || request == nullptr) return kSessionFailed;
    if (AbandonHostBlock(session, request, size)) return kSessionDone;
    const unsigned char* area = session->buildArea;
    if (request < area || request + size > area + session->buildUsed) return kSessionFailed;
    const auto start = static_cast<std::uint32_t>(request - area);
    std::memset(request, 0, session->buildUsed - start);
    session->buildUsed = start;
    return kSessionDone;
}

std::string DescribeEndpoint(HANDLE hSimConnect) {
    return hSimConnect != nullptr ? static_cast<ClientClient*>(hSimConnect)->Endpoint()
                                  : std::string();
}

void GetLastFailure(ClientClient* session, std::uint32_t* osError, HRESULT* result) {
    *osError = session->LastOsError();
    *result = session->FailureResult();
}

// A callback may close the session it is given: the session stays alive until its
// successor has been read (a closed one has none, and the walk ends there).
void RedispatchAll() {
    ClientClient* session = Library().head;
    while (session != nullptr) {
        session->AddRef();
        if (session->lastDispatchProc != nullptr) {
            DispatchReceived(session, session->lastDispatchProc, session->lastDispatchContext);
        }
        ClientClient* next = session->nextSession;
        session->Release();
        session = next;
    }
}

int DispatchReceived(ClientClient* session, DispatchProc dispatch, void* context) {
    if (session == nullptr) {
        if (dispatch == RedispatchProc() && context == RedispatchContext()) RedispatchAll();
        return kSessionFailed;
    }
    const DispatchProc use = dispatch != nullptr ? dispatch : session->dispatchProc;
    if (use == nullptr) return kSessionFailed;
    session->lastDispatchProc = use;
    session->lastDispatchContext = context;
    // The callback may close the session: this reference keeps it alive through the loop,
    // and nothing is delivered once it is closed.
    session->AddRef();
    ++session->dispatching;
    MessageNode* node = session->receiveQueue.TakeAll();
    while (node != nullptr) {
        MessageNode* next = node->next;
        if (!session->closed) Deliver(session, use, node, context);
        FinishDispatchedNode(session, node);
        node = next;
    }
    --session->dispatching;
    const bool closedInside = session->closed && session->dispatching == 0;
    const int result = session->HasFailed() ? kSessionConnectionFailed : kSessionDone;
    session->Release();
    if (closedInside) FinishLastClose();
    return result;
}

// Waiting on the writes and on the last completions, each within its bound, keeps the
// order of the close steps without sleeping when there is nothing to wait for. Closed from
// inside its own dispatch, the session lives until that dispatch ends, which finishes the
// close then.
int CloseSession(ClientClient* session) {
    if (session == nullptr) return kSessionFailed;
    session->WaitForSendsToDrain(kDrainLimit);
    UnlinkSession(session);
    session->Disconnect(kFailureNone, S_OK);
    session->Reset();
    // The application hears nothing from this session once closing returns.
    session->StopNotifying();
    session->closed = true;
    const bool dispatching = session->dispatching != 0;
    session->Release();
    if (!dispatching) FinishLastClose();
    return kSessionDone;
}
