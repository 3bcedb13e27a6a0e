// The byte order every number of the wire, the cockpit blocks and the panels' frames is
// laid out in, for each width, at an offset that is not aligned.
#include "base/little_endian.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

TEST(LittleEndian, EachWidthLowByteFirstAtAnyOffset) {
    Bytes bytes(11, 0xEE);
    StoreU16(&bytes[1], 0x1234);
    EXPECT_EQ(Bytes(bytes.begin() + 1, bytes.begin() + 3), (Bytes{0x34, 0x12}));
    EXPECT_EQ(LoadU16(&bytes[1]), 0x1234);

    StoreU32(&bytes[1], 0x89ABCDEF);
    EXPECT_EQ(Bytes(bytes.begin() + 1, bytes.begin() + 5), (Bytes{0xEF, 0xCD, 0xAB, 0x89}));
    EXPECT_EQ(LoadU32(&bytes[1]), 0x89ABCDEFu);

    StoreU64(&bytes[1], 0x0102030405060708ull);
    EXPECT_EQ(Bytes(bytes.begin() + 1, bytes.begin() + 9),
              (Bytes{0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01}));
    EXPECT_EQ(LoadU64(&bytes[1]), 0x0102030405060708ull);
    // Nothing outside the field is touched.
    EXPECT_EQ(bytes[0], 0xEE);
    EXPECT_EQ(bytes[9], 0xEE);
}

TEST(LittleEndian, SignedFieldsAreTwosComplement) {
    unsigned char bytes[4];
    StoreI32(bytes, -2);
    EXPECT_EQ(Bytes(bytes, bytes + 4), (Bytes{0xFE, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(LoadI32(bytes), -2);
}

TEST(LittleEndian, FloatsAreTheirIeeeBits) {
    unsigned char bytes[8];
    StoreF32(bytes, 1.0f);  // 0x3F800000
    EXPECT_EQ(Bytes(bytes, bytes + 4), (Bytes{0x00, 0x00, 0x80, 0x3F}));
    EXPECT_EQ(LoadF32(bytes), 1.0f);
    StoreF64(bytes, -2.5);  // 0xC004000000000000
    EXPECT_EQ(Bytes(bytes, bytes + 8), (Bytes{0, 0, 0, 0, 0, 0, 0x04, 0xC0}));
    EXPECT_EQ(LoadF64(bytes), -2.5);
}

}  // namespace
