// A text rack's bytes, in arbitrary pieces, through the message reader and the joystick's
// or the pedals' handling of each message, as the rack's loop takes them; the simulator
// calls go through the client library to a session whose requests are read back.
#include <exception>

#include "racks/serial_com_handler_joystick.h"
#include "racks/serial_com_handler_pedals.h"
#include "memory_line.h"
#include "recording_session.h"

namespace {

template <typename Rack>
class TextRack : public Rack {
public:
    using Rack::Rack;

    // Message after message until the line hangs up; an error ends the rack, as in run.
    void serve() try {
        std::string body;
        while (this->readMessage(body)) {
            this->parseMessage(body);
            this->handleMessage();
        }
    } catch (const std::exception&) {
    }
};

template <typename Rack>
void serve(fuzz::RecordingSession& sim, std::unique_ptr<SerialLine> line) {
    TextRack<Rack>(std::move(line), "\\\\.\\fuzz", "text_rack", &sim.session, &sim.rackMutex,
                   &sim.stateLock)
        .serve();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static fuzz::RecordingSession* const sim = new fuzz::RecordingSession;
    FuzzedDataProvider input(data, size);
    const auto flags = input.ConsumeIntegral<std::uint8_t>();
    const bool pedals = (flags & 1) != 0;
    // Mostly the usual delimiters; now and then any pair that syntax_config.txt may name.
    char start = '{';
    char end = '}';
    if ((flags & 0xF0) == 0xF0) {
        start = input.ConsumeIntegral<char>();
        end = input.ConsumeIntegral<char>();
    }
    auto line = std::make_unique<fuzz::MemoryLine>(fuzz::linePieces(input, 64), start, end);
    if (pedals)
        serve<SerialCOMHandlerPedals>(*sim, std::move(line));
    else
        serve<SerialCOMHandlerJoystick>(*sim, std::move(line));
    sim->check();
    return 0;
}
