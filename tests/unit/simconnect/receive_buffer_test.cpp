// The receive buffer as the transport drives it: each read fills the free tail, and the
// cut after it makes room. A message longer than the buffer makes it grow 2,048 bytes at
// a time, and only as far as the message needs.
#include "receive_buffer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "base/little_endian.h"

namespace {

struct Reads {
    std::vector<std::uint32_t> sizes;  // the buffer's size before each read
    std::vector<CutResult> cuts;       // the last cut after each read
};

// Feeds `stream` in reads as large as the free tail allows, cutting after each read until
// a cut asks for more bytes, as the transport's receive completion does.
Reads Feed(ReceiveBuffer& buffer, const std::vector<unsigned char>& stream,
           std::vector<std::vector<unsigned char>>& messages) {
    Reads reads;
    MessageBuffer message;
    std::size_t at = 0;
    while (at < stream.size()) {
        reads.sizes.push_back(buffer.Size());
        const auto take = std::min<std::size_t>(buffer.FreeTailSize(), stream.size() - at);
        std::memcpy(buffer.FreeTail(), stream.data() + at, take);
        buffer.Advance(static_cast<std::uint32_t>(take));
        at += take;
        CutResult cut;
        while ((cut = buffer.Cut(message, 1048576)) == CutResult::Complete)
            messages.emplace_back(message.data, message.data + message.length);
        reads.cuts.push_back(cut);
        if (cut != CutResult::NeedMoreBytes) break;
    }
    FreeMessageBuffer(message);
    return reads;
}

std::vector<unsigned char> Message(std::uint32_t length, unsigned char fill) {
    std::vector<unsigned char> bytes(length, fill);
    StoreU32(bytes.data(), length);
    return bytes;
}

}  // namespace

TEST(ReceiveBuffer, GrowsInStepsOf2048UntilTheMessageFits) {
    ReceiveBuffer buffer;
    ASSERT_TRUE(buffer.Allocate(ReceiveBuffer::kInitialSize));
    const std::vector<unsigned char> longer = Message(5000, 0x5A);
    std::vector<std::vector<unsigned char>> messages;
    const Reads reads = Feed(buffer, longer, messages);
    // 2,048 bytes fill the first buffer, the next 2,048 the grown one, and the last 904
    // arrive in a buffer of 6,144: never more than the message needs.
    EXPECT_EQ(reads.sizes, (std::vector<std::uint32_t>{2048, 4096, 6144}));
    EXPECT_EQ(buffer.Size(), 6144u);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], longer);
    EXPECT_EQ(buffer.Unread(), 0u);
}

TEST(ReceiveBuffer, MessagesThatFitMoveToTheFrontInsteadOfGrowingIt) {
    ReceiveBuffer buffer;
    ASSERT_TRUE(buffer.Allocate(ReceiveBuffer::kInitialSize));
    // Three 1,500-byte messages: the second straddles the end of the first read; its start
    // moves to the front and the buffer keeps its size.
    std::vector<unsigned char> stream;
    for (unsigned char fill : {1, 2, 3}) {
        const auto one = Message(1500, fill);
        stream.insert(stream.end(), one.begin(), one.end());
    }
    std::vector<std::vector<unsigned char>> messages;
    const Reads reads = Feed(buffer, stream, messages);
    EXPECT_EQ(buffer.Size(), 2048u);
    EXPECT_TRUE(std::all_of(reads.sizes.begin(), reads.sizes.end(),
                            [](std::uint32_t size) { return size == 2048; }));
    ASSERT_EQ(messages.size(), 3u);
    for (unsigned char i = 0; i < 3; ++i) EXPECT_EQ(messages[i], Message(1500, i + 1)) << int(i);
}
