// The monitor's parts that need no running service: the patches its stream sends, the
// address its option takes, the probes' records, and the panels' frames read back.
#include <gtest/gtest.h>

#include "monitor/link_probe.h"
#include "monitor/monitor_server.h"
#include "monitor/rack_probe.h"
#include "merge_patch.h"
#include "panel_fields.h"

namespace {

using nlohmann::json;

TEST(MergePatch, TurnsOneStateIntoTheNextAndCarriesOnlyWhatChanged) {
    const json from = {{"link", {{"messagesIn", 5}, {"endpoint", "pipe"}}},
                       {"racks", {{"fcu", {{"good", 1}, {"input", {1, 2}}}}, {"efis", {{"good", 3}}}}},
                       {"variables", {{"A", 1.5}, {"B", 2}}}};
    const json to = {{"link", {{"messagesIn", 6}, {"endpoint", "pipe"}}},
                     {"racks", {{"fcu", {{"good", 1}, {"input", {1, 3}}}}}},
                     {"variables", {{"A", 1.5}, {"B", 2}, {"C", 0}}}};
    const json patch = monitor::mergePatch(from, to);
    json applied = from;
    applied.merge_patch(patch);
    EXPECT_EQ(applied, to);
    EXPECT_EQ(patch, json({{"link", {{"messagesIn", 6}}},
                           {"racks", {{"fcu", {{"input", {1, 3}}}}, {"efis", nullptr}}},
                           {"variables", {{"C", 0}}}}));
    EXPECT_EQ(monitor::mergePatch(to, to), json::object());
}

TEST(MonitorAddress, TakesAPortAloneOrAnAddressAndAPort) {
    const auto port = monitor::parseMonitorAddress("8080");
    ASSERT_TRUE(port);
    EXPECT_EQ(port->host, "127.0.0.1");
    EXPECT_EQ(port->port, 8080);
    const auto any = monitor::parseMonitorAddress("0.0.0.0:0");
    ASSERT_TRUE(any);
    EXPECT_EQ(any->host, "0.0.0.0");
    EXPECT_EQ(any->port, 0);
    const auto v6 = monitor::parseMonitorAddress("[::1]:9000");
    ASSERT_TRUE(v6);
    EXPECT_EQ(v6->host, "::1");
    for (const char* bad : {"", "http", "80x", "65536", "-1", ":80", "pi.local:80", "1.2.3:80", "8080:"})
        EXPECT_FALSE(monitor::parseMonitorAddress(bad)) << bad;
}

TEST(RackProbe, KeepsTheLatestTwentySendsOldestFirstAndCountsEveryName) {
    monitor::RackProbe probe;
    for (int i = 0; i < 25; ++i) probe.sent(i % 2 ? "AP_SPD_VAR_INC" : "AP_SPD_VAR_DEC", i + 1);
    probe.sent("XMLVAR_Baro1_Mode", 1, "2");
    const monitor::RackRecord record = probe.copy();
    ASSERT_EQ(record.recentSent.size(), monitor::RackProbe::kRecentSent);
    EXPECT_EQ(record.recentSent.front().count, 7);  // sends 1 to 6 fell out
    EXPECT_EQ(record.recentSent.front().sequence, 7u);
    EXPECT_EQ(record.recentSent.back().sequence, 26u);
    EXPECT_EQ(record.recentSent[18].count, 25);
    EXPECT_EQ(record.recentSent.back().name, "XMLVAR_Baro1_Mode");
    EXPECT_EQ(record.recentSent.back().detail, "2");
    EXPECT_EQ(record.sentCounts.at("AP_SPD_VAR_INC"), 2u + 4 + 6 + 8 + 10 + 12 + 14 + 16 + 18 + 20 + 22 + 24);
    EXPECT_EQ(record.sentCounts.at("XMLVAR_Baro1_Mode"), 1u);
}

TEST(RackProbe, AReopenIsAnOpenAfterTheFirstOne) {
    monitor::RackProbe probe;
    probe.portState(false);
    probe.portState(true);
    EXPECT_EQ(probe.copy().reopens, 0u);
    probe.portState(false);
    probe.portState(true);
    probe.portState(true);
    EXPECT_EQ(probe.copy().reopens, 1u);
    EXPECT_TRUE(probe.copy().open);
}

TEST(LinkProbe, NamesTheRequestAnExceptionAnswersWhileItIsRemembered) {
    monitor::LinkProbe link;
    link.requestOut(2, "SimConnect_MapClientEventToSimEvent");
    link.requestOut(3, "SimConnect_TransmitClientEvent");
    link.exception(7, 2, 3);
    for (std::uint32_t id = 4; id < 4 + monitor::LinkProbe::kRememberedRequests; ++id)
        link.requestOut(id, "SimConnect_SetDataOnSimObject");
    link.exception(3, 3, 1);  // long forgotten
    const monitor::LinkRecord record = link.copy();
    ASSERT_EQ(record.exceptions.size(), 2u);
    EXPECT_EQ(record.exceptions[0].request, "SimConnect_MapClientEventToSimEvent");
    EXPECT_EQ(record.exceptions[0].index, 3u);
    EXPECT_EQ(record.exceptions[1].request, "");
    EXPECT_EQ(record.requestsOut, 2u + monitor::LinkProbe::kRememberedRequests);
}

TEST(PanelFields, ReadTheFcuDisplayAndTheEfisInputBackByName) {
    std::vector<std::uint8_t> display(50, 0);
    display.front() = '{';
    display.back() = '}';
    const auto put = [&](std::size_t offset, std::int32_t value) {
        for (std::size_t i = 0; i < 4; ++i)
            display[offset + i] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(value) >> (8 * i));
    };
    put(5, 250);
    put(29, -700);
    put(41, 0b10010);
    const json fcu = monitor::decodeOutputFrame(monitor::RackKind::fcu, display);
    EXPECT_EQ(fcu["spd"], 250);
    EXPECT_EQ(fcu["vs"], -700);
    EXPECT_EQ(fcu["lights"], 18);
    EXPECT_EQ(monitor::decodeOutputFrame(monitor::RackKind::fcu, {}), json::object());

    std::vector<std::uint8_t> input(30, 0);
    input[1] = 0xFF, input[2] = 0xFF, input[3] = 0xFF, input[4] = 0xFF;  // one detent back
    input[9] = 1;
    const json efis = monitor::decodeInputFrame(monitor::RackKind::efis, input);
    ASSERT_EQ(efis.size(), 7u);
    EXPECT_EQ(efis[0], json({{"name", "baro"}, {"kind", "knob"}, {"value", -1}}));
    EXPECT_EQ(efis[2], json({{"name", "fd"}, {"kind", "switch"}, {"value", 1}}));

    const json pedals = monitor::decodeInputText(monitor::RackKind::pedals,
                                                 "\"brake_position\":16000,\"rudder_position\":-800.5,\"x\":null");
    ASSERT_EQ(pedals.size(), 3u);
    EXPECT_EQ(pedals[0]["name"], "rudder_position");
    EXPECT_EQ(pedals[0]["kind"], "axis");
    EXPECT_EQ(pedals[1]["value"], 16000);
    EXPECT_EQ(pedals[2]["value"], "null");
    EXPECT_EQ(monitor::decodeInputText(monitor::RackKind::pedals, "\"broken"), json::array());
}

}  // namespace
