// How the main thread learns that the simulator's messages arrived: the event handed to
// SimConnect_Open, which the client library signals once per message and once for the
// failure that ends the connection. The main thread sleeps on it between dispatch calls
// instead of polling.
#pragma once

#include <chrono>
#include <memory>

#include "simconnect/SimConnect.h"

class MessageSignal {
public:
    MessageSignal();
    ~MessageSignal();
    MessageSignal(const MessageSignal&) = delete;
    MessageSignal& operator=(const MessageSignal&) = delete;

    // The event to give SimConnect_Open. It outlives the connection: close it first.
    HANDLE eventHandle() const;
    // Waits until the event is signalled (a signal that came since the last wait counts)
    // or `limit` has passed; the signal is taken.
    void wait(std::chrono::milliseconds limit);

private:
    struct Event;
    std::unique_ptr<Event> event_;
};
