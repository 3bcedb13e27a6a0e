#include "tools/sim-standin/recv_messages.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "simconnect/SimConnect.h"

namespace standin {
namespace {

// Field offsets of the published layouts. The receive structures derive from their
// header, so offsetof is not available on them; their sizes are checked instead.
namespace at {
constexpr std::size_t dwSize = 0;
constexpr std::size_t dwVersion = 4;
constexpr std::size_t dwID = 8;
constexpr std::size_t szApplicationName = 12;
constexpr std::size_t dwApplicationVersionMajor = 268;
constexpr std::size_t dwSimConnectVersionMajor = 284;
constexpr std::size_t dwReserved1 = 300;
constexpr std::size_t dwException = 12;
constexpr std::size_t dwSendID = 16;
constexpr std::size_t dwIndex = 20;
constexpr std::size_t uGroupID = 12;
constexpr std::size_t uEventID = 16;
constexpr std::size_t dwEventData = 20;
constexpr std::size_t dwRequestID = 12;
constexpr std::size_t dwObjectID = 16;
constexpr std::size_t dwDefineID = 20;
constexpr std::size_t dwFlags = 24;
constexpr std::size_t dwentrynumber = 28;
constexpr std::size_t dwoutof = 32;
constexpr std::size_t dwDefineCount = 36;
}  // namespace at
static_assert(sizeof(SIMCONNECT_RECV_OPEN) == at::dwReserved1 + 8);
static_assert(sizeof(SIMCONNECT_RECV_EXCEPTION) == at::dwIndex + 4);
static_assert(sizeof(SIMCONNECT_RECV_EVENT) == at::dwEventData + 4);
static_assert(SIMCONNECT_RECV_DATA_OFFSET == at::dwDefineCount + 4);

// A zeroed message of `size` bytes with its header filled in.
Bytes message(std::uint32_t size, std::uint32_t recvId) {
    Bytes bytes(size, 0);
    storeU32(&bytes[at::dwSize], size);
    storeU32(&bytes[at::dwVersion], kServerVersion);
    storeU32(&bytes[at::dwID], recvId);
    return bytes;
}

void storeVersions(std::uint8_t* at, const VersionQuad& version) {
    storeU32(at, version.major);
    storeU32(at + 4, version.minor);
    storeU32(at + 8, version.buildMajor);
    storeU32(at + 12, version.buildMinor);
}

}  // namespace

Bytes openMessage(const OpenAnswer& answer) {
    Bytes bytes = message(sizeof(SIMCONNECT_RECV_OPEN), SIMCONNECT_RECV_ID_OPEN);
    // The name keeps its NUL within the 256-byte field.
    const std::size_t length = std::min<std::size_t>(answer.applicationName.size(), 255);
    std::memcpy(&bytes[at::szApplicationName], answer.applicationName.data(), length);
    storeVersions(&bytes[at::dwApplicationVersionMajor], answer.application);
    storeVersions(&bytes[at::dwSimConnectVersionMajor], answer.simConnect);
    storeU32(&bytes[at::dwReserved1], answer.reserved1);
    return bytes;
}

Bytes exceptionMessage(std::uint32_t exception, std::uint32_t sendId, std::uint32_t index) {
    Bytes bytes = message(sizeof(SIMCONNECT_RECV_EXCEPTION), SIMCONNECT_RECV_ID_EXCEPTION);
    storeU32(&bytes[at::dwException], exception);
    storeU32(&bytes[at::dwSendID], sendId);
    storeU32(&bytes[at::dwIndex], index);
    return bytes;
}

Bytes quitMessage() {
    return message(sizeof(SIMCONNECT_RECV), SIMCONNECT_RECV_ID_QUIT);
}

Bytes eventMessage(std::uint32_t groupId, std::uint32_t eventId, std::uint32_t data) {
    Bytes bytes = message(sizeof(SIMCONNECT_RECV_EVENT), SIMCONNECT_RECV_ID_EVENT);
    storeU32(&bytes[at::uGroupID], groupId);
    storeU32(&bytes[at::uEventID], eventId);
    storeU32(&bytes[at::dwEventData], data);
    return bytes;
}

Bytes dataMessage(std::uint32_t recvId, const DataMessageFields& fields, const Bytes& block) {
    Bytes bytes =
        message(static_cast<std::uint32_t>(SIMCONNECT_RECV_DATA_OFFSET + block.size()), recvId);
    storeU32(&bytes[at::dwRequestID], fields.requestId);
    storeU32(&bytes[at::dwObjectID], fields.objectId);
    storeU32(&bytes[at::dwDefineID], fields.defineId);
    storeU32(&bytes[at::dwFlags], fields.flags);
    storeU32(&bytes[at::dwentrynumber], 1);
    storeU32(&bytes[at::dwoutof], 1);
    storeU32(&bytes[at::dwDefineCount], fields.defineCount);
    if (!block.empty())
        std::memcpy(&bytes[SIMCONNECT_RECV_DATA_OFFSET], block.data(), block.size());
    return bytes;
}

std::string_view exceptionName(std::uint32_t exception) {
    switch (exception) {
        case SIMCONNECT_EXCEPTION_NONE:
            return "NONE";
        case SIMCONNECT_EXCEPTION_ERROR:
            return "ERROR";
        case SIMCONNECT_EXCEPTION_SIZE_MISMATCH:
            return "SIZE_MISMATCH";
        case SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID:
            return "UNRECOGNIZED_ID";
        case SIMCONNECT_EXCEPTION_UNOPENED:
            return "UNOPENED";
        case SIMCONNECT_EXCEPTION_VERSION_MISMATCH:
            return "VERSION_MISMATCH";
        case SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED:
            return "NAME_UNRECOGNIZED";
        case SIMCONNECT_EXCEPTION_EVENT_ID_DUPLICATE:
            return "EVENT_ID_DUPLICATE";
        case SIMCONNECT_EXCEPTION_DUPLICATE_ID:
            return "DUPLICATE_ID";
        case SIMCONNECT_EXCEPTION_OUT_OF_BOUNDS:
            return "OUT_OF_BOUNDS";
        default:
            return "UNKNOWN";
    }
}

}  // namespace standin
