// The racks' wire values: frame fields, the conversions of simulator values for the
// panels, the JSON members of the text racks, and button edges.
#include "racks/rack_values.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "racks/button_state.h"

namespace {

using nlohmann::json;
using namespace rackvalue;

TEST(RackValues, SimulatorValuesBecomeWholeNumbers) {
    EXPECT_EQ(roundToInt32(1013.25), 1013);
    EXPECT_EQ(roundToInt32(1013.5), 1014);
    EXPECT_EQ(roundToInt32(1012.5), 1013);
    EXPECT_EQ(roundToInt32(-2.5), -3);
    EXPECT_EQ(truncateToInt32(499.9), 499);
    EXPECT_EQ(truncateToInt32(-0.9), 0);
    // Out of range or not a number: defined results instead of undefined conversions.
    EXPECT_EQ(truncateToInt32(1e20), std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(roundToInt32(-1e20), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(truncateToInt32(std::nan("")), 0);
}

// The whole runs send 12.7, true, -300, null and text as members; here, the other cases.
TEST(RackValues, MembersConvertAsTheMessagesNeed) {
    const json message = json::parse(R"({"f": 12.7, "n": -0.9, "t": true, "big": 1e20})");
    EXPECT_EQ(memberAsDouble(message, "f"), 12.7);
    EXPECT_THROW(memberAsDouble(message, "t"), json::type_error);
    EXPECT_EQ(memberAsInt32(message, "n"), 0);
    EXPECT_EQ(memberAsInt32(message, "big"), std::numeric_limits<std::int32_t>::max());
}

TEST(ButtonState, ActsOncePerPress) {
    ButtonState button;
    const std::int32_t inputs[] = {0, 1, 1, 7, 0, -1, 0};
    const bool rising[] = {false, true, false, false, false, true, false};
    for (std::size_t i = 0; i < std::size(inputs); ++i) {
        button.update(inputs[i]);
        EXPECT_EQ(button.rising, rising[i]) << i;
        EXPECT_EQ(button.pressed, inputs[i] != 0) << i;
    }
}

}  // namespace
