#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <vector>

#include "app/sim_session.h"

namespace {

// A received message as the client library delivers it: little-endian words at offsets.
class Message {
public:
    Message(DWORD id, std::size_t size) : bytes_(size, 0) {
        put(0, static_cast<DWORD>(size));
        put(4, 5);
        put(8, id);
    }
    void put(std::size_t at, DWORD word) {
        for (std::size_t i = 0; i < 4 && at + i < bytes_.size(); ++i)
            bytes_[at + i] = static_cast<std::uint8_t>(word >> (8 * i));
    }
    void putDouble(std::size_t at, double value) {
        std::memcpy(bytes_.data() + at, &value, sizeof value);
    }
    void putText(std::size_t at, const std::string& text) {
        std::memcpy(bytes_.data() + at, text.data(), text.size());
    }
    std::uint8_t* data() { return bytes_.data(); }
    DWORD size() const { return static_cast<DWORD>(bytes_.size()); }

private:
    std::vector<std::uint8_t> bytes_;
};

class Callback : public testing::Test {
protected:
    // Hands the message over as the dispatch call does and returns what was printed.
    std::string deliver(Message& message, DWORD cbData = 0) {
        testing::internal::CaptureStdout();
        dispatchToSimSession(reinterpret_cast<SIMCONNECT_RECV*>(message.data()),
                             cbData != 0 ? cbData : message.size(), &session);
        return testing::internal::GetCapturedStdout();
    }

