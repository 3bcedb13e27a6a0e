#include "hosting.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "base/little_endian.h"
#include "base/mutex.h"
#include "message_queue.h"

namespace {

constexpr std::uint32_t kOpenAnswerId = 2;  // SIMCONNECT_RECV_ID_OPEN
constexpr std::uint32_t kOpenAnswerSize = 308;
constexpr std::uint32_t kOpenReservedOffset = 300;

template <typename Function>
std::uint64_t AddressOf(Function function) {
    return static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(function));
}

template <typename Function>
Function FunctionAt(const unsigned char* at) {
    return reinterpret_cast<Function>(static_cast<std::uintptr_t>(LoadU64(at)));
}

// The links the host can find, in the order they were made.
struct LinkRegistry {
    Mutex lock;
    std::vector<HostLink*> links GUARDED_BY(lock);
};

LinkRegistry& Registry() {
    // Never destroyed: a host may still call while the process exits.
    static LinkRegistry* registry = new LinkRegistry;
    return *registry;
}

void Unregister(const HostLink* link) {
    LinkRegistry& registry = Registry();
    MutexLock hold(registry.lock);
    std::erase(registry.links, link);
}

// Runs `use` on the link that the host's two ids name, under the registry's lock so that
// the link cannot go meanwhile; false when none does.
template <typename Use>
bool WithLink(std::uint32_t hostConnectionId, std::uint32_t connectionId, Use use) {
    LinkRegistry& registry = Registry();
    MutexLock hold(registry.lock);
    for (HostLink* link : registry.links) {
        if (link->Names(hostConnectionId, connectionId)) return use(*link);
    }
    return false;
}

}  // namespace

HWND DetectHost() {
    return hosting_os::DetectHostWindow();
}

HostLink::HostLink(HostedSession& session, HWND window) : session_(session), window_(window) {
    LinkRegistry& registry = Registry();
    MutexLock hold(registry.lock);
    registry.links.push_back(this);
}

HostLink::~HostLink() {
    Unregister(this);
}

void HostLink::Withdraw() {
    Unregister(this);
}

void HostLink::Inspect(const MessageNode& node) {
    if (node.size != kOpenAnswerSize || LoadU32(node.data + 8) != kOpenAnswerId) return;
    const std::uint32_t hostId = LoadU32(node.data + kOpenReservedOffset);
    if (registrationPosted_ || hostId == 0) return;
    hostConnectionId_ = hostId;
    registrationPosted_ = true;
    unsigned char* record = registration_;
    StoreU32(record + 0, kRegistrationSize);
    StoreU32(record + 4, kRegistrationVersion);
    StoreU32(record + 8, hostId);
    StoreU32(record + 12, session_.HostedConnectionId());
    StoreU64(record + 16, AddressOf(&HostAttach));
    StoreU64(record + 24, AddressOf(&HostDeliver));
    hosting_os::PostHostCommand(window_, reinterpret_cast<std::intptr_t>(record));
}

bool HostLink::Reserve(std::uint32_t size, unsigned char** request) {
    if (!attached_.load(std::memory_order_acquire)) return false;
    auto* block =
        static_cast<unsigned char*>(alloc_(hostConnectionId_, session_.HostedConnectionId(), size));
    if (block == nullptr) return false;
    std::memset(block, 0, size);
    blocks_.emplace_back(block, size);
    *request = block;
    return true;
}

void HostLink::Commit() {
    if (!attached_.load(std::memory_order_acquire)) return;
    for (const auto& [block, size] : blocks_) {
        commit_(hostConnectionId_, session_.HostedConnectionId(), size, block);
    }
    blocks_.clear();
}

bool HostLink::Abandon(unsigned char* request, std::uint32_t size) {
    const auto found =
        std::find(blocks_.begin(), blocks_.end(), std::pair<void*, std::uint32_t>(request, size));
    if (found == blocks_.end()) return false;
    free_(hostConnectionId_, session_.HostedConnectionId(), request, request);
    blocks_.erase(found);
    return true;
}

void HostLink::Release(unsigned char* data) {
    if (!attached_.load(std::memory_order_acquire)) return;
    release_(hostConnectionId_, session_.HostedConnectionId(), data);
}

bool HostLink::Names(std::uint32_t hostConnectionId, std::uint32_t connectionId) const {
    return hostConnectionId_ == hostConnectionId && session_.HostedConnectionId() == connectionId;
}

bool HostLink::Attach(HostAllocFn alloc, HostFreeFn free, HostCommitFn commit,
                      HostReleaseFn release) {
    if (attached_.load(std::memory_order_acquire)) return false;
    alloc_ = alloc;
    free_ = free;
    commit_ = commit;
    release_ = release;
    attached_.store(true, std::memory_order_release);
    return true;
}

void HostLink::Deliver(std::uint32_t size, void* message) {
    // The message stays the host's: NewMessageNode would free it when out of memory.
    auto* node = new (std::nothrow) MessageNode;
    if (node == nullptr) {
        Release(static_cast<unsigned char*>(message));
        return;
    }
    node->data = static_cast<unsigned char*>(message);
    node->size = size;
    node->connectionId = session_.HostedConnectionId();
    node->hostOwned = 1;
    session_.ReceiveFromHost(node);
}

// The link is found by its two ids, host id 0 being an id like any other. All four
// functions must be given: the library calls each of them without looking again.
int HostAttach(const void* record) {
    const auto* bytes = static_cast<const unsigned char*>(record);
    if (bytes == nullptr || LoadU32(bytes) != kAttachSize || LoadU32(bytes + 4) != kAttachVersion) {
        return 0;
    }
    const auto allocBlock = FunctionAt<HostAllocFn>(bytes + 16);
    const auto freeBlock = FunctionAt<HostFreeFn>(bytes + 24);
    const auto commitBlock = FunctionAt<HostCommitFn>(bytes + 32);
    const auto releaseBlock = FunctionAt<HostReleaseFn>(bytes + 40);
    if (allocBlock == nullptr || freeBlock == nullptr || commitBlock == nullptr ||
        releaseBlock == nullptr) {
        return 0;
    }
    const bool attached = WithLink(LoadU32(bytes + 8), LoadU32(bytes + 12), [&](HostLink& link) {
        return link.Attach(allocBlock, freeBlock, commitBlock, releaseBlock);
    });
    return attached ? 1 : 0;
}

void HostDeliver(std::uint32_t hostConnectionId, std::uint32_t connectionId, std::uint32_t size,
                 void* message) {
    WithLink(hostConnectionId, connectionId, [&](HostLink& link) {
        link.Deliver(size, message);
        return true;
    });
}
