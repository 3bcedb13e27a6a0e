// A client's bytes, in arbitrary pieces, through the simulator stand-in: cut into requests,
// decoded by their layouts, checked, answered; and the time moving on between pieces.
#include <fuzzer/FuzzedDataProvider.h>

#include <sstream>

#include "sim-standin/server/simulator.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const auto start = standin::Clock::now();
    standin::RequestLog log(start);
    std::ostringstream console;
    standin::Simulator simulator({}, log, console, start);
    const std::uint32_t session = simulator.connect("pipe", start);
    auto now = start;
    while (input.remaining_bytes() > 0 && simulator.closeReason(session).empty()) {
        now += std::chrono::milliseconds(input.ConsumeIntegralInRange(0, 2000));
        const auto piece = input.ConsumeBytes<std::uint8_t>(input.ConsumeIntegralInRange(0, 1024));
        simulator.receive(session, piece.data(), piece.size(), now);
        simulator.advance(now);
        simulator.takeOutput(session);
    }
    return 0;
}
