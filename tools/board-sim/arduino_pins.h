// Where an Arduino pin number lands on the chip: the port letter and bit that the core's
// pin tables give it on the Uno (and Nano) and on the Mega 2560.
#pragma once

#include <cstdint>
#include <optional>

namespace boardsim {

enum class BoardModel { Uno, Mega };

struct PortPin {
    char port;  // 'A' ...
    std::uint8_t bit;
    bool operator==(const PortPin&) const = default;
};

std::optional<PortPin> portPin(BoardModel model, std::uint8_t arduinoPin);
const char* mcuName(BoardModel model);

}  // namespace boardsim
