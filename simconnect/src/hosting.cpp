#include "hosting.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "library_state.h"
#include "session.h"
#include "base/little_endian.h"

namespace {

constexpr std::uint32_t kOpenAnswerId = 2;  // SIMCONNECT_RECV_ID_OPEN
constexpr std::uint32_t kOpenAnswerSize = 308;
constexpr std::uint32_t kOpenReservedOffset = 300;

enum HostState : std::uint32_t { kNoHost = 0, kHostWindowKnown = 1, kRegistrationPosted = 2 };

template <typename Function>
std::uint64_t AddressOf(Function function) {
    return static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(function));
}

template <typename Function>
Function FunctionAt(const unsigned char* at) {
    return reinterpret_cast<Function>(static_cast<std::uintptr_t>(LoadU64(at)));
}

}  // namespace

HWND DetectHost() {
    return hosting_os::DetectHostWindow();
}

void NoteHostWindow(ClientClient* session, HWND window) {
    if (window == nullptr || session->hostState != kNoHost) return;
    session->hostState = kHostWindowKnown;
    session->hostWindow = window;
}

void InspectForHost(ClientClient* session, const MessageNode& node) {
    if (node.size != kOpenAnswerSize || LoadU32(node.data + 8) != kOpenAnswerId) return;
    const std::uint32_t hostId = LoadU32(node.data + kOpenReservedOffset);
    if (session->hostConnectionId != 0 || session->hostState != kHostWindowKnown || hostId == 0) {
        return;
    }
    session->hostConnectionId = hostId;
    session->hostState = kRegistrationPosted;
    unsigned char* record = session->hostRegistration;
    std::memset(record, 0, sizeof session->hostRegistration);
    StoreU32(record + 0, kRegistrationSize);
    StoreU32(record + 4, kRegistrationVersion);
    StoreU32(record + 8, hostId);
    StoreU32(record + 12, session->ConnectionId());
    StoreU64(record + 16, AddressOf(&HostAttach));
    StoreU64(record + 24, AddressOf(&HostDeliver));
    hosting_os::PostHostCommand(session->hostWindow, reinterpret_cast<std::intptr_t>(record));
}

bool ReserveFromHost(ClientClient* session, std::uint32_t size, unsigned char** request) {
    if (!session->hostAttached) return false;
    auto* block = static_cast<unsigned char*>(
        session->hostAlloc(session->hostConnectionId, session->ConnectionId(), size));
    if (block == nullptr) return false;
    std::memset(block, 0, size);
    session->hostBlocks.emplace_back(block, size);
    *request = block;
    return true;
}

void CommitHostBlocks(ClientClient* session) {
    if (!session->hostAttached) return;
    for (const auto& [block, size] : session->hostBlocks) {
        session->hostCommit(session->hostConnectionId, session->ConnectionId(), size, block);
    }
    session->hostBlocks.clear();
}

bool AbandonHostBlock(ClientClient* session, unsigned char* request, std::uint32_t size) {
    auto& blocks = session->hostBlocks;
    const auto found = std::find(blocks.begin(), blocks.end(),
                                 std::pair<void*, std::uint32_t>(request, size));
    if (found == blocks.end()) return false;
    session->hostFree(session->hostConnectionId, session->ConnectionId(), request, request);
    blocks.erase(found);
    return true;
}

void FinishDispatchedNode(ClientClient* session, MessageNode* node) {
    if (node->hostOwned != 0 && session->hostRelease != nullptr) {
        session->hostRelease(session->hostConnectionId, session->ConnectionId(), node->data);
    }
    FreeMessageNode(node);
}

ClientClient* FindHostedSession(std::uint32_t hostConnectionId, std::uint32_t connectionId) {
    for (ClientClient* session = Library().head; session != nullptr;
         session = session->nextSession) {
        if (session->ConnectionId() == connectionId &&
            session->hostConnectionId == hostConnectionId) {
            return session;
        }
    }
    return nullptr;
}

// The session is found by its two ids, host id 0 being an id like any other. All four
// functions must be given: the library calls each of them without looking again.
int HostAttach(const void* record) {
    const auto* bytes = static_cast<const unsigned char*>(record);
    if (bytes == nullptr || LoadU32(bytes) != kAttachSize || LoadU32(bytes + 4) != kAttachVersion) {
        return 0;
    }
    ClientClient* session = FindHostedSession(LoadU32(bytes + 8), LoadU32(bytes + 12));
    if (session == nullptr || session->hostAttached) return 0;
    const auto allocBlock = FunctionAt<HostAllocFn>(bytes + 16);
    const auto freeBlock = FunctionAt<HostFreeFn>(bytes + 24);
    const auto commitBlock = FunctionAt<HostCommitFn>(bytes + 32);
    const auto releaseBlock = FunctionAt<HostReleaseFn>(bytes + 40);
    if (allocBlock == nullptr || freeBlock == nullptr || commitBlock == nullptr ||
        releaseBlock == nullptr) {
        return 0;
    }
    session->hostAlloc = allocBlock;
    session->hostFree = freeBlock;
    session->hostCommit = commitBlock;
    session->hostRelease = releaseBlock;
    session->hostAttached = true;
    return 1;
}

void HostDeliver(std::uint32_t hostConnectionId, std::uint32_t connectionId, std::uint32_t size,
                 void* message) {
    ClientClient* session = FindHostedSession(hostConnectionId, connectionId);
    if (session == nullptr) return;
    // The message stays the host's: NewMessageNode would free it when out of memory.
    auto* node = new (std::nothrow) MessageNode;
    if (node == nullptr) {
        if (session->hostRelease != nullptr) {
            session->hostRelease(hostConnectionId, connectionId, message);
        }
        return;
    }
    node->data = static_cast<unsigned char*>(message);
    node->size = size;
    node->connectionId = connectionId;
    node->hostOwned = 1;
    session->receiveQueue.Append(node);
    session->Notify();
}
