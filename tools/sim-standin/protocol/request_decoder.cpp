#include "sim-standin/protocol/request_decoder.h"

#include <algorithm>
#include <array>

#include "sim-standin/protocol/wire_bytes.h"

namespace standin {
namespace {

namespace rl = request_layout;
using F = FieldType;

constexpr std::array<RequestField, 7> kOpenFields{{
    {"szName", rl::open::szName, F::Text},
    {"openReserved", rl::open::openReserved, F::U32},
    {"openTag", rl::open::openTag, F::Tag},
    {"versionMajor", rl::open::versionMajor, F::U32},
    {"versionMinor", rl::open::versionMinor, F::U32},
    {"buildMajor", rl::open::buildMajor, F::U32},
    {"buildMinor", rl::open::buildMinor, F::U32},
}};
constexpr std::array<RequestField, 2> kMapEventFields{{
    {"EventID", rl::map_client_event::EventID, F::U32},
    {"EventName", rl::map_client_event::EventName, F::Text},
}};
constexpr std::array<RequestField, 5> kTransmitFields{{
    {"ObjectID", rl::transmit_client_event::ObjectID, F::U32},
    {"EventID", rl::transmit_client_event::EventID, F::U32},
    {"dwData", rl::transmit_client_event::dwData, F::U32},
    {"GroupID", rl::transmit_client_event::GroupID, F::U32},
    {"Flags", rl::transmit_client_event::Flags, F::U32},
}};
constexpr std::array<RequestField, 6> kAddDatumFields{{
    {"DefineID", rl::add_to_data_definition::DefineID, F::U32},
    {"DatumName", rl::add_to_data_definition::DatumName, F::Text},
    {"UnitsName", rl::add_to_data_definition::UnitsName, F::Text},
    {"DatumType", rl::add_to_data_definition::DatumType, F::U32},
    {"fEpsilon", rl::add_to_data_definition::fEpsilon, F::F32},
    {"DatumID", rl::add_to_data_definition::DatumID, F::U32},
}};
constexpr std::array<RequestField, 8> kRequestDataFields{{
    {"RequestID", rl::request_data_on_sim_object::RequestID, F::U32},
    {"DefineID", rl::request_data_on_sim_object::DefineID, F::U32},
    {"ObjectID", rl::request_data_on_sim_object::ObjectID, F::U32},
    {"Period", rl::request_data_on_sim_object::Period, F::U32},
    {"Flags", rl::request_data_on_sim_object::Flags, F::U32},
    {"origin", rl::request_data_on_sim_object::origin, F::U32},
    {"interval", rl::request_data_on_sim_object::interval, F::U32},
    {"limit", rl::request_data_on_sim_object::limit, F::U32},
}};
constexpr std::array<RequestField, 5> kSetDataFields{{
    {"DefineID", rl::set_data_on_sim_object::DefineID, F::U32},
    {"ObjectID", rl::set_data_on_sim_object::ObjectID, F::U32},
    {"Flags", rl::set_data_on_sim_object::Flags, F::U32},
    {"ArrayCount", rl::set_data_on_sim_object::ArrayCount, F::U32},
    {"cbUnitSize", rl::set_data_on_sim_object::cbUnitSize, F::U32},
}};
constexpr std::array<RequestField, 2> kSubscribeFields{{
    {"EventID", rl::subscribe_to_system_event::EventID, F::U32},
    {"SystemEventName", rl::subscribe_to_system_event::SystemEventName, F::Text},
}};
constexpr std::array<RequestField, 2> kMapDataNameFields{{
    {"szClientDataName", rl::map_client_data_name::szClientDataName, F::Text},
    {"ClientDataID", rl::map_client_data_name::ClientDataID, F::U32},
}};
constexpr std::array<RequestField, 5> kAddClientDatumFields{{
    {"DefineID", rl::add_to_client_data_definition::DefineID, F::U32},
    {"dwOffset", rl::add_to_client_data_definition::dwOffset, F::U32},
    {"dwSizeOrType", rl::add_to_client_data_definition::dwSizeOrType, F::U32},
    {"fEpsilon", rl::add_to_client_data_definition::fEpsilon, F::F32},
    {"DatumID", rl::add_to_client_data_definition::DatumID, F::U32},
}};
constexpr std::array<RequestField, 8> kRequestClientDataFields{{
    {"ClientDataID", rl::request_client_data::ClientDataID, F::U32},
    {"RequestID", rl::request_client_data::RequestID, F::U32},
    {"DefineID", rl::request_client_data::DefineID, F::U32},
    {"Period", rl::request_client_data::Period, F::U32},
    {"Flags", rl::request_client_data::Flags, F::U32},
    {"origin", rl::request_client_data::origin, F::U32},
    {"interval", rl::request_client_data::interval, F::U32},
    {"limit", rl::request_client_data::limit, F::U32},
}};
constexpr std::array<RequestField, 5> kSetClientDataFields{{
    {"ClientDataID", rl::set_client_data::ClientDataID, F::U32},
    {"DefineID", rl::set_client_data::DefineID, F::U32},
    {"Flags", rl::set_client_data::Flags, F::U32},
    {"dwReserved", rl::set_client_data::dwReserved, F::U32},
    {"cbUnitSize", rl::set_client_data::cbUnitSize, F::U32},
}};

const std::array<RequestLayout, 11> kRequests{{
    {rl::kOpen, "Open", rl::kOpenSize, false, kOpenFields},
    {rl::kMapClientEventToSimEvent, "MapClientEventToSimEvent", rl::kMapClientEventToSimEventSize,
     false, kMapEventFields},
    {rl::kTransmitClientEvent, "TransmitClientEvent", rl::kTransmitClientEventSize, false,
     kTransmitFields},
    {rl::kAddToDataDefinition, "AddToDataDefinition", rl::kAddToDataDefinitionSize, false,
     kAddDatumFields},
    {rl::kRequestDataOnSimObject, "RequestDataOnSimObject", rl::kRequestDataOnSimObjectSize, false,
     kRequestDataFields},
    {rl::kSetDataOnSimObject, "SetDataOnSimObject", rl::kDataBlockBodySize, true, kSetDataFields},
    {rl::kSubscribeToSystemEvent, "SubscribeToSystemEvent", rl::kSubscribeToSystemEventSize, false,
     kSubscribeFields},
    {rl::kMapClientDataNameToID, "MapClientDataNameToID", rl::kMapClientDataNameToIDSize, false,
     kMapDataNameFields},
    {rl::kAddToClientDataDefinition, "AddToClientDataDefinition",
     rl::kAddToClientDataDefinitionSize, false, kAddClientDatumFields},
    {rl::kRequestClientData, "RequestClientData", rl::kRequestClientDataSize, false,
     kRequestClientDataFields},
    {rl::kSetClientData, "SetClientData", rl::kDataBlockBodySize, true, kSetClientDataFields},
}};

}  // namespace

const RequestLayout* findRequestLayout(std::uint32_t dwID) {
    for (const RequestLayout& layout : kRequests) {
        if (dwID == rl::kIdBase + layout.number) return &layout;
    }
    return nullptr;
}

std::uint32_t RequestView::u32(std::uint32_t offset) const {
    return static_cast<std::uint64_t>(offset) + 4 <= size_ ? LoadU32(bytes_ + offset) : 0;
}

float RequestView::f32(std::uint32_t offset) const {
    return static_cast<std::uint64_t>(offset) + 4 <= size_ ? LoadF32(bytes_ + offset) : 0.0f;
}

std::string RequestView::text(std::uint32_t offset) const {
    if (offset >= size_) return {};
    const std::uint32_t limit = std::min<std::uint32_t>(size_ - offset, rl::kTextSize);
    const char* start = reinterpret_cast<const char*>(bytes_ + offset);
    std::uint32_t length = 0;
    while (length < limit && start[length] != '\0') ++length;
    return std::string(start, length);
}

std::span<const std::uint8_t> RequestView::tail(std::uint32_t offset) const {
    if (offset >= size_) return {};
    return {bytes_ + offset, size_ - offset};
}

std::uint64_t RequestView::expectedSize(const RequestLayout& layout) const {
    if (!layout.dataBlock) return layout.fixedSize;
    if (layout.number == rl::kSetClientData) {
        return std::uint64_t{layout.fixedSize} + u32(rl::set_client_data::cbUnitSize);
    }
    // A count of 0 means one element, as the client sends it.
    const std::uint64_t count =
        std::max<std::uint32_t>(u32(rl::set_data_on_sim_object::ArrayCount), 1);
    return layout.fixedSize + count * u32(rl::set_data_on_sim_object::cbUnitSize);
}

nlohmann::ordered_json RequestView::fields(const RequestLayout& layout) const {
    nlohmann::ordered_json out = nlohmann::ordered_json::object();
    for (const RequestField& field : layout.fields) {
        const std::uint32_t width = field.type == F::Text ? 1 : 4;
        if (static_cast<std::uint64_t>(field.offset) + width > size_) continue;
        switch (field.type) {
            case F::U32:
                out[std::string(field.name)] = u32(field.offset);
                break;
            case F::F32:
                out[std::string(field.name)] = f32(field.offset);
                break;
            case F::Text:
                out[std::string(field.name)] = text(field.offset);
                break;
            case F::Tag:
                out[std::string(field.name)] = hexText({bytes_ + field.offset, 4});
                break;
        }
    }
    return out;
}

std::string hexText(std::span<const std::uint8_t> bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (std::uint8_t byte : bytes) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 15];
    }
    return text;
}

}  // namespace standin
