#include "board-sim/arduino_pins.h"

#include <array>
#include <string_view>

namespace boardsim {

namespace {

// Two characters a pin: the port letter and the bit, from pin 0 up.
constexpr std::string_view unoPins = "D0D1D2D3D4D5D6D7B0B1B2B3B4B5C0C1C2C3C4C5";
constexpr std::string_view megaPins =
    "E0E1E4E5G5E3H3H4H5H6B4B5B6B7J1J0H1H0D3D2D1D0A0A1A2A3A4A5A6A7C7C6C5C4C3C2C1C0D7G2G1G0L7L6L5L4"
    "L3L2L1L0B3B2B1B0F0F1F2F3F4F5F6F7K0K1K2K3K4K5K6K7";

}  // namespace

std::optional<PortPin> portPin(BoardModel model, std::uint8_t arduinoPin) {
    const std::string_view table = model == BoardModel::Uno ? unoPins : megaPins;
    const std::size_t at = 2u * arduinoPin;
    if (at + 1 >= table.size()) return std::nullopt;
    return PortPin{table[at], static_cast<std::uint8_t>(table[at + 1] - '0')};
}

const char* mcuName(BoardModel model) {
    return model == BoardModel::Uno ? "atmega328p" : "atmega2560";
}

}  // namespace boardsim
