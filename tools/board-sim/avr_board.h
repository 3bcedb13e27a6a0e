// One AVR microcontroller emulated by simavr and running a firmware ELF, seen from outside
// the chip: its clock, its pins, its ADC inputs and its UARTs.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <utility>
#include <span>
#include <string>
#include <vector>

#include "board-sim/arduino_pins.h"

struct avr_t;
struct avr_irq_t;

namespace boardsim {

class AvrBoard {
public:
    // Throws std::runtime_error when the ELF cannot be loaded.
    AvrBoard(BoardModel model, const std::string& elfPath);
    ~AvrBoard();
    AvrBoard(const AvrBoard&) = delete;
    AvrBoard& operator=(const AvrBoard&) = delete;

    // The board's clock: the chip's cycles, and the time it was held in reset.
    std::uint64_t cycle() const;
    std::uint64_t cyclesPerSecond() const { return frequency; }
    // Runs the firmware until the board's clock reaches `cycle`; false once it has crashed.
    bool runUntil(std::uint64_t cycle);
    // Resets the chip, as the USB bridge does when the host opens the port (DTR), and holds
    // its firmware for `heldCycles` (the bootloader's wait) before it starts anew. The
    // EEPROM keeps what it held; bytes that arrive meanwhile are lost.
    void reset(std::uint64_t heldCycles);
    // Runs `action` when the chip's clock reaches `cycle`: inputs that change later on.
    void at(std::uint64_t cycle, std::function<void()> action);

    // What the circuit outside does to a pin: high (an open contact on a pull-up) or low.
    void drivePin(PortPin pin, bool high);
    // The voltage on an ADC channel; each conversion sees it with up to `noiseMillivolts`
    // of noise either way.
    void setAnalog(std::uint8_t channel, std::uint32_t millivolts);
    void setAnalogNoise(std::uint32_t noiseMillivolts, std::uint32_t seed);
    // `changed` is called with the new level whenever the firmware changes an output pin.
    void watchPin(PortPin pin, std::function<void(bool)> changed);
    bool pinLevel(PortPin pin) const;

    // Bytes for UART `uart`'s receiver. They go in at the line's pace, as fast as the
    // UART takes them.
    void receive(int uart, std::span<const std::uint8_t> bytes);
    // The bytes UART `uart` has sent since the last call.
    std::vector<std::uint8_t> takeSent(int uart);

    static constexpr std::uint64_t frequency = 16'000'000;
    static constexpr std::uint32_t supplyMillivolts = 5000;

private:
    struct Uart {
        AvrBoard* board = nullptr;
        avr_irq_t* input = nullptr;
        bool ready = true;  // its receiver has room
        std::deque<std::uint8_t> pending;
        std::vector<std::uint8_t> sent;
    };
    struct Watch {
        std::function<void(bool)> changed;
    };

    Uart& uart(int index);
    void setUpUart(int index, Uart& port);
    void feed(Uart& port);
    void runTimedUntil(std::uint64_t until);
    void restoreOutside();
    static void onConversion(avr_irq_t* irq, std::uint32_t value, void* param);
    static void onSent(avr_irq_t* irq, std::uint32_t value, void* param);
    static void onReady(avr_irq_t* irq, std::uint32_t value, void* param);
    static void onFull(avr_irq_t* irq, std::uint32_t value, void* param);
    static void onPin(avr_irq_t* irq, std::uint32_t value, void* param);

    avr_t* avr_ = nullptr;
    std::map<int, Uart> uarts_;
    std::deque<Watch> watches_;  // stable addresses for simavr's callbacks
    std::multimap<std::uint64_t, std::function<void()>> timed_;
    std::map<std::pair<char, std::uint8_t>, bool> driven_;  // the levels outside, for a reset
    std::map<std::uint8_t, std::uint32_t> analog_;
    std::uint32_t noiseMillivolts_ = 0;
    std::uint32_t noiseState_ = 1;
    std::uint64_t offset_ = 0;       // the board's clock less the chip's
    std::uint64_t releasedAt_ = 0;   // while held in reset: when the firmware starts
    std::uint64_t heldAt_ = 0;       // while held: the board's clock
    bool held_ = false;
};

}  // namespace boardsim
