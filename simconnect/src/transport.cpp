#include "transport.h"

#include <cstdlib>
#include <cstring>

#include "connection_settings.h"
#include "library_state.h"
#include "transport_os.h"

CClient::CClient(TransportType type) : transportType(type) {
    receiveRequest.owner = this;
    sendRequest.owner = this;
    Library().liveClients.fetch_add(1);
}

CClient::~CClient() {
    NoteClientDestroyed();
}

bool CClient::EnsureWinsock() {
    LibraryState& library = Library();
    if (library.socketsStarted.load()) return true;
    if (!transport_os::StartSockets()) return false;
    library.socketsStarted.store(true);
    return true;
}

void CClient::StopWinsock() {
    if (Library().socketsStarted.exchange(false)) transport_os::StopSockets();
}

int CClient::Connect(std::uint32_t family, const std::string& address, const std::string& port,
                     std::uint32_t maxReceive, bool nagleOff) {
    maxReceiveSize = maxReceive;
    disableNagle = nagleOff;
    if (transportType == TransportType::Pipe) return ConnectPipe(address, port);
    return ConnectTcp(family, address, port);
}

int CClient::ConnectPipe(const std::string& address, const std::string& port) {
    endpoint = BuildPipePath(address, port);
    OsHandle connected = kInvalidOsHandle;
    if (!transport_os::ConnectPipe(endpoint, connected)) return 1;
    return StartConnection(connected);
}

int CClient::ConnectTcp(std::uint32_t family, const std::string& address, const std::string& port) {
    // An empty address is this machine; an IPv6 address is bracketed before its port.
    const std::string host = address.empty() ? "localhost" : address;
    endpoint =
        "TCP " + (host.find(':') != std::string::npos ? "[" + host + "]" : host) + ":" + port;
    OsHandle connected = kInvalidOsHandle;
    if (!transport_os::ConnectTcp(family, address, port, connected)) return 1;
    return StartConnection(connected);
}

// A connection that cannot be bound to the completion routine, or gets no receive
// buffer, is closed at once and the attempt fails.
int CClient::StartConnection(OsHandle connected) {
    if (!transport_os::BindCompletion(connected) || !InitialiseConnection(connected)) {
        transport_os::Close(connected, transportType);
        return 1;
    }
    Reset();
    PostRead();
    return 0;
}

bool CClient::InitialiseConnection(OsHandle connected) {
    if (!receive.Allocate(ReceiveBuffer::kInitialSize)) return false;
    handle.store(connected);
    failureKind.store(FailureKind::None);
    MutexLock hold(connectionLock);
    FreeSendBlocks();
    for (IoRequest* request : {&receiveRequest, &sendRequest}) {
        std::memset(request, 0, sizeof *request);
        request->owner = this;
        request->marker = 1;
    }
    receiveRequest.kind = kReceive;
    sendRequest.kind = kSend;
    state.store(ConnectionState::Idle);
    FreeMessageBuffer(message);
    return true;
}

// Clears the send side; when the object holds a connection it also gives it a new id and
// an empty receive buffer. While closing (no handle any more) a completion may still be
// running on the receive side, so the receive positions are left alone then. The blocks
// of a write in flight stay: a cancelled overlapped write may still read them after its
// handle is closed, so its completion (or the last reference) frees them.
void CClient::Reset() {
    sendQueue.Clear();
    const bool connected = IsConnectedHandle();
    {
        MutexLock hold(connectionLock);
        if (!sending) FreeSendBlocks();
        if (connected) {
            connectionId.store(NextConnectionId());
            if (transportType == TransportType::Pipe) {
                transport_os::CreatePipeEvents(receiveRequest, sendRequest);
            }
        }
        sendsDrained.notifyAll();
    }
    if (connected) receive.Rewind();
}

void CClient::SetNoDelayIfAsked() {
    if (transportType == TransportType::Tcp && disableNagle)
        transport_os::SetNoDelay(handle.load());
}

