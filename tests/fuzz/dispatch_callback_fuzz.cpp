// Arbitrary received messages of any length through the dispatch callback, as the main
// thread's dispatch hands them over.
#include <cstring>
#include <memory>

#include "app/sim_session.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static StateLock stateLock;
    static RackMutex rackMutex;
    static SimSession* const session = [] {
        auto* made = new SimSession(&stateLock, &rackMutex);
        made->registerCockpitVars();
        return made;
    }();
    // A block of the message's own size, so that any read past it is caught.
    const auto message = std::make_unique<std::uint8_t[]>(size);
    if (size > 0) std::memcpy(message.get(), data, size);
    dispatchToSimSession(reinterpret_cast<SIMCONNECT_RECV*>(message.get()),
                         static_cast<DWORD>(size), session);
    return 0;
}
