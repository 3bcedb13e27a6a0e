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

// After the last session: the last transport's completions are waited for, then sockets
// stop.
void FinishLastClose() {
    if (Library().head != nullptr) return;
    WaitForNoLiveClients(kLastClientLimit);
    CClient::StopWinsock();
}

}  // namespace

ClientClient::ClientClient(TransportType type) : CClient(type) {
    Library().liveSessions.fetch_add(1);
    Link();
}

ClientClient::~ClientClient() {
    Library().liveSessions.fetch_sub(1);
}

void ClientClient::Reset() {
    CClient::Reset();
    // A reset while closing leaves the object disconnected.
    if (!IsConnectedHandle()) return;
    SetNoDelayIfAsked();
    state.store(ConnectionState::Connected);
}

void ClientClient::Disconnect(FailureKind kind, HRESULT result) {
    // Only the failure that ends a connection is told to the application, once: later
    // completions of the same connection find it closed already.
    if (DisconnectTransport(kind, result) != ConnectionState::Idle && kind != FailureKind::None)
        Notify();
}

int ClientClient::OnMessage(MessageBuffer& buffer) {
    MessageNode* node = NewMessageNode(buffer.data, buffer.length, connectionId.load());
    buffer = MessageBuffer{};
    if (node == nullptr) {
        Disconnect(FailureKind::NoMemory, E_OUTOFMEMORY);
        return 0;
    }
    receiveQueue.Append(node);
    Notify();
    return 0;
}

void ClientClient::ReceiveFromHost(MessageNode* node) {
    receiveQueue.Append(node);
    Notify();
}

void ClientClient::Notify() const {
    MutexLock hold(notifyLock);
    NotifyApplication(notifyTarget);
}

void ClientClient::StopNotifying() {
    MutexLock hold(notifyLock);
    notifyTarget = NotifyTarget{};
}

void ClientClient::Link() {
    LibraryState& library = Library();
    previousSession = library.tail;
    if (library.tail != nullptr) library.tail->nextSession = this;
    library.tail = this;
    if (library.head == nullptr) library.head = this;
}

void ClientClient::Unlink() {
    LibraryState& library = Library();
    if (previousSession != nullptr) previousSession->nextSession = nextSession;
    if (nextSession != nullptr) nextSession->previousSession = previousSession;
    if (library.head == this) library.head = nextSession;
    if (library.tail == this) library.tail = previousSession;
    previousSession = nullptr;
    nextSession = nullptr;
}

int OpenConnection(ClientClient** session, std::uint32_t configIndex) {
    *session = nullptr;
    if (configIndex != 0 && configIndex != kDefaultsOnlyIndex &&
        !ConfigSectionExists(configIndex)) {
        return kSessionInvalidConfigIndex;
    }
    const HWND hostWindow = DetectHost();
    const int connected = ConnectThroughPlan(session, LoadConnectionSettings(configIndex));
    if (connected == kSessionDone) (*session)->NoteHostWindow(hostWindow);
    return connected;
}

int ConnectThroughPlan(ClientClient** session, const ConnectionSettings& settings) {
    *session = nullptr;
    for (const EndpointAttempt& attempt : BuildEndpointPlan(settings)) {
        if (attempt.transport == TransportType::Tcp && !CClient::EnsureWinsock())
            return kSessionFailed;
        auto* candidate = new (std::nothrow) ClientClient(attempt.transport);
        if (candidate == nullptr) return kSessionFailed;
        const std::string port = AttemptPort(attempt);
        const bool skipped = attempt.transport == TransportType::Tcp && port.empty();
        if (!skipped && candidate->Connect(attempt.family, attempt.address, port,
                                           settings.maxReceiveSize, settings.disableNagle) == 0) {
            *session = candidate;
            return kSessionDone;
        }
        candidate->Close();
    }
    return kSessionFailed;
}

void ClientClient::SetDispatchTarget(DispatchProc dispatch, HWND window,
                                     std::uint32_t windowMessage, HANDLE event) {
    dispatchProc = dispatch;
    MutexLock hold(notifyLock);
    notifyTarget = NotifyTarget{window, windowMessage, event};
}

void ClientClient::NoteHostWindow(HWND window) {
    if (window == nullptr || hostLink != nullptr) return;
    hostLink.reset(new (std::nothrow) HostLink(*this, window));
}