void CClient::Disconnect(FailureKind kind, HRESULT result) {
    DisconnectTransport(kind, result);
}

// Only the call that ends the connection records why: the completions that follow it
// (the other direction, cancelled by the close) leave the first reason in place.
ConnectionState CClient::DisconnectTransport(FailureKind kind, HRESULT result) {
    MutexLock hold(connectionLock);
    const ConnectionState oldState = state.exchange(ConnectionState::Idle);
    connectionId.store(0);
    if (oldState != ConnectionState::Idle) {
        CloseHandles(kind, result, oldState);
        failureKind.store(kind);
    }
    sendsDrained.notifyAll();
    return oldState;
}

void CClient::CloseHandles(FailureKind kind, HRESULT result, ConnectionState oldState) {
    if (kind != FailureKind::None) {
        lastOsError.store(transport_os::LastError());
        failureResult.store(result);
    }
    const OsHandle closing = handle.exchange(kInvalidOsHandle);
    if (transportType == TransportType::Tcp && oldState == ConnectionState::Connected &&
        closing != kInvalidOsHandle) {
        transport_os::Shutdown(closing);
        transport_os::CancelIo(closing);
    }
    if (closing != kInvalidOsHandle) transport_os::Close(closing, transportType);
    if (transportType == TransportType::Pipe)
        transport_os::ClosePipeEvents(receiveRequest, sendRequest);
}

int CClient::OnMessage(MessageBuffer&) {
    return 0;
}

void CClient::OnConnecting() {}

// Posted under connectionLock, so that a close on another thread cannot release the
// handle (or a pipe's event) between the state test and the read.
void CClient::PostRead() {
    bool posted = false;
    std::uint32_t refused = kStatusUnsuccessful;
    {
        MutexLock hold(connectionLock);
        if (state.load() != ConnectionState::Connected) return;
        receiveRequest.bufferCount = 1;
        receiveRequest.buffers[0] = {receive.FreeTailSize(), receive.FreeTail()};
        AddRef();
        posted = transport_os::PostRead(handle.load(), receiveRequest, refused);
    }
    if (!posted) EndRefused(refused);
}

// A read the system refused at once never completes, so the connection ends here as its
// completion would have ended it; otherwise the application would go on dispatching a dead
// connection that reports nothing. The read's reference goes too. (A refused write only
// gives its reference back: the read under way still takes what the peer sent before
// the end, and then reports the end.)
void CClient::EndRefused(std::uint32_t status) {
    const FailureKind kind = FailureKindForStatus(status, transportType);
    Disconnect(kind != FailureKind::None ? kind : FailureKind::Other, static_cast<HRESULT>(status));
    Release();
}

bool CClient::QueueSend(MessageNode* node) {
    MutexLock hold(connectionLock);
    if (state.load() != ConnectionState::Connected) {
        FreeMessageNode(node);
        return false;
    }
    sendQueue.Append(node);
    SendNext(false);
    return true;
}

// Starts the next write. At most one write is in flight, so
// messages queued while one is out wait for its completion, which then sends them all
// together, whole and in the order queued, straight from their own blocks.
void CClient::SendNext(bool fromCompletion) {
    if (!fromCompletion && sending) return;
    FreeSendBlocks();
    if (TakeSendBlocks() == 0) {
        if (fromCompletion) {
            sending = false;
            sendsDrained.notifyAll();
        }
        return;
    }
    AddRef();
    // A write that cannot even be started leaves `sending` clear, so that later messages
    // are not held up behind a write that will never complete.
    sending = transport_os::PostWrite(handle.load(), sendRequest);
    if (!sending) {
        Release();
        sendsDrained.notifyAll();
    }
}

