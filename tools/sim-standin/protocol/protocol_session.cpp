#include "sim-standin/protocol/protocol_session.h"

#include <algorithm>

#include "simconnect/SimConnect.h"
#include "sim-standin/model/cockpit_vars.h"

namespace standin {
namespace {

namespace rl = request_layout;

// Ids, names and datums a client may declare; more are refused, so that a flood of
// declarations cannot exhaust the stand-in's memory.
constexpr std::size_t kMaxEntries = 2000;
constexpr std::uint32_t kNoIndex = SIMCONNECT_UNUSED;

Json dataFields(const DataMessageFields& fields) {
    return Json{{"dwRequestID", fields.requestId},
                {"dwObjectID", fields.objectId},
                {"dwDefineID", fields.defineId},
                {"dwFlags", fields.flags},
                {"dwentrynumber", 1},
                {"dwoutof", 1},
                {"dwDefineCount", fields.defineCount}};
}

Json openFields(const OpenAnswer& answer) {
    const VersionQuad& app = answer.application;
    const VersionQuad& sc = answer.simConnect;
    return Json{{"szApplicationName", answer.applicationName},
                {"dwApplicationVersionMajor", app.major},
                {"dwApplicationVersionMinor", app.minor},
                {"dwApplicationBuildMajor", app.buildMajor},
                {"dwApplicationBuildMinor", app.buildMinor},
                {"dwSimConnectVersionMajor", sc.major},
                {"dwSimConnectVersionMinor", sc.minor},
                {"dwSimConnectBuildMajor", sc.buildMajor},
                {"dwSimConnectBuildMinor", sc.buildMinor},
                {"dwReserved1", answer.reserved1},
                {"dwReserved2", 0}};
}

// The downlink block's slots by cockpit-variable name, as published (tenths).
Json downlinkSlots(const Bytes& block) {
    Json slots = Json::object();
    for (const CockpitVarInfo& cockpit : allCockpitVars()) {
        slots[std::string(cockpit.name)] =
            static_cast<std::int32_t>(LoadU32(&block[4 + cockpit.offset]));
    }
    return slots;
}

Json commandFields(const UplinkOutcome& outcome) {
    const UplinkCommand& command = outcome.command;
    Json fields{{"sequence", command.sequence}, {"kind", command.kind}, {"name", command.name}};
    if (command.kind == UplinkCommand::kSet) {
        fields["value"] = command.value();
        fields["raw"] = command.raw;
    }
    if (!command.terminated) fields["unterminated"] = true;
    fields["effect"] = outcome.effect;
    return fields;
}

std::optional<RequestSchedule> objectSchedule(std::uint32_t period, std::uint32_t flags,
                                              const RequestView& request, Clock::time_point now) {
    using K = RequestSchedule::Kind;
    namespace f = rl::request_data_on_sim_object;
    const bool changed = (flags & SIMCONNECT_DATA_REQUEST_FLAG_CHANGED) != 0;
    const auto make = [&](K kind, Clock::duration step) {
        return RequestSchedule(kind, step, request.u32(f::origin), request.u32(f::interval),
                               request.u32(f::limit), changed, now);
    };
    switch (period) {
        case SIMCONNECT_PERIOD_ONCE:
            return make(K::Once, {});
        case SIMCONNECT_PERIOD_VISUAL_FRAME:
        case SIMCONNECT_PERIOD_SIM_FRAME:
            return make(K::Periodic, RequestSchedule::kFrame);
        case SIMCONNECT_PERIOD_SECOND:
            return make(K::Periodic, std::chrono::seconds(1));
        default:
            return std::nullopt;
    }
}

std::optional<RequestSchedule> clientSchedule(std::uint32_t period, std::uint32_t flags,
                                              const RequestView& request, Clock::time_point now) {
    using K = RequestSchedule::Kind;
    namespace f = rl::request_client_data;
    const bool changed = (flags & SIMCONNECT_CLIENT_DATA_REQUEST_FLAG_CHANGED) != 0;
    const auto make = [&](K kind, Clock::duration step) {
        return RequestSchedule(kind, step, request.u32(f::origin), request.u32(f::interval),
                               request.u32(f::limit), changed, now);
    };
    switch (period) {
        case SIMCONNECT_CLIENT_DATA_PERIOD_ONCE:
            return make(K::Once, {});
        case SIMCONNECT_CLIENT_DATA_PERIOD_VISUAL_FRAME:
            return make(K::Periodic, RequestSchedule::kFrame);
        case SIMCONNECT_CLIENT_DATA_PERIOD_ON_SET:
            return make(K::OnSet, {});
        case SIMCONNECT_CLIENT_DATA_PERIOD_SECOND:
            return make(K::Periodic, std::chrono::seconds(1));
        default:
            return std::nullopt;
    }
}

}  // namespace

ProtocolSession::ProtocolSession(std::uint32_t id, SimWorld& world, RequestLog& log)
    : id_(id), world_(world), log_(log) {}

ProtocolSession::Verdict ProtocolSession::reject(std::uint32_t exception, std::uint32_t index) {
    return Rejection{exception, index};
}

void ProtocolSession::handle(const Bytes& bytes, Clock::time_point now) {
    const RequestView request(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    const RequestLayout* layout = findRequestLayout(request.dwID());
    Json fields = Json::object();
    Verdict verdict;
    if (layout == nullptr) {
        fields["dwID"] = request.dwID();
        verdict = reject(SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, kNoIndex);
    } else {
        fields = request.fields(*layout);
        if (!request.sizeFits(*layout)) {
            verdict = reject(SIMCONNECT_EXCEPTION_SIZE_MISMATCH, kNoIndex);
        } else if (!opened_ && layout->number != rl::kOpen) {
            verdict = reject(SIMCONNECT_EXCEPTION_UNOPENED, kNoIndex);
        } else {
            verdict = dispatch(layout->number, request, fields, now);
        }
    }
    const std::string_view name = layout != nullptr ? layout->name : "unknown";
    log_.request(now, id_, name, request.dwSendID(), request.dwSize(), std::move(fields),
                 verdict ? exceptionName(verdict->exception) : "");
    if (verdict) {
        emit(exceptionMessage(verdict->exception, request.dwSendID(), verdict->index), "EXCEPTION",
             Json{{"dwException", verdict->exception},
                  {"exception", exceptionName(verdict->exception)},
                  {"dwSendID", request.dwSendID()},
                  {"dwIndex", verdict->index}},
             now);
    } else if (answerOpen_) {
        answerOpen_ = false;
        emit(openMessage(world_.rules.openAnswer), "OPEN", openFields(world_.rules.openAnswer),
             now);
    }
}

ProtocolSession::Verdict ProtocolSession::dispatch(std::uint32_t number, const RequestView& request,
                                                   Json& fields, Clock::time_point now) {
    switch (number) {
        case rl::kOpen:
            return onOpen();
        case rl::kMapClientEventToSimEvent:
            return onMapClientEvent(request);
        case rl::kTransmitClientEvent:
            return onTransmitClientEvent(request, fields);
        case rl::kAddToDataDefinition:
            return onAddToDataDefinition(request);
        case rl::kRequestDataOnSimObject:
            return onRequestData(request, now);
        case rl::kSetDataOnSimObject:
            return onSetData(request, fields);
        case rl::kSubscribeToSystemEvent:
            return onSubscribe(request);
        case rl::kMapClientDataNameToID:
            return onMapClientDataName(request);
        case rl::kAddToClientDataDefinition:
            return onAddToClientDataDefinition(request);
        case rl::kRequestClientData:
            return onRequestClientData(request, now);
        case rl::kSetClientData:
            return onSetClientData(request, fields);
        default:
            return reject(SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, kNoIndex);
    }
}

ProtocolSession::Verdict ProtocolSession::onOpen() {
    // A connection opens once; a second OPEN would restart a conversation already under way.
    if (opened_) return reject(SIMCONNECT_EXCEPTION_ERROR, kNoIndex);
    opened_ = true;
    answerOpen_ = true;
    return std::nullopt;
}

ProtocolSession::Verdict ProtocolSession::onMapClientEvent(const RequestView& request) {
    namespace f = rl::map_client_event;
    const std::uint32_t eventId = request.u32(f::EventID);
    const std::string name = request.text(f::EventName);
    const SimEventInfo* event = rejected(name) ? nullptr : findSimEvent(name);
    if (event == nullptr && (rejected(name) || !isClientEventName(name))) {
        return reject(SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED, 2);
    }
    if (eventIdTaken(eventId)) return reject(SIMCONNECT_EXCEPTION_EVENT_ID_DUPLICATE, 1);
    if (entries_ >= kMaxEntries) return reject(SIMCONNECT_EXCEPTION_OUT_OF_BOUNDS, 1);
    events_[eventId] = MappedEvent{name, event};
    ++entries_;
    return std::nullopt;
}

ProtocolSession::Verdict ProtocolSession::onTransmitClientEvent(const RequestView& request,
                                                                Json& fields) {
    namespace f = rl::transmit_client_event;
    const auto mapped = events_.find(request.u32(f::EventID));
    if (mapped == events_.end()) return reject(SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, 2);
    const auto data = static_cast<std::int32_t>(request.u32(f::dwData));
    const MappedEvent& event = mapped->second;
    fields["event"] = event.known != nullptr ? std::string(event.known->name) : event.name;
    fields["data"] = data;
    if (request.u32(f::ObjectID) != SIMCONNECT_OBJECT_ID_USER) {
        return reject(SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, 1);
    }
    if (event.known != nullptr) event.known->apply(world_.model, data);
    return std::nullopt;
}

ProtocolSession::Verdict ProtocolSession::onAddToDataDefinition(const RequestView& request) {
    namespace f = rl::add_to_data_definition;
    const std::string datumName = request.text(f::DatumName);
    const std::string unitsName = request.text(f::UnitsName);
    const std::uint32_t type = request.u32(f::DatumType);
    const SimVarInfo* var = rejected(datumName) ? nullptr : findSimVar(datumName);
    if (var == nullptr) return reject(SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED, 2);
    const auto unit = rejected(unitsName) ? std::nullopt : findUnit(unitsName, var->quantity);
    if (!unit) return reject(SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED, 3);
    if (datumTypeSize(type) == 0) return reject(SIMCONNECT_EXCEPTION_OUT_OF_BOUNDS, 4);
    if (entries_ >= kMaxEntries) return reject(SIMCONNECT_EXCEPTION_OUT_OF_BOUNDS, 1);
    definitions_[request.u32(f::DefineID)].add(
        {datumName, var, *unit, type, request.f32(f::fEpsilon)});
    ++entries_;
    return std::nullopt;
}

ProtocolSession::Verdict ProtocolSession::onRequestData(const RequestView& request,
                                                        Clock::time_point now) {
    namespace f = rl::request_data_on_sim_object;
    const std::uint32_t requestId = request.u32(f::RequestID);
    const std::uint32_t defineId = request.u32(f::DefineID);
    const std::uint32_t objectId = request.u32(f::ObjectID);
    const std::uint32_t period = request.u32(f::Period);
    const std::uint32_t flags = request.u32(f::Flags);
    if (!definitions_.contains(defineId)) return reject(SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, 2);
    if (objectId != SIMCONNECT_OBJECT_ID_USER)
        return reject(SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, 3);
    if (period > SIMCONNECT_PERIOD_SECOND) return reject(SIMCONNECT_EXCEPTION_OUT_OF_BOUNDS, 4);
    if (period == SIMCONNECT_PERIOD_NEVER) {
        objectRequests_.erase(requestId);
        return std::nullopt;
    }
    if (!objectRequests_.contains(requestId)) {
        if (entries_ >= kMaxEntries) return reject(SIMCONNECT_EXCEPTION_OUT_OF_BOUNDS, 1);
        ++entries_;
    }
    objectRequests_.insert_or_assign(
        requestId,
        ObjectRequest{defineId, objectId, flags, *objectSchedule(period, flags, request, now), {}});
    return std::nullopt;
}

ProtocolSession::Verdict ProtocolSession::onSetData(const RequestView& request, Json& fields) {
    namespace f = rl::set_data_on_sim_object;
    const auto definition = definitions_.find(request.u32(f::DefineID));
    if (definition == definitions_.end()) return reject(SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, 1);
    if (request.u32(f::ObjectID) != SIMCONNECT_OBJECT_ID_USER) {
        return reject(SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, 2);
    }
    const DataDefinition& def = definition->second;
    const std::uint32_t unitSize = request.u32(f::cbUnitSize);
    if (unitSize != def.size()) return reject(SIMCONNECT_EXCEPTION_SIZE_MISMATCH, 5);
    // The size check made the data exactly count * unitSize bytes long; each element is
    // one write, the last one wins.
    const std::span<const std::uint8_t> data = request.tail(f::data);
    for (std::size_t at = 0; at + unitSize <= data.size(); at += unitSize) {
        const std::vector<double> values = def.decode(data.data() + at);
        def.store(world_.model, values);
        fields["values"] = def.describe(values);
    }
    return std::nullopt;
}

ProtocolSession::Verdict ProtocolSession::onSubscribe(const RequestView& request) {
    namespace f = rl::subscribe_to_system_event;
    const std::uint32_t eventId = request.u32(f::EventID);
    const std::string name = request.text(f::SystemEventName);
    if (rejected(name) || !isSystemEvent(name))
        return reject(SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED, 2);
    if (eventIdTaken(eventId)) return reject(SIMCONNECT_EXCEPTION_EVENT_ID_DUPLICATE, 1);
    if (entries_ >= kMaxEntries) return reject(SIMCONNECT_EXCEPTION_OUT_OF_BOUNDS, 1);
    subscriptions_[eventId] = Subscription{name};
    ++entries_;
    return std::nullopt;
}

ProtocolSession::Verdict ProtocolSession::onMapClientDataName(const RequestView& request) {
    namespace f = rl::map_client_data_name;
    const std::string name = request.text(f::szClientDataName);
    const std::uint32_t clientDataId = request.u32(f::ClientDataID);
    const auto index = rejected(name) ? std::nullopt : world_.companion.findArea(name);
    if (!index) return reject(SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED, 1);
    if (areas_.contains(clientDataId)) return reject(SIMCONNECT_EXCEPTION_DUPLICATE_ID, 2);
    if (entries_ >= kMaxEntries) return reject(SIMCONNECT_EXCEPTION_OUT_OF_BOUNDS, 2);
    areas_[clientDataId] = *index;
    ++entries_;
    return std::nullopt;
}

ProtocolSession::Verdict ProtocolSession::onAddToClientDataDefinition(const RequestView& request) {
    namespace f = rl::add_to_client_data_definition;
    const std::uint32_t offset = request.u32(f::dwOffset);
    const auto size = clientDatumSize(request.u32(f::dwSizeOrType));
    if (!size) return reject(SIMCONNECT_EXCEPTION_OUT_OF_BOUNDS, 3);
    if (offset > 65536) return reject(SIMCONNECT_EXCEPTION_OUT_OF_BOUNDS, 2);
    if (entries_ >= kMaxEntries) return reject(SIMCONNECT_EXCEPTION_OUT_OF_BOUNDS, 1);
    clientDefinitions_[request.u32(f::DefineID)].add({offset, *size});
    ++entries_;
    return std::nullopt;
}

ProtocolSession::Verdict ProtocolSession::onRequestClientData(const RequestView& request,
                                                              Clock::time_point now) {
    namespace f = rl::request_client_data;
    const std::uint32_t areaId = request.u32(f::ClientDataID);
    const std::uint32_t requestId = request.u32(f::RequestID);
    const std::uint32_t defineId = request.u32(f::DefineID);
    const std::uint32_t period = request.u32(f::Period);
    const std::uint32_t flags = request.u32(f::Flags);
    const std::size_t* index = areaIndex(areaId);
    if (index == nullptr) return reject(SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, 1);
    const auto definition = clientDefinitions_.find(defineId);
    if (definition == clientDefinitions_.end())
        return reject(SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, 3);
    if (definition->second.extent() > world_.companion.area(*index).bytes.size()) {
        return reject(SIMCONNECT_EXCEPTION_OUT_OF_BOUNDS, 3);
    }
    if (period > SIMCONNECT_CLIENT_DATA_PERIOD_SECOND)
        return reject(SIMCONNECT_EXCEPTION_OUT_OF_BOUNDS, 4);
    if (period == SIMCONNECT_CLIENT_DATA_PERIOD_NEVER) {
        clientRequests_.erase(requestId);
        return std::nullopt;
    }
    if (!clientRequests_.contains(requestId)) {
        if (entries_ >= kMaxEntries) return reject(SIMCONNECT_EXCEPTION_OUT_OF_BOUNDS, 2);
        ++entries_;
    }
    clientRequests_.insert_or_assign(
        requestId,
        ClientRequest{areaId, defineId, flags, *clientSchedule(period, flags, request, now), {}});
    return std::nullopt;
}

ProtocolSession::Verdict ProtocolSession::onSetClientData(const RequestView& request,
                                                          Json& fields) {
    namespace f = rl::set_client_data;
    const std::size_t* index = areaIndex(request.u32(f::ClientDataID));
    if (index == nullptr) return reject(SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, 1);
    const ClientDataArea& area = world_.companion.area(*index);
    fields["area"] = area.name;
    const auto definition = clientDefinitions_.find(request.u32(f::DefineID));
    if (definition == clientDefinitions_.end())
        return reject(SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, 2);
    const ClientDataDefinition& def = definition->second;
    if (request.u32(f::cbUnitSize) != def.size())
        return reject(SIMCONNECT_EXCEPTION_SIZE_MISMATCH, 5);
    if (def.extent() > area.bytes.size()) return reject(SIMCONNECT_EXCEPTION_OUT_OF_BOUNDS, 2);
    // The companion publishes the downlink; clients only read it.
    if (area.readOnly) return reject(SIMCONNECT_EXCEPTION_ERROR, 1);
    Bytes content = area.bytes;
    def.insert(content, request.tail(f::data).data());
    const auto outcome = world_.companion.writeArea(*index, content);
    if (outcome) {
        fields["command"] = commandFields(*outcome);
    } else {
        fields["data"] = hexText(request.tail(f::data));
    }
    return std::nullopt;
}

bool ProtocolSession::rejected(const std::string& name) const {
    const auto& names = world_.rules.rejectedNames;
    return std::any_of(names.begin(), names.end(),
                       [&](const std::string& r) { return sameName(r, name); });
}

bool ProtocolSession::eventIdTaken(std::uint32_t eventId) const {
    return events_.contains(eventId) || subscriptions_.contains(eventId);
}

const std::size_t* ProtocolSession::areaIndex(std::uint32_t clientDataId) const {
    const auto found = areas_.find(clientDataId);
    return found == areas_.end() ? nullptr : &found->second;
}

void ProtocolSession::refresh(Clock::time_point now) {
    if (!opened_) return;
    sendSimStart(now);
    sendObjectData(now);
    sendClientData(now);
}

void ProtocolSession::sendSimStart(Clock::time_point now) {
    if (!world_.flightStarted) return;
    for (auto& [eventId, subscription] : subscriptions_) {
        if (subscription.sent || !sameName(subscription.name, "SimStart")) continue;
        subscription.sent = true;
        emit(eventMessage(SIMCONNECT_UNUSED, eventId, 0), "EVENT",
             Json{{"uGroupID", SIMCONNECT_UNUSED},
                  {"uEventID", eventId},
                  {"dwData", 0},
                  {"event", "SimStart"}},
             now);
    }
}

void ProtocolSession::sendObjectData(Clock::time_point now) {
    for (auto it = objectRequests_.begin(); it != objectRequests_.end();) {
        ObjectRequest& request = it->second;
        const DataDefinition& def = definitions_.at(request.defineId);
        const std::vector<double> values = def.values(world_.model);
        const bool unchanged =
            request.schedule.changedOnly() && request.last && !def.differs(values, *request.last);
        if (!request.schedule.ready(now) || unchanged) {
            ++it;
            continue;
        }
        const DataMessageFields header{it->first, request.objectId, request.defineId, request.flags,
                                       static_cast<std::uint32_t>(def.count())};
        Json fields = dataFields(header);
        fields["values"] = def.describe(values);
        emit(dataMessage(SIMCONNECT_RECV_ID_SIMOBJECT_DATA, header, def.encode(values)),
             "SIMOBJECT_DATA", std::move(fields), now);
        request.last = values;
        request.schedule.sent(now);
        it = request.schedule.finished() ? objectRequests_.erase(it) : std::next(it);
    }
}

void ProtocolSession::sendClientData(Clock::time_point now) {
    for (auto it = clientRequests_.begin(); it != clientRequests_.end();) {
        ClientRequest& request = it->second;
        const ClientDataDefinition& def = clientDefinitions_.at(request.defineId);
        const ClientDataArea& area = world_.companion.area(*areaIndex(request.areaId));
        // A definition that grew past the area after the request can no longer be served.
        if (def.extent() > area.bytes.size()) {
            it = clientRequests_.erase(it);
            continue;
        }
        const bool written = area.writes != request.seenWrites;
        request.seenWrites = area.writes;
        const Bytes block = def.extract(area.bytes);
        const bool unchanged =
            request.schedule.changedOnly() && request.last && block == *request.last;
        const bool waiting = request.schedule.onSet() && request.last && !written;
        if (!request.schedule.ready(now) || unchanged || waiting) {
            ++it;
            continue;
        }
        const DataMessageFields header{it->first, 0, request.defineId, request.flags,
                                       static_cast<std::uint32_t>(def.count())};
        Json fields = dataFields(header);
        fields["area"] = area.name;
        // The whole downlink block is shown by slot; anything else as bytes.
        if (area.readOnly && def.count() == 1 && block.size() == area.bytes.size()) {
            fields["slots"] = downlinkSlots(block);
        } else {
            fields["data"] = hexText(block);
        }
        emit(dataMessage(SIMCONNECT_RECV_ID_CLIENT_DATA, header, block), "CLIENT_DATA",
             std::move(fields), now);
        request.last = block;
        request.schedule.sent(now);
        it = request.schedule.finished() ? clientRequests_.erase(it) : std::next(it);
    }
}

std::optional<Clock::time_point> ProtocolSession::nextDue() const {
    std::optional<Clock::time_point> due;
    const auto consider = [&due](Clock::time_point t) {
        if (!due || t < *due) due = t;
    };
    for (const auto& [requestId, request] : objectRequests_) {
        const DataDefinition& def = definitions_.at(request.defineId);
        const bool unchanged = request.schedule.changedOnly() && request.last &&
                               !def.differs(def.values(world_.model), *request.last);
        if (!unchanged) consider(request.schedule.next());
    }
    for (const auto& [requestId, request] : clientRequests_) {
        // Writes to an area come with a refresh of their own.
        if (request.schedule.onSet()) continue;
        const ClientDataArea& area = world_.companion.area(*areaIndex(request.areaId));
        const ClientDataDefinition& def = clientDefinitions_.at(request.defineId);
        const bool unchanged = request.schedule.changedOnly() && request.last &&
                               def.extent() <= area.bytes.size() &&
                               def.extract(area.bytes) == *request.last;
        if (!unchanged) consider(request.schedule.next());
    }
    return due;
}

void ProtocolSession::sendQuit(Clock::time_point now) {
    emit(quitMessage(), "QUIT", Json::object(), now, true);
}

void ProtocolSession::sendCutMessage(Clock::time_point now) {
    // The header and the exception number arrive, so a client that took the part for the
    // whole would act on it.
    constexpr std::uint32_t kError = 1;
    constexpr std::size_t kCutAt = 16;
    Bytes message = exceptionMessage(kError, 0, 0xFFFFFFFF);
    const std::size_t whole = message.size();
    message.resize(kCutAt);
    emit(std::move(message), "EXCEPTION",
         Json{{"dwException", kError}, {"exception", exceptionName(kError)}, {"cut_from", whole}}, now,
         true);
}

Bytes ProtocolSession::takeOutput() {
    Bytes out;
    out.swap(output_);
    return out;
}

void ProtocolSession::emit(Bytes message, std::string_view name, Json fields, Clock::time_point now,
                           bool evenWhenSilent) {
    if (world_.rules.silent && !evenWhenSilent) return;
    log_.message(now, id_, name, static_cast<std::uint32_t>(message.size()), std::move(fields));
    output_.insert(output_.end(), message.begin(), message.end());
}

}  // namespace standin
