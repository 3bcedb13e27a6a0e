// Cutting messages out of the receive buffer, with reads that fill its free tail. The
// lengths it refuses are checked over real sockets (transport_test).
#include "simconnect/src/receive_buffer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

std::vector<unsigned char> Message(std::uint32_t length, unsigned char fill) {
    std::vector<unsigned char> bytes(length, fill);
    std::memcpy(bytes.data(), &length, 4);
    return bytes;
}

// Copies as much of `stream` from `offset` as the free tail takes, as one read would.
std::size_t ReadInto(ReceiveBuffer& buffer, const std::vector<unsigned char>& stream,
                     std::size_t offset) {
    const std::size_t count = std::min<std::size_t>(buffer.FreeTailSize(), stream.size() - offset);
    std::memcpy(buffer.FreeTail(), stream.data() + offset, count);
    buffer.Advance(static_cast<std::uint32_t>(count));
    return count;
}

}  // namespace

TEST(ReceiveBuffer, FiveThousandByteMessageGrowsTheBufferTwice) {
    ReceiveBuffer buffer;
    ASSERT_TRUE(buffer.Allocate(2048));
    MessageBuffer message;
    const auto stream = Message(5000, 0x5A);
    std::size_t offset = 0;
    std::vector<std::uint32_t> sizes;
    CutResult result = CutResult::NeedMoreBytes;
    while (result == CutResult::NeedMoreBytes) {
        offset += ReadInto(buffer, stream, offset);
        result = buffer.Cut(message, 41088);
        sizes.push_back(buffer.Size());
    }
    EXPECT_EQ(result, CutResult::Complete);
    EXPECT_EQ(sizes, (std::vector<std::uint32_t>{4096, 6144, 6144}));
    EXPECT_EQ(std::vector<unsigned char>(message.data, message.data + message.length), stream);
    FreeMessageBuffer(message);
}

TEST(ReceiveBuffer, UnreadBytesMoveToTheFrontWhenTheTailIsUsedUp) {
    ReceiveBuffer buffer;
    ASSERT_TRUE(buffer.Allocate(2048));
    MessageBuffer message;
    std::vector<unsigned char> stream;
    for (int i = 0; i < 3; ++i) {
        const auto part = Message(1000, static_cast<unsigned char>(i));
        stream.insert(stream.end(), part.begin(), part.end());
    }
    std::size_t offset = ReadInto(buffer, stream, 0);
    std::vector<unsigned char> fills;
    for (;;) {
        const CutResult result = buffer.Cut(message, 41088);
        if (result == CutResult::Complete) {
            fills.push_back(message.data[4]);
            continue;
        }
        ASSERT_EQ(result, CutResult::NeedMoreBytes);
        if (offset == stream.size()) break;
        offset += ReadInto(buffer, stream, offset);
    }
    EXPECT_EQ(fills, (std::vector<unsigned char>{0, 1, 2}));
    EXPECT_EQ(buffer.Size(), 2048u);
    EXPECT_EQ(buffer.Unread(), 0u);
    FreeMessageBuffer(message);
}