// Moves queued messages into the send request, as many as the backend writes at once.
std::uint32_t CClient::TakeSendBlocks() {
    const std::uint32_t limit = transport_os::MaxWriteBuffers(transportType);
    std::uint32_t count = 0;
    while (count < limit) {
        MessageNode* node = sendQueue.TakeFirst();
        if (node == nullptr) break;
        sendRequest.buffers[count++] = {node->size, node->data};
        node->data = nullptr;
        FreeMessageNode(node);
    }
    sendRequest.bufferCount = count;
    return count;
}

void CClient::FreeSendBlocks() {
    for (std::uint32_t i = 0; i < sendRequest.bufferCount; ++i) {
        std::free(sendRequest.buffers[i].data);
        sendRequest.buffers[i] = {0, nullptr};
    }
    sendRequest.bufferCount = 0;
}

std::pair<std::uint32_t, const unsigned char*> CClient::TEST_SendBlocks() {
    MutexLock hold(connectionLock);
    return {sendRequest.bufferCount, sendRequest.buffers[0].data};
}

void CClient::WaitForSendsToDrain(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    MutexLock hold(connectionLock);
    while ((state.load() == ConnectionState::Connected && (sending || sendQueue.Count() != 0)) &&
           sendsDrained.waitUntil(connectionLock, deadline)) {
    }
}

FailureKind FailureKindForStatus(std::uint32_t status, TransportType transportType) {
    switch (status) {
        case kStatusSuccess:
            return FailureKind::None;
        case kStatusBufferOverflow:
            // A pipe read that got the first part of a larger message is not an error.
            return transportType == TransportType::Pipe ? FailureKind::None : FailureKind::Other;
        case kStatusCancelled:
            return FailureKind::Cancelled;
        case kStatusConnectionDisconnected:
        case kStatusPipeBroken:
        case kStatusRemoteReset:
            return FailureKind::Broken;
        default:
            return FailureKind::Other;
    }
}

void CClient::OnIoComplete(std::uint32_t status, std::uint32_t bytes, IoRequest* request) {
    if (request == nullptr) return;
    CClient* self = request->owner;
    const FailureKind failure = FailureKindForStatus(status, self->transportType);
    if (failure != FailureKind::None) {
        self->Disconnect(failure, static_cast<HRESULT>(status));
    } else if (bytes == 0) {
        self->Disconnect(FailureKind::PeerClosed, static_cast<HRESULT>(kStatusGracefulDisconnect));
    } else if (request->kind == kReceive) {
        self->OnReceiveComplete(bytes);
    }
    if (request->kind == kSend) self->OnSendComplete();
    self->Release();
}

// A write has ended: the next one starts, or, when the connection is gone, the write's
// blocks are freed now that nothing reads them any more.
void CClient::OnSendComplete() {
    MutexLock hold(connectionLock);
    if (state.load() == ConnectionState::Connected) {
        SendNext(true);
        return;
    }
    FreeSendBlocks();
    sending = false;
    sendsDrained.notifyAll();
}

void CClient::OnReceiveComplete(std::uint32_t bytes) {
    if (state.load() == ConnectionState::Connecting) OnConnecting();
    receive.Advance(bytes);
    if (CutAndDeliver()) PostRead();
}

// Delivers every complete message; false when the connection failed on the way.
bool CClient::CutAndDeliver() {
    for (;;) {
        switch (receive.Cut(message, maxReceiveSize)) {
            case CutResult::Complete:
                OnMessage(message);
                break;
            case CutResult::NeedMoreBytes:
                return true;
            case CutResult::TooLarge:
                Disconnect(FailureKind::TooLarge, E_ABORT);
                return false;
            case CutResult::BadLength:
                Disconnect(FailureKind::BadLength, E_ABORT);
                return false;
            case CutResult::NoMemory:
                Disconnect(FailureKind::NoMemory, E_OUTOFMEMORY);
                return false;
        }
    }
}

void CClient::Release() {
    if (references.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
    DestroyResources();
    delete this;
}

void CClient::DestroyResources() {
    sendQueue.Clear();
    receive.Free();
    FreeMessageBuffer(message);
    MutexLock hold(connectionLock);
    FreeSendBlocks();
}
