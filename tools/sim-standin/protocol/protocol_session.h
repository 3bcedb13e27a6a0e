// One client's conversation with the simulator: its mapped events, subscriptions, data
// definitions, client-data names and standing requests. It checks each request (size,
// ids, names), answers it or rejects it with an exception that carries its dwSendID, and
// sends the data that standing requests call for.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "sim-standin/protocol/companion_module.h"
#include "sim-standin/protocol/data_definitions.h"
#include "sim-standin/protocol/recv_messages.h"
#include "sim-standin/protocol/request_decoder.h"
#include "sim-standin/model/request_log.h"
#include "sim-standin/protocol/request_schedule.h"
#include "sim-standin/model/sim_events.h"

namespace standin {

struct SessionRules {
    OpenAnswer openAnswer;
    std::vector<std::string> rejectedNames;  // answered with NAME_UNRECOGNIZED
    // A silent simulator reads every request and answers none; only its quit goes out.
    bool silent = false;
};

// What all sessions share: the aircraft, the companion's areas and the flight's state.
struct SimWorld {
    AircraftModel model;
    CompanionModule companion{model};
    SessionRules rules;
    bool flightStarted = true;
};

class ProtocolSession {
public:
    ProtocolSession(std::uint32_t id, SimWorld& world, RequestLog& log);

    // One whole request, as the framing cut it (at least its 16-byte header).
    void handle(const Bytes& request, Clock::time_point now);
    // Sends what is due: SimStart once the flight has started, and the data of standing
    // requests. Called after anything that may have changed the world.
    void refresh(Clock::time_point now);
    // When the next send falls due if nothing changes meanwhile.
    std::optional<Clock::time_point> nextDue() const;
    void sendQuit(Clock::time_point now);
    // The first part of a message whose rest never comes: for a connection about to break.
    void sendCutMessage(Clock::time_point now);

    Bytes takeOutput();

private:
    struct Rejection {
        std::uint32_t exception;
        std::uint32_t index;
    };
    using Verdict = std::optional<Rejection>;

    struct ObjectRequest {
        std::uint32_t defineId;
        std::uint32_t objectId;
        std::uint32_t flags;
        RequestSchedule schedule;
        std::optional<std::vector<double>> last;
    };
    struct ClientRequest {
        std::uint32_t areaId;
        std::uint32_t defineId;
        std::uint32_t flags;
        RequestSchedule schedule;
        std::optional<Bytes> last;
        std::uint64_t seenWrites = 0;
    };
    struct MappedEvent {
        std::string name;
        const SimEventInfo* known;  // null for an event of the client's own
    };
    struct Subscription {
        std::string name;
        bool sent = false;
    };

    static Verdict reject(std::uint32_t exception, std::uint32_t index);

    Verdict dispatch(std::uint32_t number, const RequestView& request, Json& fields,
                     Clock::time_point now);
    Verdict onOpen();
    Verdict onMapClientEvent(const RequestView& request);
    Verdict onTransmitClientEvent(const RequestView& request, Json& fields);
    Verdict onAddToDataDefinition(const RequestView& request);
    Verdict onRequestData(const RequestView& request, Clock::time_point now);
    Verdict onSetData(const RequestView& request, Json& fields);
    Verdict onSubscribe(const RequestView& request);
    Verdict onMapClientDataName(const RequestView& request);
    Verdict onAddToClientDataDefinition(const RequestView& request);
    Verdict onRequestClientData(const RequestView& request, Clock::time_point now);
    Verdict onSetClientData(const RequestView& request, Json& fields);

    bool rejected(const std::string& name) const;
    bool eventIdTaken(std::uint32_t eventId) const;
    const std::size_t* areaIndex(std::uint32_t clientDataId) const;

    void sendSimStart(Clock::time_point now);
    void sendObjectData(Clock::time_point now);
    void sendClientData(Clock::time_point now);
    void emit(Bytes message, std::string_view name, Json fields, Clock::time_point now,
              bool evenWhenSilent = false);

    std::uint32_t id_;
    SimWorld& world_;
    RequestLog& log_;
    bool opened_ = false;
    bool answerOpen_ = false;
    std::size_t entries_ = 0;  // everything the client has declared, against a flood
    Bytes output_;

    std::map<std::uint32_t, MappedEvent> events_;
    std::map<std::uint32_t, Subscription> subscriptions_;
    std::map<std::uint32_t, DataDefinition> definitions_;
    std::map<std::uint32_t, ObjectRequest> objectRequests_;
    std::map<std::uint32_t, std::size_t> areas_;
    std::map<std::uint32_t, ClientDataDefinition> clientDefinitions_;
    std::map<std::uint32_t, ClientRequest> clientRequests_;
};

}  // namespace standin
