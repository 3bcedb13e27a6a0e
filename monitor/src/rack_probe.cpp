#include "monitor/rack_probe.h"

#include <algorithm>
#include <chrono>
#include <utility>

namespace monitor {

namespace {

// A JSON error text or a message longer than this is cut: the page shows a line of it.
constexpr std::size_t kTextLimit = 512;

std::string_view cut(std::string_view text) {
    return text.substr(0, std::min(text.size(), kTextLimit));
}

}  // namespace

std::int64_t nowMillis() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

const char* rejectName(Reject reason) {
    switch (reason) {
        case Reject::firstByte:
            return "wrong first byte";
        case Reject::lastByte:
            return "wrong last byte";
        case Reject::incomplete:
            return "incomplete";
        case Reject::json:
            return "JSON error";
    }
    return "";
}

void RackProbe::identify(std::string name, std::string port) {
    const std::lock_guard hold(lock_);
    record_.name = std::move(name);
    record_.port = std::move(port);
}

void RackProbe::portState(bool open) {
    const std::lock_guard hold(lock_);
    if (open && !record_.open && everOpen_) ++record_.reopens;
    everOpen_ = everOpen_ || open;
    record_.open = open;
}

void RackProbe::bytesIn(std::size_t count) {
    const std::lock_guard hold(lock_);
    record_.bytesIn += count;
}

void RackProbe::bytesOut(std::size_t count) {
    const std::lock_guard hold(lock_);
    record_.bytesOut += count;
}

void RackProbe::goodText(std::string_view message) {
    const auto now = nowMillis();
    const std::lock_guard hold(lock_);
    ++record_.good;
    record_.lastInputText.assign(cut(message));
    record_.lastInputMs = now;
}

void RackProbe::goodFrame(const std::uint8_t* frame, std::size_t length) {
    const auto now = nowMillis();
    const std::lock_guard hold(lock_);
    ++record_.good;
    record_.lastInputFrame.assign(frame, frame + length);
    record_.lastInputMs = now;
}

void RackProbe::rejected(Reject reason, std::string_view detail) {
    const std::lock_guard hold(lock_);
    ++record_.rejected[static_cast<std::size_t>(reason)];
    if (reason == Reject::json) record_.lastJsonError.assign(cut(detail));
}

void RackProbe::output(const std::uint8_t* frame, std::size_t length) {
    const auto now = nowMillis();
    const std::lock_guard hold(lock_);
    record_.lastOutputFrame.assign(frame, frame + length);
    record_.lastOutputMs = now;
}

void RackProbe::sent(std::string_view name, int count, std::string_view detail) {
    const auto now = nowMillis();
    const std::lock_guard hold(lock_);
    auto counted = record_.sentCounts.find(name);
    if (counted == record_.sentCounts.end())
        counted = record_.sentCounts.emplace(std::string(name), 0).first;
    counted->second += static_cast<std::uint64_t>(count);
    // A ring: the slot after the newest holds the oldest once it is full.
    if (record_.recentSent.size() < kRecentSent) record_.recentSent.emplace_back();
    SentRecord& slot = record_.recentSent[nextRecent_];
    nextRecent_ = (nextRecent_ + 1) % kRecentSent;
    slot.sequence = ++sends_;
    slot.timeMs = now;
    slot.name.assign(name);
    slot.detail.assign(detail);
    slot.count = count;
}

RackRecord RackProbe::copy() const {
    RackRecord copied;
    std::size_t oldest = 0;
    {
        const std::lock_guard hold(lock_);
        copied = record_;
        oldest = copied.recentSent.size() < kRecentSent ? 0 : nextRecent_;
    }
    std::rotate(copied.recentSent.begin(),
                copied.recentSent.begin() + static_cast<std::ptrdiff_t>(oldest),
                copied.recentSent.end());
    return copied;
}

}  // namespace monitor
