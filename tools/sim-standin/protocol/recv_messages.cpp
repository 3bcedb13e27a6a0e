#include "sim-standin/protocol/recv_messages.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <initializer_list>

#include "simconnect/SimConnect.h"

namespace standin {
namespace {

// Field offsets of the published layouts. The receive structures derive from their
// header, so offsetof is not available on them; their sizes are checked instead.
namespace at {
constexpr std::size_t szApplicationName = 12;
constexpr std::size_t dwApplicationVersionMajor = 268;
constexpr std::size_t dwSimConnectVersionMajor = 284;
constexpr std::size_t dwReserved1 = 300;
constexpr std::size_t body = 12;  // the first field after dwSize, dwVersion and dwID
}  // namespace at
static_assert(sizeof(SIMCONNECT_RECV_OPEN) == at::dwReserved1 + 8);
static_assert(sizeof(SIMCONNECT_RECV_EXCEPTION) == at::body + 3 * 4);
static_assert(sizeof(SIMCONNECT_RECV_EVENT) == at::body + 3 * 4);
static_assert(SIMCONNECT_RECV_DATA_OFFSET == at::body + 7 * 4);

// A zeroed message of `size` bytes: the header, then `fields` one after another.
Bytes message(std::size_t size, std::uint32_t recvId,
              std::initializer_list<std::uint32_t> fields = {}) {
    Bytes bytes(size, 0);
    StoreU32(&bytes[0], static_cast<std::uint32_t>(size));
    StoreU32(&bytes[4], kServerVersion);
    StoreU32(&bytes[8], recvId);
    std::size_t at = at::body;
    for (std::uint32_t field : fields) {
        StoreU32(&bytes[at], field);
        at += 4;
    }
    return bytes;
}

void storeVersions(std::uint8_t* at, const VersionQuad& version) {
    StoreU32(at, version.major);
    StoreU32(at + 4, version.minor);
    StoreU32(at + 8, version.buildMajor);
    StoreU32(at + 12, version.buildMinor);
}

}  // namespace

Bytes openMessage(const OpenAnswer& answer) {
    Bytes bytes = message(sizeof(SIMCONNECT_RECV_OPEN), SIMCONNECT_RECV_ID_OPEN);
    // The name keeps its NUL within the 256-byte field.
    const std::size_t length = std::min<std::size_t>(answer.applicationName.size(), 255);
    std::memcpy(&bytes[at::szApplicationName], answer.applicationName.data(), length);
    storeVersions(&bytes[at::dwApplicationVersionMajor], answer.application);
    storeVersions(&bytes[at::dwSimConnectVersionMajor], answer.simConnect);
    StoreU32(&bytes[at::dwReserved1], answer.reserved1);
    return bytes;
}

Bytes exceptionMessage(std::uint32_t exception, std::uint32_t sendId, std::uint32_t index) {
    return message(sizeof(SIMCONNECT_RECV_EXCEPTION), SIMCONNECT_RECV_ID_EXCEPTION,
                   {exception, sendId, index});
}

Bytes quitMessage() {
    return message(sizeof(SIMCONNECT_RECV), SIMCONNECT_RECV_ID_QUIT);
}

Bytes eventMessage(std::uint32_t groupId, std::uint32_t eventId, std::uint32_t data) {
    return message(sizeof(SIMCONNECT_RECV_EVENT), SIMCONNECT_RECV_ID_EVENT,
                   {groupId, eventId, data});
}

// dwentrynumber and dwoutof are both 1: every block goes out as one entry.
Bytes dataMessage(std::uint32_t recvId, const DataMessageFields& fields, const Bytes& block) {
    Bytes bytes = message(SIMCONNECT_RECV_DATA_OFFSET + block.size(), recvId,
                          {fields.requestId, fields.objectId, fields.defineId, fields.flags, 1, 1,
                           fields.defineCount});
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
