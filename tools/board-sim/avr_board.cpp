#include "board-sim/avr_board.h"

#include <avr_adc.h>
#include <avr_ioport.h>
#include <avr_uart.h>
#include <sim_avr.h>
#include <sim_elf.h>

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <cstdio>
#include <stdexcept>
#include <utility>

namespace boardsim {

namespace {

// The board paces itself against the wall clock; simavr's own sleeping would only add to it.
void noSleep(avr_t*, avr_cycle_count_t) {}

// simavr's notes on loading and on registers it does not model stay quiet; its errors go
// to standard error, out of the way of the displays on standard output.
void quietLogger(avr_t*, const int level, const char* format, va_list args) {
    if (level <= LOG_ERROR) std::vfprintf(stderr, format, args);
}

avr_irq_t* pinIrq(avr_t* avr, PortPin pin) {
    return avr_io_getirq(avr, AVR_IOCTL_IOPORT_GETIRQ(pin.port), pin.bit);
}

}  // namespace

AvrBoard::AvrBoard(BoardModel model, const std::string& elfPath) {
    avr_global_logger_set(quietLogger);
    elf_firmware_t firmware{};
    if (elf_read_firmware(elfPath.c_str(), &firmware) != 0)
        throw std::runtime_error("cannot read the firmware " + elfPath);
    avr_ = avr_make_mcu_by_name(mcuName(model));
    if (avr_ == nullptr || avr_init(avr_) != 0)
        throw std::runtime_error(std::string("cannot emulate an ") + mcuName(model));
    avr_->log = LOG_ERROR;
    // Arduino images carry no section naming their clock.
    avr_->frequency = frequency;
    avr_load_firmware(avr_, &firmware);
    avr_->frequency = frequency;
    avr_->vcc = avr_->avcc = avr_->aref = supplyMillivolts;
    avr_->sleep = noSleep;
    for (int index : {0, 1}) {
        if (avr_io_getirq(avr_, AVR_IOCTL_UART_GETIRQ(static_cast<char>('0' + index)), UART_IRQ_INPUT) != nullptr)
            uart(index);
    }
    avr_irq_register_notify(avr_io_getirq(avr_, AVR_IOCTL_ADC_GETIRQ, ADC_IRQ_OUT_TRIGGER), onConversion, this);
}

AvrBoard::~AvrBoard() {
    if (avr_ != nullptr) avr_terminate(avr_);
}

std::uint64_t AvrBoard::cycle() const {
    return held_ ? heldAt_ : avr_->cycle + offset_;
}

void AvrBoard::runTimedUntil(std::uint64_t until) {
    while (!timed_.empty() && timed_.begin()->first <= until) {
        auto action = std::move(timed_.begin()->second);
        timed_.erase(timed_.begin());
        action();
    }
}

bool AvrBoard::runUntil(std::uint64_t until) {
    if (held_) {
        // The outside goes on while the chip waits: a contact closed meanwhile is closed
        // when the firmware starts.
        heldAt_ = std::max(heldAt_, std::min(until, releasedAt_));
        runTimedUntil(heldAt_);
        if (until < releasedAt_) return true;
        held_ = false;
        offset_ = releasedAt_ - avr_->cycle;
        restoreOutside();
    }
    while (cycle() < until) {
        runTimedUntil(cycle());
        const int state = avr_run(avr_);
        if (state == cpu_Done || state == cpu_Crashed) return false;
    }
    return true;
}

void AvrBoard::reset(std::uint64_t heldCycles) {
    heldAt_ = cycle();
    releasedAt_ = heldAt_ + heldCycles;
    held_ = true;
    avr_reset(avr_);
    for (auto& [index, port] : uarts_) setUpUart(index, port);
    restoreOutside();
}

// What the circuit outside holds on the pins and ADC inputs, given again after a reset,
// which cleared the chip's pin registers. A pin's line is raised to the other level
// first: simavr passes on only a change of it.
void AvrBoard::restoreOutside() {
    const auto driven = driven_;
    for (const auto& [pin, high] : driven) {
        const PortPin port{pin.first, pin.second};
        avr_raise_irq(pinIrq(avr_, port), high ? 0 : 1);
        drivePin(port, high);
    }
    const auto analog = analog_;
    for (const auto& [channel, millivolts] : analog) setAnalog(channel, millivolts);
}

void AvrBoard::at(std::uint64_t when, std::function<void()> action) {
    timed_.emplace(when, std::move(action));
}

void AvrBoard::drivePin(PortPin pin, bool high) {
    driven_[{pin.port, pin.bit}] = high;
    // The external level first, so that the firmware's next write to the PORT register
    // (a pull-up switched on) does not replace it; then the pin itself. simavr takes a
    // port's external levels as a whole, so every pin driven on the port goes along.
    avr_ioport_external_t external{};
    external.name = static_cast<unsigned char>(pin.port);
    for (const auto& [driven, level] : driven_) {
        if (driven.first != pin.port) continue;
        const auto bit = static_cast<std::uint8_t>(1u << driven.second);
        external.mask |= bit;
        if (level) external.value |= bit;
    }
    avr_ioctl(avr_, AVR_IOCTL_IOPORT_SET_EXTERNAL(pin.port), &external);
    avr_raise_irq(pinIrq(avr_, pin), high ? 1 : 0);
}

void AvrBoard::setAnalog(std::uint8_t channel, std::uint32_t millivolts) {
    analog_[channel] = millivolts;
    avr_raise_irq(avr_io_getirq(avr_, AVR_IOCTL_ADC_GETIRQ, ADC_IRQ_ADC0 + channel), millivolts);
}

void AvrBoard::setAnalogNoise(std::uint32_t noiseMillivolts, std::uint32_t seed) {
    noiseMillivolts_ = noiseMillivolts;
    noiseState_ = seed | 1;
}

// A conversion starts: the channel it reads gets its voltage anew, with this conversion's
// noise.
void AvrBoard::onConversion(avr_irq_t*, std::uint32_t value, void* param) {
    auto* board = static_cast<AvrBoard*>(param);
    // simavr sends the mux's first 32 bits.
    avr_adc_mux_t mux{};
    static_assert(sizeof mux >= sizeof value);
    std::memcpy(&mux, &value, sizeof value);
    const auto found = board->analog_.find(static_cast<std::uint8_t>(mux.src));
    if (mux.kind != ADC_MUX_SINGLE || found == board->analog_.end() || board->noiseMillivolts_ == 0) return;
    // xorshift32: cheap, and the same noise on every run.
    std::uint32_t& x = board->noiseState_;
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    const std::uint32_t span = 2 * board->noiseMillivolts_ + 1;
    const auto noisy = static_cast<std::int64_t>(found->second) + static_cast<std::int64_t>(x % span) -
                       static_cast<std::int64_t>(board->noiseMillivolts_);
    const auto millivolts = static_cast<std::uint32_t>(std::clamp<std::int64_t>(noisy, 0, supplyMillivolts));
    avr_raise_irq(avr_io_getirq(board->avr_, AVR_IOCTL_ADC_GETIRQ, ADC_IRQ_ADC0 + found->first), millivolts);
}

void AvrBoard::watchPin(PortPin pin, std::function<void(bool)> changed) {
    Watch& watch = watches_.emplace_back(Watch{std::move(changed)});
    avr_irq_register_notify(pinIrq(avr_, pin), onPin, &watch);
}

bool AvrBoard::pinLevel(PortPin pin) const {
    return pinIrq(avr_, pin)->value != 0;
}

AvrBoard::Uart& AvrBoard::uart(int index) {
    auto found = uarts_.find(index);
    if (found != uarts_.end()) return found->second;
    Uart& port = uarts_[index];
    port.board = this;
    setUpUart(index, port);
    const auto name = static_cast<char>('0' + index);
    const auto irq = [&](int which) { return avr_io_getirq(avr_, AVR_IOCTL_UART_GETIRQ(name), which); };
    port.input = irq(UART_IRQ_INPUT);
    avr_irq_register_notify(irq(UART_IRQ_OUTPUT), onSent, &port);
    avr_irq_register_notify(irq(UART_IRQ_OUT_XON), onReady, &port);
    avr_irq_register_notify(irq(UART_IRQ_OUT_XOFF), onFull, &port);
    return port;
}

// Also after a reset, which gives the UART its defaults back.
void AvrBoard::setUpUart(int index, Uart& port) {
    // The UART's echo of text lines to the console would show the binary frames.
    std::uint32_t flags = 0;
    avr_ioctl(avr_, AVR_IOCTL_UART_SET_FLAGS(static_cast<char>('0' + index)), &flags);
    port.pending.clear();
    port.ready = true;
}

void AvrBoard::receive(int index, std::span<const std::uint8_t> bytes) {
    Uart& port = uart(index);
    if (held_) return;
    port.pending.insert(port.pending.end(), bytes.begin(), bytes.end());
    feed(port);
}

std::vector<std::uint8_t> AvrBoard::takeSent(int index) {
    return std::exchange(uart(index).sent, {});
}

// Hands bytes to the UART until it says it is full; it says when it has room again.
void AvrBoard::feed(Uart& port) {
    while (port.ready && !port.pending.empty()) {
        const std::uint8_t byte = port.pending.front();
        port.pending.pop_front();
        avr_raise_irq(port.input, byte);
    }
}

void AvrBoard::onSent(avr_irq_t*, std::uint32_t value, void* param) {
    static_cast<Uart*>(param)->sent.push_back(static_cast<std::uint8_t>(value));
}

void AvrBoard::onReady(avr_irq_t*, std::uint32_t, void* param) {
    auto* port = static_cast<Uart*>(param);
    port->ready = true;
    port->board->feed(*port);
}

void AvrBoard::onFull(avr_irq_t*, std::uint32_t, void* param) {
    static_cast<Uart*>(param)->ready = false;
}

void AvrBoard::onPin(avr_irq_t*, std::uint32_t value, void* param) {
    static_cast<Watch*>(param)->changed(value != 0);
}

}  // namespace boardsim
