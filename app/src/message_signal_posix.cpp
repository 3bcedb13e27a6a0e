// POSIX: the library tells its notification sink; the event is this object's address,
// and the sink wakes whoever waits on it.
#include <condition_variable>
#include <mutex>

#include "app/message_signal.h"
#include "simconnect/connection_watch.h"

struct MessageSignal::Event : NotificationSink {
    Event() : previous(SetNotificationSink(this)) {}
    ~Event() override { SetNotificationSink(previous); }

    void PostWindowMessage(HWND window, std::uint32_t message) override {
        if (previous != nullptr) previous->PostWindowMessage(window, message);
    }
    void SignalEvent(HANDLE event) override {
        if (event != this) {
            if (previous != nullptr) previous->SignalEvent(event);
            return;
        }
        std::lock_guard<std::mutex> guard(lock);
        signalled = true;
        changed.notify_one();
    }

    NotificationSink* const previous;
    std::mutex lock;
    std::condition_variable changed;
    bool signalled = false;
};

MessageSignal::MessageSignal() : event_(std::make_unique<Event>()) {}

MessageSignal::~MessageSignal() = default;

HANDLE MessageSignal::eventHandle() const {
    return event_.get();
}

void MessageSignal::wait(std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> guard(event_->lock);
    event_->changed.wait_for(guard, limit, [&] { return event_->signalled; });
    event_->signalled = false;
}
