// Received bytes, arriving in arbitrary pieces, cut into messages by a connection's
// receive buffer as the transport cuts them after each read.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <cstring>

#include "base/little_endian.h"
#include "connection_settings.h"
#include "receive_buffer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const std::uint32_t maxReceiveSize =
        input.ConsumeBool() ? kDefaultMaxReceiveSize : input.ConsumeIntegral<std::uint32_t>();
    ReceiveBuffer buffer;
    MessageBuffer message;
    if (!buffer.Allocate(ReceiveBuffer::kInitialSize)) std::abort();
    CutResult result = CutResult::NeedMoreBytes;
    while (result == CutResult::NeedMoreBytes && input.remaining_bytes() > 0) {
        // A read never has less than one byte of room.
        if (buffer.FreeTailSize() == 0) std::abort();
        const std::size_t wanted = input.ConsumeIntegralInRange<std::size_t>(1, 4096);
        const auto bytes = input.ConsumeBytes<std::uint8_t>(std::min<std::size_t>(wanted, buffer.FreeTailSize()));
        if (!bytes.empty()) std::memcpy(buffer.FreeTail(), bytes.data(), bytes.size());
        buffer.Advance(static_cast<std::uint32_t>(bytes.size()));
        while ((result = buffer.Cut(message, maxReceiveSize)) == CutResult::Complete) {
            // A message is whole: its own length, at least the length field, within the limit.
            if (message.length < 4 || message.length > maxReceiveSize ||
                LoadU32(message.data) != message.length)
                std::abort();
        }
    }
    FreeMessageBuffer(message);
    return 0;
}
