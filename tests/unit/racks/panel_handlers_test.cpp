// The two panel handlers one frame at a time: each on a line held in memory, its simulator
// calls made over a real connection to the test's own peer. What a frame sends, what the
// display frame carries, and what a broken line prints.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/sim_ids.h"
#include "base/little_endian.h"
#include "racks/serial_com_handler_autopilot.h"
#include "racks/serial_com_handler_efis.h"
#include "testing/loopback_peer.h"
#include "testing/memory_line.h"
#include "testing/process.h"
#include "testing/request_bytes.h"
#include "testing/service_output.h"

namespace {

using namespace std::chrono_literals;

class FcuProbe : public SerialCOMHandlerAutopilot {
public:
    using SerialCOMHandlerAutopilot::SerialCOMHandlerAutopilot;
    using SerialCOMHandlerAutopilot::handleInputFrame;
    using SerialCOMHandlerAutopilot::readInputFrame;
    using SerialCOMHandlerAutopilot::writeDisplays;
};

class EfisProbe : public SerialCOMHandlerEfis {
public:
    using SerialCOMHandlerEfis::handleInputFrame;
    using SerialCOMHandlerEfis::readInputFrame;
    using SerialCOMHandlerEfis::SerialCOMHandlerEfis;
    using SerialCOMHandlerEfis::Selectors;
};

// A panel's frame of `length` bytes with the fields given.
std::string panelFrame(std::size_t length, std::initializer_list<std::pair<std::size_t, std::int32_t>> fields) {
    std::string frame(length, '\0');
    frame.front() = '{';
    frame.back() = '}';
    for (const auto& [offset, value] : fields) StoreI32(reinterpret_cast<unsigned char*>(&frame[offset]), value);
    return frame;
}

// The request id of a TransmitClientEvent, and where its event sits.
constexpr std::uint32_t kTransmitId = 0xF0000005;
constexpr std::size_t kEventAt = 20;

class PanelHandlers : public testing::Test {
protected:
    void SetUp() override {
        folder.write("SimConnect.cfg", servicetest::pipeConfig(pipe));
        line->keepOpen();
        listener = loopback_peer::Listener::Pipe("\\\\.\\pipe\\" + pipe);
        ASSERT_TRUE(listener);
        ASSERT_EQ(SimConnect_Open(&session.hSimConnect, "PanelTest", nullptr, 0, nullptr, 0), 0);
        session.coon = true;
        session.registerCockpitVars();
        peer = listener->Accept();
        ASSERT_TRUE(peer);
        ASSERT_EQ(peer->ReadMessage().size(), 296u);  // the open request
    }
    void TearDown() override { closeSimConnection(session, rackMutex); }

    // Every request that reached the peer until it stayed quiet for `quiet`. The handler's
    // calls are made before this is called, so the wait only confirms that nothing follows.
    std::vector<wirebytes::Bytes> requests(std::chrono::milliseconds quiet = 300ms) {
        std::vector<wirebytes::Bytes> got;
        for (auto message = peer->ReadMessage(quiet); !message.empty(); message = peer->ReadMessage(quiet))
            got.push_back(message);
        return got;
    }
    // The events of those requests, in order; any other request fails the test.
    std::vector<std::uint32_t> events() {
        std::vector<std::uint32_t> got;
        for (const auto& message : requests()) {
            EXPECT_EQ(wirebytes::messageId(message), kTransmitId);
            if (message.size() >= kEventAt + 4) got.push_back(wirebytes::get32(message, kEventAt));
        }
        return got;
    }
    // The cockpit variables' names that the uplink commands of those requests carry.
    std::vector<std::string> commandNames(const std::vector<std::string>& candidates) {
        std::vector<std::string> got;
        for (const auto& message : requests()) {
            const std::string bytes(message.begin(), message.end());
            for (const std::string& name : candidates)
                if (bytes.find(name + '\0') != std::string::npos) got.push_back(name);
        }
        return got;
    }
    // The companion's downlink block as the simulator delivers it, with the cockpit
    // variables' slots given in tenths.
    void deliverCockpitVars(std::initializer_list<std::pair<std::size_t, std::int32_t>> slots) {
        std::vector<std::uint8_t> message(SIMCONNECT_RECV_DATA_OFFSET + cockpit::kBlockSize, 0);
        StoreU32(&message[0], static_cast<std::uint32_t>(message.size()));
        StoreU32(&message[4], 5);
        StoreU32(&message[8], SIMCONNECT_RECV_ID_CLIENT_DATA);
        StoreU32(&message[12], cockpit::kDownlinkRequestId);
        for (const auto& [slot, tenths] : slots)
            StoreI32(&message[SIMCONNECT_RECV_DATA_OFFSET + cockpit::kPayloadOffset + slot], tenths);
        testing::internal::CaptureStdout();
        session.callbackDataReceiveFromFlightSimulator(reinterpret_cast<const SIMCONNECT_RECV*>(message.data()),
                                                       static_cast<DWORD>(message.size()));
        testing::internal::GetCapturedStdout();
    }

