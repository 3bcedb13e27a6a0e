#include "monitor/link_probe.h"

#include <utility>

#include "monitor/rack_probe.h"

namespace monitor {

void LinkProbe::connected(std::string endpoint) {
    const auto now = nowMillis();
    const std::lock_guard hold(lock_);
    record_.endpoint = std::move(endpoint);
    record_.connected = true;
    record_.connectedSinceMs = now;
}

void LinkProbe::disconnected() {
    const std::lock_guard hold(lock_);
    record_.connected = false;
}

void LinkProbe::messageIn() {
    const std::lock_guard hold(lock_);
    ++record_.messagesIn;
}

void LinkProbe::requestOut(std::uint32_t sendId, const char* function) {
    const std::lock_guard hold(lock_);
    ++record_.requestsOut;
    requests_[nextRequest_] = {sendId, function};
    nextRequest_ = (nextRequest_ + 1) % kRememberedRequests;
}

void LinkProbe::exception(std::uint32_t exception, std::uint32_t sendId, std::uint32_t index) {
    const auto now = nowMillis();
    const std::lock_guard hold(lock_);
    LinkException noted{now, exception, sendId, index, {}};
    for (const Request& request : requests_)
        if (request.function != nullptr && request.sendId == sendId) noted.request = request.function;
    if (record_.exceptions.size() == kKeptExceptions)
        record_.exceptions.erase(record_.exceptions.begin());
    record_.exceptions.push_back(std::move(noted));
}

LinkRecord LinkProbe::copy() const {
    const std::lock_guard hold(lock_);
    return record_;
}

}  // namespace monitor
