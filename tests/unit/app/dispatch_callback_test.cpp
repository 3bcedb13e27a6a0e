#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "app/sim_session.h"
#include "base/little_endian.h"

namespace {

// A received message as the client library delivers it: little-endian words at offsets.
struct Message : std::vector<std::uint8_t> {
    Message(DWORD id, std::size_t size) : std::vector<std::uint8_t>(size, 0) {
        put(0, static_cast<DWORD>(size));
        put(4, 5);
        put(8, id);
    }
    // A word that runs past the end is cut off there.
    void put(std::size_t at, DWORD word) {
        unsigned char bytes[4];
        StoreU32(bytes, word);
        for (std::size_t i = 0; i < 4 && at + i < size(); ++i) (*this)[at + i] = bytes[i];
    }
};

class Callback : public testing::Test {
protected:
    // Hands the message over as the dispatch call does and returns what was printed.
    std::string deliver(Message& message, DWORD cbData = 0) {
        testing::internal::CaptureStdout();
        dispatchToSimSession(reinterpret_cast<SIMCONNECT_RECV*>(message.data()),
                             cbData != 0 ? cbData : static_cast<DWORD>(message.size()), &session);
        return testing::internal::GetCapturedStdout();
    }

    StateLock stateLock;
    RackMutex rackMutex;
    SimSession session{&stateLock, &rackMutex};
};

// The banner is checked whole on the wire (service_wire_test); here, a name without a
// terminator stops at the end of its field.
TEST_F(Callback, OpenAnswerPrintsTheBannerAndMarksTheSimulatorAlive) {
    Message open(SIMCONNECT_RECV_ID_OPEN, 308);
    std::memset(open.data() + 12, 'N', 256);
    for (DWORD i = 0; i < 8; ++i) open.put(268 + 4 * i, 10 + i);
    EXPECT_NE(deliver(open).find("\tApp name: " + std::string(256, 'N') + "\n\tApp Major Vrs: 10\n"),
              std::string::npos);
    EXPECT_TRUE(session.first);
}

// Every field after the header is filled, so that anything stored shows.
TEST_F(Callback, MessagesShorterThanTheirFieldsAreReportedAndDropped) {
    struct Case {
        DWORD id;
        std::size_t size;
        DWORD request, delivered;
        const char* printed;
    };
    // Request 4 carries two doubles, here one; the size the library delivered limits the
    // message even when dwSize claims more.
    for (const Case& c : {Case{SIMCONNECT_RECV_ID_OPEN, 299, 0, 299, "\nReceived:2\n"},
                          Case{SIMCONNECT_RECV_ID_EVENT, 19, 0, 19, "\nReceived:4\n"},
                          Case{SIMCONNECT_RECV_ID_EXCEPTION, 15, 0, 15, "\nReceived:1\n"},
                          Case{SIMCONNECT_RECV_ID_SIMOBJECT_DATA, 48, 4, 48, "\nReceived:8\n"},
                          Case{SIMCONNECT_RECV_ID_CLIENT_DATA, 172, 5322, 171, "\nReceived:16\n"},
                          Case{SIMCONNECT_RECV_ID_QUIT, 12, 0, 11, ""}}) {
        Message message(c.id, c.size);
        for (std::size_t at = 16; at < c.size; ++at) message[at] = 0x42;
        if (c.request != 0) message.put(12, c.request);
        EXPECT_EQ(deliver(message, c.delivered), c.printed) << c.id;
    }
    EXPECT_FALSE(session.first);
    EXPECT_EQ(session.readState().kohlsmanMb, 0.0);
    EXPECT_EQ(session.readState().downlinkBlock[4], 0);
    EXPECT_EQ(session.quit, 0);
}

// An exception, an unknown kind and the quit as printed are checked on the wire
// (service_wire_test); here, what events and the quit leave in the session.
TEST_F(Callback, OnlySimStartMarksTheSimulatorAliveAndQuitNeedsNoOpenAnswer) {
    Message otherEvent(SIMCONNECT_RECV_ID_EVENT, 24);
    otherEvent.put(12, 0xFFFFFFFF);
    otherEvent.put(16, 3);
    EXPECT_EQ(deliver(otherEvent), "");
    EXPECT_FALSE(session.first);
    Message simStart(SIMCONNECT_RECV_ID_EVENT, 24);
    simStart.put(12, 0xFFFFFFFF);
    EXPECT_EQ(deliver(simStart), "");
    EXPECT_TRUE(session.first);
    Message quit(SIMCONNECT_RECV_ID_QUIT, 12);
    deliver(quit);
    EXPECT_EQ(session.quit, 1);
}

}  // namespace