int ClientClient::ReserveRequest(std::uint32_t size, unsigned char** request) {
    *request = nullptr;
    if (HasFailed()) return kSessionConnectionFailed;
    if (size < request_layout::kHeaderSize) return kSessionRequestTooLarge;
    // An attached host may supply the space, in its own memory.
    if (hostLink == nullptr || !hostLink->Reserve(size, request)) {
        if (size > kBuildSize - buildUsed) return kSessionRequestTooLarge;
        *request = buildArea + buildUsed;
        buildUsed += size;
    }
    sendId = sendId + 1 == 0 ? 1 : sendId + 1;
    StoreU32(*request + request_layout::kSendIdOffset, sendId);
    return kSessionDone;
}

int ClientClient::CommitRequests() {
    if (hostLink != nullptr) hostLink->Commit();
    const std::uint32_t used = buildUsed;
    if (used == 0) return kSessionFailed;
    auto* block = static_cast<unsigned char*>(std::malloc(used));
    if (block == nullptr) return kSessionFailed;
    std::memcpy(block, buildArea, used);
    MessageNode* node = NewMessageNode(block, used, ConnectionId());
    if (node == nullptr) return kSessionFailed;
    QueueSend(node);
    std::memset(buildArea, 0, used);
    buildUsed = 0;
    return kSessionDone;
}

int ClientClient::AbandonRequest(unsigned char* request, std::uint32_t size) {
    if (request == nullptr) return kSessionFailed;
    if (hostLink != nullptr && hostLink->Abandon(request, size)) return kSessionDone;
    if (request < buildArea || request + size > buildArea + buildUsed) return kSessionFailed;
    const auto start = static_cast<std::uint32_t>(request - buildArea);
    std::memset(request, 0, buildUsed - start);
    buildUsed = start;
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
void ClientClient::RedispatchAll() {
    ClientClient* session = Library().head;
    while (session != nullptr) {
        session->AddRef();
        if (session->lastDispatchProc != nullptr) {
            session->Dispatch(session->lastDispatchProc, session->lastDispatchContext);
        }
        ClientClient* next = session->nextSession;
        session->Release();
        session = next;
    }
}

int DispatchReceived(ClientClient* session, DispatchProc dispatch, void* context) {
    if (session != nullptr) return session->Dispatch(dispatch, context);
    if (dispatch == RedispatchProc() && context == RedispatchContext()) {
        ClientClient::RedispatchAll();
    }
    return kSessionFailed;
}

// An exception thrown by the application's function must not unwind through the library,
// so the message is then dropped.
void ClientClient::Deliver(DispatchProc dispatch, MessageNode* node, void* context) {
    if (node->size < kReceiveHeaderSize || node->data == nullptr) return;
    if (hostLink != nullptr) hostLink->Inspect(*node);
    try {
        dispatch(reinterpret_cast<SIMCONNECT_RECV*>(node->data), node->size, context);
    } catch (...) {
    }
}

void ClientClient::Finish(MessageNode* node) {
    if (node->hostOwned != 0 && hostLink != nullptr) hostLink->Release(node->data);
    FreeMessageNode(node);
}

int ClientClient::Dispatch(DispatchProc dispatch, void* context) {
    const DispatchProc use = dispatch != nullptr ? dispatch : dispatchProc;
    if (use == nullptr) return kSessionFailed;
    lastDispatchProc = use;
    lastDispatchContext = context;
    // The callback may close the session: this reference keeps it alive through the loop,
    // and nothing is delivered once it is closed.
    AddRef();
    ++dispatching;
    MessageNode* node = receiveQueue.TakeAll();
    while (node != nullptr) {
        MessageNode* next = node->next;
        if (!closed) Deliver(use, node, context);
        Finish(node);
        node = next;
    }
    --dispatching;
    const bool closedInside = closed && dispatching == 0;
    const int result = HasFailed() ? kSessionConnectionFailed : kSessionDone;
    Release();
    if (closedInside) FinishLastClose();
    return result;
}

int CloseSession(ClientClient* session) {
    return session != nullptr ? session->Close() : kSessionFailed;
}

// Waiting on the writes and on the last completions, each within its bound, keeps the
// order of the close steps without sleeping when there is nothing to wait for. Closed from
// inside its own dispatch, the session lives until that dispatch ends, which finishes the
// close then.
int ClientClient::Close() {
    WaitForSendsToDrain(kDrainLimit);
    Unlink();
    if (hostLink != nullptr) hostLink->Withdraw();
    Disconnect(FailureKind::None, S_OK);
    Reset();
    // The application hears nothing from this session once closing returns.
    StopNotifying();
    closed = true;
    const bool inDispatch = dispatching != 0;
    Release();
    if (!inDispatch) FinishLastClose();
    return kSessionDone;
}
