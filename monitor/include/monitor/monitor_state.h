// The monitor's view of the running service as one JSON document: the simulator link,
// each rack, and the cockpit variables. Built on the monitor's thread from copies of the
// probes and of the simulator values; nothing here holds a lock a rack thread waits on
// for longer than that copy.
#pragma once

#include <cstdint>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

class SerialCOMHandlerBase;
class SimSession;

namespace monitor {

class MonitorState {
public:
    // `racks` outlive this; `session` too.
    MonitorState(const SimSession& session, std::vector<const SerialCOMHandlerBase*> racks);

    // The document now. The per-second rates are taken over the time since the rates
    // were last worked out, once at least a second has passed.
    nlohmann::json snapshot();

private:
    struct Rate {
        std::uint64_t lastCount = 0;
        std::int64_t lastMs = 0;
        double perSecond = 0.0;
        void update(std::uint64_t count, std::int64_t nowMs);
    };

    nlohmann::json linkState(std::int64_t nowMs);
    nlohmann::json rackState(const SerialCOMHandlerBase& rack) const;
    nlohmann::json variables() const;

    const SimSession& session_;
    std::vector<const SerialCOMHandlerBase*> racks_;
    Rate messagesIn_;
    Rate requestsOut_;
};

}  // namespace monitor
