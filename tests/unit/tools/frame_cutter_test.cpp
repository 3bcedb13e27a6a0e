#include "tools/rack-emulator/frame_cutter.h"

#include <gtest/gtest.h>

namespace rackemu {
namespace {

Bytes efisFrame(std::int32_t baro) {
    Bytes frame(22, 0);
    frame.front() = '{';
    frame.back() = '}';
    putInt32(frame, 1, baro);
    return frame;
}

TEST(FrameCutter, ResynchronisesOnGarbage) {
    FrameCutter cutter(22);
    // Noise, a false start ('{' with no '}' where the frame would end), then two frames.
    Bytes stream = {'x', 'y', '{', 1, 2};
    const Bytes first = efisFrame(1013);
    const Bytes second = efisFrame(998);
    stream.insert(stream.end(), first.begin(), first.end());
    stream.insert(stream.end(), second.begin(), second.end());
    const auto pieces = cutter.feed(stream);
    ASSERT_EQ(pieces.size(), 3u);
    EXPECT_FALSE(pieces[0].isFrame);
    EXPECT_EQ(pieces[0].bytes, (Bytes{'x', 'y', '{', 1, 2}));
    EXPECT_EQ(pieces[1].bytes, first);
    EXPECT_EQ(pieces[2].bytes, second);

    // A stream without any '{' is dropped at once rather than kept.
    const Bytes noise(100, 'z');
    const auto dropped = cutter.feed(noise);
    ASSERT_EQ(dropped.size(), 1u);
    EXPECT_EQ(dropped[0].bytes.size(), 100u);
}

}  // namespace
}  // namespace rackemu
