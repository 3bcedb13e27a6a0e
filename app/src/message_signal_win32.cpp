// Windows: an auto-reset event, which the library sets with SetEvent.
#include <windows.h>

#include "app/message_signal.h"

struct MessageSignal::Event {
    // A service without its event would still dispatch, at each time-out.
    HANDLE handle = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    ~Event() {
        if (handle != nullptr) CloseHandle(handle);
    }
};

MessageSignal::MessageSignal() : event_(std::make_unique<Event>()) {}

MessageSignal::~MessageSignal() = default;

HANDLE MessageSignal::eventHandle() const {
    return event_->handle;
}

void MessageSignal::wait(std::chrono::milliseconds limit) {
    if (event_->handle == nullptr) {
        Sleep(static_cast<DWORD>(limit.count()));
        return;
    }
    WaitForSingleObject(event_->handle, static_cast<DWORD>(limit.count()));
}
