// CClient: the transport of one connection to the simulator, over a named pipe or a TCP
// socket. Reads and writes are posted to the operating system's backend and finish in
// OnIoComplete on a backend thread, never on the application's threads; the object is
// reference-counted because a completion may arrive after the application has let go.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <utility>

#include "base/mutex.h"
#include "simconnect/SimConnect.h"
#include "message_queue.h"
#include "receive_buffer.h"
#include "transport_type.h"

class CClient;

// An operating-system connection as the portable code holds it: a socket or handle on
// Windows, the backend's connection record on POSIX.
using OsHandle = std::intptr_t;
constexpr OsHandle kInvalidOsHandle = -1;

// One buffer of an operation, in the shape of the Windows WSABUF.
struct IoBuffer {
    std::uint32_t length;
    unsigned char* data;
};
// A write may gather this many queued messages; a backend that cannot gather asks for one.
constexpr std::uint32_t kMaxIoBuffers = 64;

// One direction's outstanding operation. The backend keeps its own per-operation record
// (Windows: the OVERLAPPED) at the front, so that the owner is found from it.
struct IoRequest {
    alignas(8) unsigned char osRecord[32];
    void* osEvent;  // a pipe operation's event on Windows; unused on POSIX
    CClient* owner;
    std::uint8_t kind;  // kReceive or kSend
    std::uint8_t marker;
    std::uint32_t bufferCount;  // a read always has one buffer
    IoBuffer buffers[kMaxIoBuffers];
};
constexpr std::uint8_t kReceive = 0;
constexpr std::uint8_t kSend = 1;

enum class ConnectionState : std::uint32_t { Idle = 0, Connecting = 1, Connected = 2 };

// Why a connection failed; None is the orderly close.
enum class FailureKind : std::uint32_t {
    None = 0,
    TooLarge = 1,
    BadLength = 2,
    NoMemory = 3,
    PeerClosed = 4,
    Broken = 5,
    Cancelled = 8,
    Other = 9,
};

// Completion statuses that the backends report.
constexpr std::uint32_t kStatusSuccess = 0;
constexpr std::uint32_t kStatusBufferOverflow = 0x80000005u;
constexpr std::uint32_t kStatusUnsuccessful = 0xC0000001u;
constexpr std::uint32_t kStatusCancelled = 0xC0000120u;
constexpr std::uint32_t kStatusConnectionDisconnected = 0xC000013Cu;
constexpr std::uint32_t kStatusConnectionReset = 0xC000013Du;
constexpr std::uint32_t kStatusGracefulDisconnect = 0xC000013Eu;
constexpr std::uint32_t kStatusPipeBroken = 0xC000014Bu;
constexpr std::uint32_t kStatusRemoteReset = 0xC000020Du;

class CClient {
public:
    explicit CClient(TransportType transportType);
    virtual ~CClient();
    CClient(const CClient&) = delete;
    CClient& operator=(const CClient&) = delete;

    virtual void Reset();
    virtual void Disconnect(FailureKind kind, HRESULT result);
    virtual int OnMessage(MessageBuffer& message);
    virtual void OnConnecting();

    // True once the socket layer is started; retried on every call until it starts.
    static bool EnsureWinsock();
    static void StopWinsock();

    // Connects over the object's transport; 0 when connected, 1 otherwise. `family` is 2
    // or 23 for TCP and unused for pipes, whose path is built from address and port.
    int Connect(std::uint32_t family, const std::string& address, const std::string& port,
                std::uint32_t maxReceiveSize, bool disableNagle);
    // Hands one outgoing message over; the node is the transport's from here on, also
    // when the answer is false (not connected: the message is dropped).
    bool QueueSend(MessageNode* node) EXCLUDES(connectionLock);
    bool HasFailed() const { return failureKind.load() != FailureKind::None; }
    void AddRef() { references.fetch_add(1, std::memory_order_relaxed); }
    void Release();

