// What the two panel racks (EFIS and FCU) share beyond the base: a binary frame each way,
// the fields of the last frame read, and the display frame laid out from one copy of the
// simulator's values (taken under one shared hold of stateLock) and then written.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "racks/rack_values.h"
#include "racks/serial_com_handler_base.h"

template <std::int32_t InputLength, std::int32_t OutputLength>
class SerialCOMHandlerPanel : public SerialCOMHandlerBase {
public:
    static constexpr std::int32_t kInputFrameLength = InputLength;
    static constexpr std::int32_t kOutputFrameLength = OutputLength;

    // Constructed as the base is; both frames start cleared.
    using SerialCOMHandlerBase::SerialCOMHandlerBase;

protected:
    // Lays out the display fields between the framing bytes.
    virtual void fillOutputFields(const SimState& state) = 0;

    bool readInputFrame() { return readFrame(inputFrame.data(), InputLength); }
    std::int32_t inputField(std::size_t offset) const {
        return rackvalue::readField(inputFrame.data(), offset);
    }
    void putOutputField(std::size_t offset, std::int32_t value) {
        rackvalue::writeField(outputFrame.data(), offset, value);
    }

    void writeDisplays() {
        outputFrame.front() = '{';
        fillOutputFields(simSession->readState());
        outputFrame.back() = '}';
        writeFrame(outputFrame.data(), OutputLength);
    }

    std::array<std::uint8_t, InputLength> inputFrame{};
    std::array<std::uint8_t, OutputLength> outputFrame{};
};
