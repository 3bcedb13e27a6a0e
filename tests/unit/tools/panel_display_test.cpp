#include "tools/rack-emulator/panel_display.h"

#include <gtest/gtest.h>

#include <limits>

namespace rackemu {
namespace {

Bytes outputFrame(RackKind kind, const std::vector<std::pair<std::size_t, std::int32_t>>& fields) {
    Bytes frame = emptyFrame(panelOutputLayout(kind));
    for (const auto& [offset, value] : fields) putInt32(frame, offset, value);
    return frame;
}

std::string show(RackKind kind, const Bytes& frame) {
    return panelDisplay(kind, decodePanelOutput(kind, frame));
}

TEST(PanelDisplay, FcuManagedModesAndTrackMode) {
    // Managed dots, hidden heading, managed vertical speed, localizer and approach lights.
    EXPECT_EQ(show(RackKind::Fcu, outputFrame(RackKind::Fcu, {{5, 140},
                                                              {9, 1},
                                                              {13, 5},
                                                              {17, 1},
                                                              {21, 900},
                                                              {25, 1},
                                                              {29, -1200},
                                                              {37, 1},
                                                              {41, 17}})),
              "SPD 140*  HDG ---*  ALT 900*  V/S ----  [LOC] [APPR]");
    EXPECT_EQ(
        show(RackKind::Fcu, outputFrame(RackKind::Fcu, {{1, 1}, {13, 5}, {33, -15}, {45, 1}})),
        "SPD 0  TRK 005  ALT 0  FPA -1.5");
    // Any 32-bit value shows without fault.
    const std::int32_t lowest = std::numeric_limits<std::int32_t>::min();
    EXPECT_EQ(show(RackKind::Fcu, outputFrame(RackKind::Fcu, {{1, 1}, {33, lowest}})),
              "SPD 0  TRK ---  ALT 0  FPA -214748364.8");
}

TEST(PanelDisplay, EfisShowsBaroModeAndButtons) {
    const Bytes frame = outputFrame(RackKind::Efis, {{1, 1013}, {5, 3}, {9, 1}, {13, 0}, {17, 1}});
    EXPECT_EQ(show(RackKind::Efis, frame), "BARO 1013  QNH  FD [ON]  LS [OFF]  OPT 3");
    EXPECT_EQ(show(RackKind::Efis, outputFrame(RackKind::Efis, {{1, 1013}, {13, 1}, {17, 2}})),
              "BARO 1013  STD  FD [OFF]  LS [ON]  OPT 0");
    EXPECT_EQ(decodePanelOutput(RackKind::Efis, frame)["baro_mode"], 1);
}

}  // namespace
}  // namespace rackemu
