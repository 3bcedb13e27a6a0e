// A panel rack's bytes, in arbitrary pieces (frames split across reads, noise and false
// starts among them), through the EFIS's or the FCU's frame reading and handling, with the
// displays written after each read from a cockpit-variable block and values that the
// dispatch callback stored; the simulator calls go through the client library to a
// session whose requests are read back.
#include <array>
#include <cstring>

#include "racks/serial_com_handler_autopilot.h"
#include "racks/serial_com_handler_efis.h"
#include "memory_line.h"
#include "recording_session.h"

namespace {

// A frame handed to the handling, however its bytes were split or preceded, is framed.
template <std::size_t Length>
void checkFramed(const std::array<std::uint8_t, Length>& frame) {
    if (frame.front() != '{' || frame.back() != '}') std::abort();
}

class Efis : public SerialCOMHandlerEfis {
public:
    using SerialCOMHandlerEfis::SerialCOMHandlerEfis;
    void serve(const fuzz::MemoryLine& line, std::uint64_t) {
        Selectors previous;
        while (!line.drained()) {
            if (readInputFrame()) {
                checkFramed(inputFrame);
                handleInputFrame(previous);
            }
            writeDisplays();
        }
    }
};

class Fcu : public SerialCOMHandlerAutopilot {
public:
    using SerialCOMHandlerAutopilot::SerialCOMHandlerAutopilot;
    void serve(const fuzz::MemoryLine& line, std::uint64_t repeatElapsed) {
        while (!line.drained()) {
            if (readInputFrame()) {
                checkFramed(inputFrame);
                handleInputFrame(repeatElapsed);
            }
            writeDisplays();
        }
    }
};

// The simulator's message of `id` and `request`, with `data` at the data offset.
void deliver(SimSession& session, DWORD id, DWORD request, const std::vector<std::uint8_t>& data) {
    std::vector<std::uint8_t> message(SIMCONNECT_RECV_DATA_OFFSET + data.size());
    const DWORD header[4] = {static_cast<DWORD>(message.size()), 5, id, request};
    std::memcpy(message.data(), header, sizeof header);
    std::copy(data.begin(), data.end(), message.begin() + SIMCONNECT_RECV_DATA_OFFSET);
    dispatchToSimSession(reinterpret_cast<SIMCONNECT_RECV*>(message.data()),
                         static_cast<DWORD>(message.size()), &session);
}

template <typename Panel>
void serve(fuzz::RecordingSession& sim, FuzzedDataProvider& input, std::uint64_t repeatElapsed) {
    auto owned = std::make_unique<fuzz::MemoryLine>(fuzz::linePieces(input, 2 * Panel::kInputFrameLength));
    const fuzz::MemoryLine& line = *owned;
    Panel panel(std::move(owned), "\\\\.\\fuzz", "panel_rack", &sim.session, &sim.rackMutex, &sim.stateLock);
    panel.serve(line, repeatElapsed);
    // Every display frame whole and framed.
    if (line.written.size() % Panel::kOutputFrameLength != 0) std::abort();
    for (std::size_t at = 0; at < line.written.size(); at += Panel::kOutputFrameLength)
        if (line.written[at] != '{' || line.written[at + Panel::kOutputFrameLength - 1] != '}') std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static fuzz::RecordingSession* const sim = new fuzz::RecordingSession;
    FuzzedDataProvider input(data, size);
    const auto flags = input.ConsumeIntegral<std::uint8_t>();
    deliver(sim->session, SIMCONNECT_RECV_ID_CLIENT_DATA, cockpit::kDownlinkRequestId,
            input.ConsumeBytes<std::uint8_t>(cockpit::kBlockSize));
    deliver(sim->session, SIMCONNECT_RECV_ID_SIMOBJECT_DATA, 4, input.ConsumeBytes<std::uint8_t>(16));
    deliver(sim->session, SIMCONNECT_RECV_ID_SIMOBJECT_DATA, 5, input.ConsumeBytes<std::uint8_t>(24));
    // Held switches repeat on one read in four.
    const std::uint64_t repeatElapsed = (flags & 6) == 0 ? 201 : 0;
    if ((flags & 1) != 0)
        serve<Fcu>(*sim, input, repeatElapsed);
    else
        serve<Efis>(*sim, input, repeatElapsed);
    sim->check();
    return 0;
}
