#include "monitor/monitor_state.h"

#include <cmath>
#include <utility>

#include "app/sim_session.h"
#include "monitor/link_probe.h"
#include "monitor/rack_probe.h"
#include "panel_fields.h"
#include "racks/serial_com_handler_base.h"

namespace monitor {

namespace {

using nlohmann::json;

constexpr std::int64_t kRateWindowMs = 1000;

// The exception codes the simulator sends, by the names its documentation gives them.
const char* exceptionName(std::uint32_t code) {
    switch (code) {
        case 0:
            return "NONE";
        case 1:
            return "ERROR";
        case 2:
            return "SIZE_MISMATCH";
        case 3:
            return "UNRECOGNIZED_ID";
        case 4:
            return "UNOPENED";
        case 5:
            return "VERSION_MISMATCH";
        case 7:
            return "NAME_UNRECOGNIZED";
        case 9:
            return "EVENT_ID_DUPLICATE";
        case 29:
            return "DUPLICATE_ID";
        case 31:
            return "OUT_OF_BOUNDS";
        default:
            return "";
    }
}

double rounded(double value) {
    return std::round(value * 10.0) / 10.0;
}

}  // namespace

MonitorState::MonitorState(const SimSession& session, std::vector<const SerialCOMHandlerBase*> racks)
    : session_(session), racks_(std::move(racks)) {
    // The first rates are then those since the monitor started.
    const LinkRecord link = session_.link.copy();
    const std::int64_t now = nowMillis();
    messagesIn_.update(link.messagesIn, now);
    requestsOut_.update(link.requestsOut, now);
}

void MonitorState::Rate::update(std::uint64_t count, std::int64_t nowMs) {
    if (lastMs == 0) {
        lastCount = count;
        lastMs = nowMs;
        return;
    }
    const std::int64_t elapsed = nowMs - lastMs;
    if (elapsed < kRateWindowMs) return;
    perSecond = rounded(static_cast<double>(count - lastCount) * 1000.0 / static_cast<double>(elapsed));
    lastCount = count;
    lastMs = nowMs;
}

json MonitorState::snapshot() {
    const std::int64_t now = nowMillis();
    json racks = json::object();
    for (const SerialCOMHandlerBase* rack : racks_) racks[rack->getRackName()] = rackState(*rack);
    return {{"link", linkState(now)}, {"racks", std::move(racks)}, {"variables", variables()}};
}

json MonitorState::linkState(std::int64_t nowMs) {
    const LinkRecord link = session_.link.copy();
    messagesIn_.update(link.messagesIn, nowMs);
    requestsOut_.update(link.requestsOut, nowMs);
    json exceptions = json::array();
    for (const LinkException& e : link.exceptions)
        exceptions.push_back({{"time", e.timeMs},
                              {"exception", e.exception},
                              {"name", exceptionName(e.exception)},
                              {"sendId", e.sendId},
                              {"index", e.index},
                              {"request", e.request}});
    return {{"endpoint", link.endpoint},
            {"connected", link.connected},
            {"connectedSince", link.connectedSinceMs},
            {"messagesIn", link.messagesIn},
            {"requestsOut", link.requestsOut},
            {"messagesPerSecond", messagesIn_.perSecond},
            {"requestsPerSecond", requestsOut_.perSecond},
            {"exceptions", std::move(exceptions)}};
}

json MonitorState::rackState(const SerialCOMHandlerBase& rack) const {
    const RackRecord record = rack.probe().copy();
    const RackKind kind = rackKindOf(record.name);
    json rejected = json::object();
    for (std::size_t reason = 0; reason < kRejectKinds; ++reason)
        rejected[rejectName(static_cast<Reject>(reason))] = record.rejected[reason];
    json counts = json::object();
    for (const auto& [name, count] : record.sentCounts) counts[name] = count;
    // Keyed by the send's number, padded so that the keys sort as the numbers do: a new
    // send then changes the stream by one member in and one out, not by the whole list.
    json recent = json::object();
    for (const SentRecord& sent : record.recentSent) {
        std::string key = std::to_string(sent.sequence);
        key.insert(0, key.size() < 12 ? 12 - key.size() : 0, '0');
        recent[key] = {{"time", sent.timeMs}, {"name", sent.name}, {"detail", sent.detail},
                       {"count", sent.count}};
    }
    const bool text = kind == RackKind::joystick || kind == RackKind::pedals;
    return {{"kind", rackKindName(kind)},
            {"port", record.port},
            {"open", record.open},
            {"reopens", record.reopens},
            {"good", record.good},
            {"rejected", std::move(rejected)},
            {"jsonError", record.lastJsonError},
            {"bytesIn", record.bytesIn},
            {"bytesOut", record.bytesOut},
            {"inputTime", record.lastInputMs},
            {"input", text ? decodeInputText(kind, record.lastInputText)
                           : decodeInputFrame(kind, record.lastInputFrame)},
            {"outputTime", record.lastOutputMs},
            {"output", decodeOutputFrame(kind, record.lastOutputFrame)},
            {"sentCounts", std::move(counts)},
            {"recentSent", std::move(recent)}};
}

// The cockpit variables by name, in the units they are kept in (tenths shown
// as decimals), and the simulator values the panels are drawn from.
json MonitorState::variables() const {
    const SimState state = session_.readState();
    json values = json::object();
    values["KOHLSMAN SETTING MB"] = rounded(state.kohlsmanMb);
    values["AUTOPILOT FLIGHT DIRECTOR ACTIVE"] = state.flightDirectorActive;
    values["AUTOPILOT ALTITUDE LOCK VAR"] = rounded(state.apAltitudeLock);
    for (const cockpit::Slot& slot : cockpit::kSlots)
        values[slot.name] = state.readCockpitVarRaw(slot.name) / 10.0;
    return values;
}

}  // namespace monitor
