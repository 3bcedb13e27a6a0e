#include "board-sim/usb_bridge.h"

#include <algorithm>

namespace boardsim {

namespace {

using namespace std::chrono_literals;

struct ModelTiming {
    BridgeModel model;
    std::string_view name;
    std::size_t packet;                // a full packet goes at once
    std::chrono::microseconds period;  // what is held goes when this timer runs out
    bool packetRestartsTimer;          // the FTDI's latency timer starts again at each packet
    std::chrono::microseconds quiet;   // what is held goes once the line is quiet this long
};

constexpr ModelTiming kModels[] = {
    {BridgeModel::direct, "direct", 0, 0us, false, 0us},
    {BridgeModel::u16u2, "16u2", 64, 4000us, false, 0us},
    {BridgeModel::ftdi, "ftdi", 62, 16000us, true, 0us},
    {BridgeModel::ch340, "ch340", 32, 0us, false, 1000us},
};

const ModelTiming& timingOf(BridgeModel model) {
    return *std::find_if(std::begin(kModels), std::end(kModels), [&](const ModelTiming& t) { return t.model == model; });
}

}  // namespace

std::optional<BridgeModel> bridgeFromName(std::string_view name) {
    for (const ModelTiming& timing : kModels)
        if (timing.name == name) return timing.model;
    return std::nullopt;
}

std::string_view bridgeName(BridgeModel model) {
    return timingOf(model).name;
}

std::vector<std::uint8_t> UsbBridge::release(std::size_t count) {
    std::vector<std::uint8_t> out(held_.begin(), held_.begin() + static_cast<std::ptrdiff_t>(count));
    held_.erase(held_.begin(), held_.begin() + static_cast<std::ptrdiff_t>(count));
    return out;
}

std::vector<std::uint8_t> UsbBridge::pass(const std::vector<std::uint8_t>& sent, Clock::time_point now) {
    const ModelTiming& timing = timingOf(model_);
    held_.insert(held_.end(), sent.begin(), sent.end());
    if (!sent.empty()) lastIn_ = now;
    if (timing.packet == 0) return release(held_.size());
    std::vector<std::uint8_t> out;
    const auto take = [&](std::size_t count) {
        const std::vector<std::uint8_t> packet = release(count);
        out.insert(out.end(), packet.begin(), packet.end());
    };
    while (held_.size() >= timing.packet) {
        take(timing.packet);
        if (timing.packetRestartsTimer) nextTick_ = now + timing.period;
    }
    if (timing.period > 0us) {
        // The timer runs whether or not anything is held, so a frame's first byte meets
        // it at any point of its period.
        if (nextTick_ == Clock::time_point{}) nextTick_ = now + timing.period;
        bool ranOut = false;
        for (; now >= nextTick_; nextTick_ += timing.period) ranOut = true;
        if (ranOut) take(held_.size());
    } else if (now - lastIn_ >= timing.quiet) {
        take(held_.size());
    }
    return out;
}

}  // namespace boardsim
