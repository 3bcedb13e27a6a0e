// The USB-serial bridge between a board's UART and the host: it does not pass each byte on
// as it comes, but in USB packets, at moments of its own. That is what splits the panels'
// frames across the service's reads on a real cockpit.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace boardsim {

enum class BridgeModel {
    direct,  // every byte at once, as a pseudo-terminal alone would
    u16u2,   // an Uno's or Mega's ATmega16U2: what came is sent about every 4 ms
    ftdi,    // an FTDI FT232R: 62-byte packets, a short one when its 16 ms latency timer runs out
    ch340,   // a CH340 (Nano clones): 32-byte packets, a short one once the line goes quiet
};

std::optional<BridgeModel> bridgeFromName(std::string_view name);
std::string_view bridgeName(BridgeModel model);

class UsbBridge {
public:
    using Clock = std::chrono::steady_clock;

    explicit UsbBridge(BridgeModel model) : model_(model) {}
    BridgeModel model() const { return model_; }
    // Takes the bytes the UART sent by `now` and gives those the bridge hands the host now.
    std::vector<std::uint8_t> pass(const std::vector<std::uint8_t>& sent, Clock::time_point now);

private:
    std::vector<std::uint8_t> release(std::size_t count);

    BridgeModel model_;
    std::vector<std::uint8_t> held_;
    Clock::time_point lastIn_{};
    Clock::time_point nextTick_{};
};

}  // namespace boardsim
