// Builds the messages the simulator sends, in the published SIMCONNECT_RECV layouts, each
// with dwVersion 5 in its header.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "sim-standin/protocol/wire_bytes.h"

namespace standin {

struct VersionQuad {
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    std::uint32_t buildMajor = 0;
    std::uint32_t buildMinor = 0;
};

struct OpenAnswer {
    std::string applicationName = "KittyHawk";
    VersionQuad application{11, 0, 282174, 999};
    VersionQuad simConnect{11, 0, 62651, 3};
    std::uint32_t reserved1 = 0;  // dwReserved1, which the hosting exchange reads
};

// The fields shared by SIMCONNECT_RECV_SIMOBJECT_DATA and SIMCONNECT_RECV_CLIENT_DATA.
struct DataMessageFields {
    std::uint32_t requestId = 0;
    std::uint32_t objectId = 0;
    std::uint32_t defineId = 0;
    std::uint32_t flags = 0;
    std::uint32_t defineCount = 0;
};

constexpr std::uint32_t kServerVersion = 5;

Bytes openMessage(const OpenAnswer& answer);
Bytes exceptionMessage(std::uint32_t exception, std::uint32_t sendId, std::uint32_t index);
Bytes quitMessage();
Bytes eventMessage(std::uint32_t groupId, std::uint32_t eventId, std::uint32_t data);
// `recvId` is SIMCONNECT_RECV_ID_SIMOBJECT_DATA or SIMCONNECT_RECV_ID_CLIENT_DATA.
Bytes dataMessage(std::uint32_t recvId, const DataMessageFields& fields, const Bytes& block);

// "NAME_UNRECOGNIZED" for 7, and so on; "UNKNOWN" for a code without a name.
std::string_view exceptionName(std::uint32_t exception);

}  // namespace standin