    StateLock stateLock;
    SimSession session{&stateLock};
};

Message openAnswer(const std::string& name, std::size_t size = 308) {
    Message open(SIMCONNECT_RECV_ID_OPEN, size);
    open.putText(12, name);
    for (DWORD i = 0; i < 8; ++i) open.put(268 + 4 * i, 10 + i);
    return open;
}

TEST_F(Callback, OpenAnswerPrintsTheBannerAndMarksTheSimulatorAlive) {
    // A name without a terminator stops at the end of its field.
    Message open = openAnswer(std::string(256, 'N'));
    EXPECT_EQ(deliver(open),
              "[OK] Connection Opened !\n==== [INFO] ====\n"
              "\tApp name: " + std::string(256, 'N') + "\n\tApp Major Vrs: 10\n\tApp Minor Vrs: 11\n"
              "\tApp Build Major: 12\n\tApp Build Minor: 13\n"
              "\tSim Connect Version Major: 14\n\tSim Connect Version Minor: 15\n"
              "\tSim Connect Build Major: 16\n\tSim Connect Build Minor: 17\n");
    EXPECT_TRUE(session.first);
}

TEST_F(Callback, MessagesShorterThanTheirFieldsAreReportedAndDropped) {
    Message open = openAnswer("KittyHawk", 299);
    EXPECT_EQ(deliver(open), "\nReceived:2\n");
    Message event(SIMCONNECT_RECV_ID_EVENT, 19);
    EXPECT_EQ(deliver(event), "\nReceived:4\n");
    Message exception(SIMCONNECT_RECV_ID_EXCEPTION, 15);
    EXPECT_EQ(deliver(exception), "\nReceived:1\n");
    EXPECT_FALSE(session.first);

    // Request 4 carries two doubles; a message with one is not trusted for either.
    Message data(SIMCONNECT_RECV_ID_SIMOBJECT_DATA, 48);
    data.put(12, 4);
    data.putDouble(40, 1013.0);
    EXPECT_EQ(deliver(data), "\nReceived:8\n");
    EXPECT_EQ(session.readState().kohlsmanMb, 0.0);

    // The size the library delivered limits the message even when dwSize claims more.
    Message block(SIMCONNECT_RECV_ID_CLIENT_DATA, 172);
    block.put(12, 5322);
    block.put(44, 99);
    EXPECT_EQ(deliver(block, 171), "\nReceived:16\n");
    EXPECT_EQ(session.readState().downlinkBlock[4], 0);
    Message headerOnly(SIMCONNECT_RECV_ID_QUIT, 12);
    EXPECT_EQ(deliver(headerOnly, 11), "");
    EXPECT_EQ(session.quit, 0);
}

// An exception, an unknown kind and the quit as printed are checked on the wire
// (service_wire_test); here, what they leave in the session.
TEST_F(Callback, QuitEventsAndUnknownKinds) {
    Message otherEvent(SIMCONNECT_RECV_ID_EVENT, 24);
    otherEvent.put(12, 0xFFFFFFFF);
    otherEvent.put(16, 3);
    EXPECT_EQ(deliver(otherEvent), "");
    EXPECT_FALSE(session.first);
    Message simStart(SIMCONNECT_RECV_ID_EVENT, 24);
    simStart.put(12, 0xFFFFFFFF);
    EXPECT_EQ(deliver(simStart), "");
    EXPECT_TRUE(session.first);
    Message none(SIMCONNECT_RECV_ID_NULL, 12);
    EXPECT_EQ(deliver(none), "\nReceived:0\n");

    // Quit needs no open answer before it.
    Message quit(SIMCONNECT_RECV_ID_QUIT, 12);
    deliver(quit);
    EXPECT_EQ(session.quit, 1);
}

TEST_F(Callback, ObjectDataStoresTheKeptValuesBitForBit) {
    const double kohlsman = 1013.2500000000002;
    Message efis(SIMCONNECT_RECV_ID_SIMOBJECT_DATA, 56);
    efis.put(12, 4);
    efis.putDouble(40, kohlsman);
    efis.putDouble(48, 1.0);
    EXPECT_EQ(deliver(efis), "");
    EXPECT_EQ(std::bit_cast<std::uint64_t>(session.readState().kohlsmanMb),
              std::bit_cast<std::uint64_t>(kohlsman));
    EXPECT_EQ(session.readState().flightDirectorActive, 1.0);
    EXPECT_TRUE(session.first);

    Message autopilot(SIMCONNECT_RECV_ID_SIMOBJECT_DATA, 64);
    autopilot.put(12, 5);
    autopilot.putDouble(40, 250.0);
    autopilot.putDouble(48, 90.0);
    autopilot.putDouble(56, 12000.0);
    EXPECT_EQ(deliver(autopilot), "");
    EXPECT_EQ(session.readState().apAltitudeLock, 12000.0);
    EXPECT_EQ(std::bit_cast<std::uint64_t>(session.readState().kohlsmanMb),
              std::bit_cast<std::uint64_t>(kohlsman));

    Message other(SIMCONNECT_RECV_ID_SIMOBJECT_DATA, 64);
    other.put(12, 6);
    other.putDouble(56, 1.0);
    EXPECT_EQ(deliver(other), "");
    EXPECT_EQ(session.readState().apAltitudeLock, 12000.0);
}

TEST_F(Callback, DownlinkBlockIsCopiedWithoutItsFirstWord) {
    Message other(SIMCONNECT_RECV_ID_CLIENT_DATA, 172);
    other.put(12, 5321);
    other.put(44, 1234);
    EXPECT_EQ(deliver(other), "");
    EXPECT_EQ(session.readState().downlinkBlock[4], 0);
    EXPECT_FALSE(session.first);

    Message downlink(SIMCONNECT_RECV_ID_CLIENT_DATA, 172);
    downlink.put(12, 5322);
    downlink.put(40, 0xDEADBEEF);
    for (DWORD slot = 0; slot < 32; ++slot) downlink.put(44 + 4 * slot, 100 + slot);
    EXPECT_EQ(deliver(downlink), "");
    EXPECT_TRUE(session.first);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(session.readState().downlinkBlock[i], 0);
    EXPECT_EQ(std::memcmp(session.readState().downlinkBlock.data() + 4, downlink.data() + 44, 128), 0);
}

}  // namespace
