// POSIX: the library tells its notification sink; the event is this object's address,
// and the sink wakes whoever waits on it.
#include "app/message_signal.h"
#include "base/mutex.h"
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
        MutexLock hold(lock);
        signalled = true;
        changed.notifyAll();
    }

    NotificationSink* const previous;
    Mutex lock;
    CondVar changed;
    bool signalled GUARDED_BY(lock) = false;
};

MessageSignal::MessageSignal() : event_(std::make_unique<Event>()) {}

MessageSignal::~MessageSignal() = default;

HANDLE MessageSignal::eventHandle() const {
    return event_.get();
}

void MessageSignal::wait(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    Event& event = *event_;
    MutexLock hold(event.lock);
    while (!event.signalled && event.changed.waitUntil(event.lock, deadline)) {
    }
    event.signalled = false;
}