    // Waits until every queued write is on the stream, the connection is gone or `limit`
    // has passed.
    void WaitForSendsToDrain(std::chrono::milliseconds limit) EXCLUDES(connectionLock);

    // The completion routine of both directions; the backend calls it.
    static void OnIoComplete(std::uint32_t status, std::uint32_t bytes, IoRequest* request);

    TransportType Type() const { return transportType; }
    // The endpoint of the last connect: the pipe's path, or "TCP host:port".
    const std::string& Endpoint() const { return endpoint; }
    std::uint32_t ConnectionId() const { return connectionId.load(); }
    HRESULT FailureResult() const { return failureResult.load(); }
    std::uint32_t LastOsError() const { return lastOsError.load(); }
    // For tests: why the connection failed, the receive buffer's size, the references,
    // and the write in flight (its number of blocks and its first block).
    FailureKind TEST_Failure() const { return failureKind.load(); }
    std::uint32_t TEST_ReceiveBufferSize() const { return receive.Size(); }
    std::int32_t TEST_References() const { return references.load(); }
    std::pair<std::uint32_t, const unsigned char*> TEST_SendBlocks() EXCLUDES(connectionLock);

protected:
    // The transport part of Disconnect; returns the state the connection was in.
    ConnectionState DisconnectTransport(FailureKind kind, HRESULT result) EXCLUDES(connectionLock);
    bool IsConnectedHandle() const { return handle.load() != kInvalidOsHandle; }
    void SetNoDelayIfAsked();

    std::atomic<OsHandle> handle{kInvalidOsHandle};
    std::atomic<ConnectionState> state{ConnectionState::Idle};
    std::atomic<std::uint32_t> lastOsError{0};
    std::atomic<HRESULT> failureResult{0};
    const TransportType transportType;
    std::atomic<std::uint32_t> connectionId{0};
    std::atomic<std::int32_t> references{1};
    std::atomic<FailureKind> failureKind{FailureKind::None};

private:
    int ConnectPipe(const std::string& address, const std::string& port);
    int ConnectTcp(std::uint32_t family, const std::string& address, const std::string& port);
    int StartConnection(OsHandle connected);
    bool InitialiseConnection(OsHandle connected) EXCLUDES(connectionLock);
    void PostRead() EXCLUDES(connectionLock);
    void SendNext(bool fromCompletion) REQUIRES(connectionLock);
    void EndRefused(std::uint32_t status);
    void OnReceiveComplete(std::uint32_t bytes);
    void OnSendComplete() EXCLUDES(connectionLock);
    bool CutAndDeliver();
    void CloseHandles(FailureKind kind, HRESULT result, ConnectionState oldState)
        REQUIRES(connectionLock);
    void FreeSendBlocks() REQUIRES(connectionLock);
    std::uint32_t TakeSendBlocks() REQUIRES(connectionLock);
    void DestroyResources() EXCLUDES(connectionLock);

    // Set by Connect before the first read is posted, then only read.
    std::uint32_t maxReceiveSize = 1024;
    bool disableNagle = false;
    std::string endpoint;

    // The send side and both operations' records: the application's threads and the
    // completions of either direction meet here.
    Mutex connectionLock;
    CondVar sendsDrained;
    MessageQueue sendQueue;  // locked on its own: Reset clears it without connectionLock
    bool sending GUARDED_BY(connectionLock) = false;  // a write is in flight
    IoRequest receiveRequest GUARDED_BY(connectionLock){};
    // The blocks of the write in flight are the send request's buffers; they are freed
    // when the next write starts or at reset.
    IoRequest sendRequest GUARDED_BY(connectionLock){};

    // The receive side: touched by the completion of the one read outstanding at a time,
    // and before the first read is posted.
    ReceiveBuffer receive;
    MessageBuffer message;
};

// The failure kind of a completion status; None when the operation succeeded.
FailureKind FailureKindForStatus(std::uint32_t status, TransportType transportType);
