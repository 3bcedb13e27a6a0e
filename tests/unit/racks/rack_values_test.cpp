// The racks' wire values: frame fields, the conversions of simulator values for the
// panels, and the JSON members of the text racks.
#include "racks/rack_values.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

using nlohmann::json;
using namespace rackvalue;

// The panels' whole runs show 1012.5, 250.5 and 499.9; here, the other edges.
TEST(RackValues, SimulatorValuesBecomeWholeNumbers) {
    EXPECT_EQ(roundToInt32(-2.5), -3);
    EXPECT_EQ(truncateToInt32(-0.9), 0);
    // Out of range or not a number: defined results instead of undefined conversions.
    EXPECT_EQ(truncateToInt32(1e20), std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(roundToInt32(-1e20), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(truncateToInt32(std::nan("")), 0);
}

// The whole runs send 12.7, true, -300, null and text as members; here, the other cases.
TEST(RackValues, MembersConvertAsTheMessagesNeed) {
    const json message = json::parse(R"({"n": -0.9, "t": true, "big": 1e20})");
    EXPECT_THROW(memberAsDouble(message, "t"), json::type_error);
    EXPECT_EQ(memberAsInt32(message, "n"), 0);
    EXPECT_EQ(memberAsInt32(message, "big"), std::numeric_limits<std::int32_t>::max());
}

}  // namespace
