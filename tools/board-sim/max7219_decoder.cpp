#include "board-sim/max7219_decoder.h"

namespace boardsim {

namespace {

constexpr std::uint8_t digitRegister0 = 0x01;
constexpr std::uint8_t scanLimitRegister = 0x0B;
constexpr std::uint8_t shutdownRegister = 0x0C;
constexpr std::uint8_t testRegister = 0x0F;
constexpr std::uint8_t dp = 0x80;

}  // namespace

Max7219Decoder::Max7219Decoder(std::size_t chips) : chips_(chips), shift_(16 * chips, false) {}

void Max7219Decoder::clk(bool level) {
    if (level && !clk_) {
        shift_.pop_back();
        shift_.insert(shift_.begin(), din_);
    }
    clk_ = level;
}

void Max7219Decoder::load(bool level) {
    if (level && !load_) {
        // The last driver in the chain holds the bits that went in first.
        for (std::size_t chip = 0; chip < chips_.size(); ++chip) {
            std::uint16_t word = 0;
            for (std::size_t bit = 0; bit < 16; ++bit)
                if (shift_[16 * chip + bit]) word |= static_cast<std::uint16_t>(1u << bit);
            latch(chips_[chip], word);
        }
        ++latches_;
    }
    load_ = level;
}

void Max7219Decoder::latch(Chip& chip, std::uint16_t word) {
    const std::uint8_t reg = (word >> 8) & 0x0F;
    const auto data = static_cast<std::uint8_t>(word & 0xFF);
    if (reg >= digitRegister0 && reg < digitRegister0 + 8) chip.digits[reg - digitRegister0] = data;
    if (reg == shutdownRegister) chip.on = (data & 1) != 0;
    if (reg == testRegister) chip.test = (data & 1) != 0;
    if (reg == scanLimitRegister) chip.scanLimit = data & 7;
}

std::uint8_t Max7219Decoder::shown(std::size_t chip, std::size_t digit) const {
    const Chip& c = chips_.at(chip);
    if (c.test) return 0xFF;
    if (!c.on || digit > c.scanLimit) return 0;
    return c.digits.at(digit);
}

std::string segmentText(std::uint8_t segments) {
    static constexpr std::uint8_t digits[10] = {0x7E, 0x30, 0x6D, 0x79, 0x33, 0x5B, 0x5F, 0x70, 0x7F, 0x7B};
    const std::uint8_t shape = segments & ~dp;
    char c = '?';
    if (shape == 0) c = ' ';
    if (shape == 0x01) c = '-';
    for (int d = 0; d < 10; ++d)
        if (shape == digits[d]) c = static_cast<char>('0' + d);
    std::string text(1, c);
    if ((segments & dp) != 0) text += '.';
    return text;
}

}  // namespace boardsim
