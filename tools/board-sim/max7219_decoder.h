// Reads a chain of MAX7219 display drivers from their three input lines, as the chips
// themselves do: DIN is shifted in on each rising edge of CLK, and on the rising edge of
// LOAD every driver takes the 16 bits that have reached it. Only the no-decode mode is
// modelled, which is what the racks' firmware uses.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace boardsim {

class Max7219Decoder {
public:
    explicit Max7219Decoder(std::size_t chips);

    void din(bool level) { din_ = level; }
    void clk(bool level);
    void load(bool level);

    // The segments a digit shows (bit 7 DP, bit 6 A ... bit 0 G): dark while the driver is
    // shut down, beyond its scan limit, or before anything was written.
    std::uint8_t shown(std::size_t chip, std::size_t digit) const;
    // Counts every latch, so that a reader can tell when the display may have changed.
    std::uint64_t latches() const { return latches_; }

private:
    struct Chip {
        std::array<std::uint8_t, 8> digits{};
        bool on = false;
        bool test = false;
        std::uint8_t scanLimit = 7;
    };
    void latch(Chip& chip, std::uint16_t word);

    std::vector<Chip> chips_;
    std::vector<bool> shift_;  // the bits in the chain, the newest first
    bool din_ = false;
    bool clk_ = false;
    bool load_ = true;
    std::uint64_t latches_ = 0;
};

// The character a seven-segment pattern reads as: digits, '-' and ' ', else '?'; a lit
// point adds a '.' after it.
std::string segmentText(std::uint8_t segments);

}  // namespace boardsim