    testsupport::WorkFolder folder;
    std::string pipe = "orvendale-panels-" + std::to_string(getpid());
    std::optional<loopback_peer::Listener> listener;
    std::optional<loopback_peer::Connection> peer;
    RackMutex rackMutex;
    StateLock stateLock;
    SimSession session{&stateLock, &rackMutex};
    testsupport::MemoryLine* line = new testsupport::MemoryLine({});
};

class Fcu : public PanelHandlers {
protected:
    FcuProbe handler{std::unique_ptr<SerialLine>(line), "\\\\.\\memory", "autopilot_rack", &session,
                     &rackMutex, &stateLock};
};

class Efis : public PanelHandlers {
protected:
    EfisProbe handler{std::unique_ptr<SerialLine>(line), "\\\\.\\memory", "efis_rack", &session,
                      &rackMutex, &stateLock};
};

// Held, the four repeating switches go again only once more than 200 ms have passed since
// the last repeat, speed before heading, each on before its off.
TEST_F(Fcu, HeldSwitchesRepeatOnlyAfterMoreThanTheInterval) {
    line->arrive(panelFrame(82, {{17, 1}, {21, 1}, {65, 1}, {69, 1}}));
    ASSERT_TRUE(handler.readInputFrame());
    handler.handleInputFrame(200);
    handler.handleInputFrame(201);
    EXPECT_EQ(events(), (std::vector<std::uint32_t>{rackevent::apAirspeedOn, rackevent::apAirspeedOff,
                                                    rackevent::apHdgHoldOn, rackevent::apHdgHoldOff}));
}

// Each mode light is one bit of the lights field, LOC at bit 0 up to APPR at bit 4; the
// variables hold tenths, and a light is on at any value but 0.
TEST_F(Fcu, EachModeLightIsItsOwnBit) {
    // The slots of LOC, AP1, A/THR, EXPED and APPR in the downlink block.
    const std::array<std::size_t, 5> slots = {56, 60, 64, 68, 72};
    auto lights = [&] {
        line->written.clear();
        handler.writeDisplays();
        EXPECT_EQ(line->written.size(), 50u);
        return LoadI32(reinterpret_cast<const unsigned char*>(&line->written[41]));
    };
    for (std::size_t bit = 0; bit < slots.size(); ++bit) {
        deliverCockpitVars({{slots[bit], 10}});
        EXPECT_EQ(lights(), 1 << bit) << "bit " << bit;
    }
    deliverCockpitVars({{slots[0], 10}, {slots[4], -10}});
    EXPECT_EQ(lights(), 17);  // LOC and APPR
    deliverCockpitVars({});
    EXPECT_EQ(lights(), 0);
}

// A frame whose first byte is not '{' is never handled, however it ends; the next whole
// frame is.
TEST_F(Fcu, AFrameWithAWrongFirstByteIsNeverHandled) {
    std::string wrong = panelFrame(82, {{37, 1}});
    wrong.front() = '[';
    line->arrive(wrong);
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(handler.readInputFrame());
    line->arrive(panelFrame(82, {{41, 1}}));
    ASSERT_TRUE(handler.readInputFrame());
    handler.handleInputFrame(0);
    EXPECT_EQ(events(), (std::vector<std::uint32_t>{rackevent::autoThrottleArm}));
}

TEST_F(Fcu, ABrokenLineSaysSoOnReadAndOnWrite) {
    line->failNextRead();
    testing::internal::CaptureStdout();
    EXPECT_FALSE(handler.readInputFrame());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "[ERR READFILE]\n");

    line->failWrites();
    testing::internal::CaptureStdout();
    handler.writeDisplays();
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "\n[WARN] Cannot WRITE to Rack autopilot_rack in \\\\.\\memory :(\n");
}

// The selectors compare with the previous frame's, which start at 0: a first frame of
// zeros sends nothing, and a first frame with a baro mode and an option sends both.
TEST_F(Efis, TheFirstFrameSendsTheSelectorsThatAreNotZero) {
    const std::vector<std::string> names = {"XMLVAR_Baro1_Mode", "A32NX_EFIS_L_ND_RANGE",
                                            "A32NX_EFIS_L_ND_MODE", "A32NX_EFIS_L_OPTION"};
    {
        EfisProbe::Selectors previous;
        line->arrive(panelFrame(30, {}));
        ASSERT_TRUE(handler.readInputFrame());
        handler.handleInputFrame(previous);
        EXPECT_EQ(commandNames(names), std::vector<std::string>{});
    }
    {
        EfisProbe::Selectors previous;
        line->arrive(panelFrame(30, {{5, 1}, {25, 3}}));
        ASSERT_TRUE(handler.readInputFrame());
        handler.handleInputFrame(previous);
        EXPECT_EQ(commandNames(names), (std::vector<std::string>{"XMLVAR_Baro1_Mode", "A32NX_EFIS_L_OPTION"}));
    }
}

}  // namespace
