// The wire layout of the requests this client sends. The client builds them from these
// numbers and the simulator stand-in decodes them with the same numbers, so both ends
// agree on one table.
#pragma once

#include <cstdint>

namespace request_layout {

// Every request starts with this 16-byte header.
struct RequestHeader {
    std::uint32_t dwSize;
    std::uint32_t dwVersion;
    std::uint32_t dwID;
    std::uint32_t dwSendID;
};
static_assert(sizeof(RequestHeader) == 16, "request header layout");

constexpr std::uint32_t kProtocolVersion = 5;
constexpr std::uint32_t kIdBase = 0xF0000000u;  // dwID = kIdBase + request number
constexpr std::uint32_t kHeaderSize = 16;
constexpr std::uint32_t kSendIdOffset = 12;
constexpr std::uint32_t kTextSize = 256;  // a text field: at most 255 characters and a NUL

// Request numbers.
constexpr std::uint32_t kOpen = 1;
constexpr std::uint32_t kMapClientEventToSimEvent = 4;
constexpr std::uint32_t kTransmitClientEvent = 5;
constexpr std::uint32_t kAddToDataDefinition = 12;
constexpr std::uint32_t kRequestDataOnSimObject = 14;
constexpr std::uint32_t kSetDataOnSimObject = 16;
constexpr std::uint32_t kSubscribeToSystemEvent = 23;
constexpr std::uint32_t kMapClientDataNameToID = 55;
constexpr std::uint32_t kAddToClientDataDefinition = 57;
constexpr std::uint32_t kRequestClientData = 59;
constexpr std::uint32_t kSetClientData = 60;

// Fixed sizes; the two data-block requests are kDataBlockBodySize plus their data.
constexpr std::uint32_t kOpenSize = 296;
constexpr std::uint32_t kMapClientEventToSimEventSize = 276;
constexpr std::uint32_t kTransmitClientEventSize = 36;
constexpr std::uint32_t kAddToDataDefinitionSize = 544;
constexpr std::uint32_t kRequestDataOnSimObjectSize = 48;
constexpr std::uint32_t kSubscribeToSystemEventSize = 276;
constexpr std::uint32_t kMapClientDataNameToIDSize = 276;
constexpr std::uint32_t kAddToClientDataDefinitionSize = 36;
constexpr std::uint32_t kRequestClientDataSize = 48;
constexpr std::uint32_t kDataBlockBodySize = 36;  // SetDataOnSimObject and SetClientData

// OPEN body.
namespace open {
constexpr std::uint32_t szName = 16;
constexpr std::uint32_t openReserved = 272;
constexpr std::uint32_t openTag = 276;  // the four bytes 00 48 4B 00
constexpr std::uint32_t versionMajor = 280;
constexpr std::uint32_t versionMinor = 284;
constexpr std::uint32_t buildMajor = 288;
constexpr std::uint32_t buildMinor = 292;
constexpr unsigned char kTag[4] = {0x00, 0x48, 0x4B, 0x00};
constexpr std::uint32_t kVersionMajor = 11;
constexpr std::uint32_t kVersionMinor = 0;
constexpr std::uint32_t kBuildMajor = 62651;
constexpr std::uint32_t kBuildMinor = 3;
}  // namespace open

namespace map_client_event {
constexpr std::uint32_t EventID = 16;
constexpr std::uint32_t EventName = 20;
}  // namespace map_client_event

namespace transmit_client_event {
constexpr std::uint32_t ObjectID = 16;
constexpr std::uint32_t EventID = 20;
constexpr std::uint32_t dwData = 24;
constexpr std::uint32_t GroupID = 28;
constexpr std::uint32_t Flags = 32;
}  // namespace transmit_client_event

namespace add_to_data_definition {
constexpr std::uint32_t DefineID = 16;
constexpr std::uint32_t DatumName = 20;
constexpr std::uint32_t UnitsName = 276;
constexpr std::uint32_t DatumType = 532;
constexpr std::uint32_t fEpsilon = 536;
constexpr std::uint32_t DatumID = 540;
}  // namespace add_to_data_definition

namespace request_data_on_sim_object {
constexpr std::uint32_t RequestID = 16;
constexpr std::uint32_t DefineID = 20;
constexpr std::uint32_t ObjectID = 24;
constexpr std::uint32_t Period = 28;
constexpr std::uint32_t Flags = 32;
constexpr std::uint32_t origin = 36;
constexpr std::uint32_t interval = 40;
constexpr std::uint32_t limit = 44;
}  // namespace request_data_on_sim_object

namespace set_data_on_sim_object {
constexpr std::uint32_t DefineID = 16;
constexpr std::uint32_t ObjectID = 20;
constexpr std::uint32_t Flags = 24;
constexpr std::uint32_t ArrayCount = 28;
constexpr std::uint32_t cbUnitSize = 32;
constexpr std::uint32_t data = 36;
}  // namespace set_data_on_sim_object

namespace subscribe_to_system_event {
constexpr std::uint32_t EventID = 16;
constexpr std::uint32_t SystemEventName = 20;
}  // namespace subscribe_to_system_event

namespace map_client_data_name {
constexpr std::uint32_t szClientDataName = 16;
constexpr std::uint32_t ClientDataID = 272;
}  // namespace map_client_data_name

namespace add_to_client_data_definition {
constexpr std::uint32_t DefineID = 16;
constexpr std::uint32_t dwOffset = 20;
constexpr std::uint32_t dwSizeOrType = 24;
constexpr std::uint32_t fEpsilon = 28;
constexpr std::uint32_t DatumID = 32;
}  // namespace add_to_client_data_definition

namespace request_client_data {
constexpr std::uint32_t ClientDataID = 16;
constexpr std::uint32_t RequestID = 20;
constexpr std::uint32_t DefineID = 24;
constexpr std::uint32_t Period = 28;
constexpr std::uint32_t Flags = 32;
constexpr std::uint32_t origin = 36;
constexpr std::uint32_t interval = 40;
constexpr std::uint32_t limit = 44;
}  // namespace request_client_data

namespace set_client_data {
constexpr std::uint32_t ClientDataID = 16;
constexpr std::uint32_t DefineID = 20;
constexpr std::uint32_t Flags = 24;
constexpr std::uint32_t dwReserved = 28;
constexpr std::uint32_t cbUnitSize = 32;
constexpr std::uint32_t data = 36;
}  // namespace set_client_data

}  // namespace request_layout
