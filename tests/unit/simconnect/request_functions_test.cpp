// The bytes that each request function puts on the wire, read by a peer on a real pipe.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "testing/request_bytes.h"
#include "peer_session.h"

using loopback_peer::Bytes;
using loopback_peer::U32At;
using wirebytes::join;
using wirebytes::words;

namespace {

// The bytes of a message from `from` to `to` (the end when 0).
Bytes Part(const Bytes& bytes, std::size_t from, std::size_t to = 0) {
    return Bytes(bytes.begin() + from, to == 0 ? bytes.end() : bytes.begin() + to);
}

std::string TextAt(const Bytes& bytes, std::size_t offset) {
    return std::string(reinterpret_cast<const char*>(bytes.data() + offset));
}

}  // namespace

TEST(RequestFunctions, OpenRequestAndAClientEventBytes) {
    PeerSession s("open-bytes");
    const Bytes& open = s.openRequest;
    EXPECT_EQ(Part(open, 0, 16), words({296, 5, 0xF0000001, 1}));
    EXPECT_EQ(TextAt(open, 16), "peer test");
    EXPECT_EQ(Part(open, 16 + 9, 272), Bytes(256 - 9, 0));
    EXPECT_EQ(U32At(open, 272), 0u);
    EXPECT_EQ(Part(open, 276, 280), (Bytes{0x00, 0x48, 0x4B, 0x00}));
    EXPECT_EQ(Part(open, 280), words({11, 0, 62651, 3}));

    ASSERT_EQ(SimConnect_TransmitClientEvent(s.handle, 0, 7, 0, 1, 16), S_OK);
    EXPECT_EQ(s.peer->ReadMessage(), words({36, 5, 0xF0000005, 2, 0, 7, 0, 1, 16}));
}

TEST(RequestFunctions, TextFieldsHoldAtMost255CharactersAndNullIsAllZero) {
    PeerSession s("texts");
    const std::string longest(255, 'x');
    ASSERT_EQ(SimConnect_MapClientEventToSimEvent(s.handle, 9, longest.c_str()), S_OK);
    const Bytes mapped = s.peer->ReadMessage();
    ASSERT_EQ(mapped.size(), 276u);
    EXPECT_EQ(Part(mapped, 0, 20), words({276, 5, 0xF0000004, 2, 9}));
    EXPECT_EQ(TextAt(mapped, 20), longest);
    EXPECT_EQ(mapped[275], 0);

    // A text of 256 characters sends nothing and uses up its send id.
    const std::string tooLong(256, 'y');
    EXPECT_EQ(SimConnect_MapClientEventToSimEvent(s.handle, 9, tooLong.c_str()),
              SIMCONNECT_E_TEXT_TOO_LONG);
    EXPECT_EQ(SimConnect_AddToDataDefinition(s.handle, 1, "PLANE ALTITUDE", tooLong.c_str(),
                                             SIMCONNECT_DATATYPE_FLOAT64, 0, 0),
              SIMCONNECT_E_TEXT_TOO_LONG);
    EXPECT_EQ(s.session()->TEST_BuildAreaUsed(), 0u);
    EXPECT_EQ(Bytes(s.session()->TEST_BuildArea(), s.session()->TEST_BuildArea() + 1024), Bytes(1024, 0));

    ASSERT_EQ(SimConnect_SubscribeToSystemEvent(s.handle, 4, nullptr), S_OK);
    EXPECT_EQ(s.peer->ReadMessage(), join(words({276, 5, 0xF0000017, 5, 4}), Bytes(256, 0)));
    ASSERT_EQ(SimConnect_MapClientDataNameToID(s.handle, nullptr, 5321), S_OK);
    EXPECT_EQ(s.peer->ReadMessage(),
              join(join(words({276, 5, 0xF0000037, 6}), Bytes(256, 0)), words({5321})));
}

TEST(RequestFunctions, DefinitionAndDataRequestLayouts) {
    PeerSession s("layouts");
    ASSERT_EQ(SimConnect_AddToDataDefinition(s.handle, 3, "RUDDER POSITION", nullptr,
                                             SIMCONNECT_DATATYPE_FLOAT64, 0.25f, 0xFFFFFFFF),
              S_OK);
    // The service's whole run checks the names; here, a non-zero epsilon's bits.
    const Bytes definition = s.peer->ReadMessage();
    ASSERT_EQ(definition.size(), 544u);
    EXPECT_EQ(Part(definition, 532), words({4, 0x3E800000, 0xFFFFFFFF}));

    ASSERT_EQ(SimConnect_RequestDataOnSimObject(s.handle, 4, 4, 0, SIMCONNECT_PERIOD_SECOND, 1, 2, 3, 6),
              S_OK);
    EXPECT_EQ(s.peer->ReadMessage(), words({48, 5, 0xF000000E, 3, 4, 4, 0, 4, 1, 2, 3, 6}));

    ASSERT_EQ(SimConnect_RequestClientData(s.handle, 5321, 5322, 5323,
                                           SIMCONNECT_CLIENT_DATA_PERIOD_ON_SET, 1, 0, 0, 0),
              S_OK);
    EXPECT_EQ(s.peer->ReadMessage(), words({48, 5, 0xF000003B, 4, 5321, 5322, 5323, 3, 1, 0, 0, 0}));

    ASSERT_EQ(SimConnect_AddToClientDataDefinition(s.handle, 5324, 8, 4, 0.5f, 1), S_OK);
    EXPECT_EQ(s.peer->ReadMessage(), words({36, 5, 0xF0000039, 5, 5324, 8, 4, 0x3F000000, 1}));
}

TEST(RequestFunctions, DataBlocksFollowTheFixedBody) {
    PeerSession s("blocks");
    unsigned char data[132];
    for (std::size_t i = 0; i < sizeof data; ++i) data[i] = static_cast<unsigned char>(i + 1);

    // A count of 0 is sent as 1 with one element of data.
    ASSERT_EQ(SimConnect_SetDataOnSimObject(s.handle, 3, 0, 0, 0, 24, data), S_OK);
    EXPECT_EQ(s.peer->ReadMessage(),
              join(words({60, 5, 0xF0000010, 2, 3, 0, 0, 1, 24}), Bytes(data, data + 24)));

    ASSERT_EQ(SimConnect_SetClientData(s.handle, 5322, 5324, 0, 0xABCD, 132, data), S_OK);
    EXPECT_EQ(s.peer->ReadMessage(), join(words({168, 5, 0xF000003C, 3, 5322, 5324, 0, 0xABCD, 132}),
                                          Bytes(data, data + 132)));
}

TEST(RequestFunctions, RequestsThatCannotBeBuiltAreRefusedWithoutSending) {
    PeerSession s("refused");
    std::vector<unsigned char> big(41088);
    // The largest block that fits the build area goes out; one byte more is refused.
    ASSERT_EQ(SimConnect_SetClientData(s.handle, 1, 1, 0, 0, 41088 - 36, big.data()), S_OK);
    EXPECT_EQ(s.peer->ReadMessage().size(), 41088u);
    EXPECT_EQ(SimConnect_SetClientData(s.handle, 1, 1, 0, 0, 41088 - 35, big.data()), E_INVALIDARG);
    // 65536 x 65536 bytes wraps to 0 in 32 bits, and 36 + 0xFFFFFFF0 wraps to 20.
    EXPECT_EQ(SimConnect_SetDataOnSimObject(s.handle, 1, 0, 0, 65536, 65536, big.data()), E_INVALIDARG);
    EXPECT_EQ(SimConnect_SetClientData(s.handle, 1, 1, 0, 0, 0xFFFFFFF0u, big.data()), E_INVALIDARG);
    EXPECT_EQ(SimConnect_SetClientData(s.handle, 1, 1, 0, 0, 4, nullptr), E_INVALIDARG);
    EXPECT_EQ(s.session()->TEST_BuildAreaUsed(), 0u);

    // No send id was taken by the refused requests.
    ASSERT_EQ(SimConnect_TransmitClientEvent(s.handle, 0, 1, 0, 1, 16), S_OK);
    EXPECT_EQ(U32At(s.peer->ReadMessage(), 12), 3u);
}

TEST(RequestFunctions, NullHandleFailsBeforeAnyArgumentIsLookedAt) {
    EXPECT_EQ(SimConnect_TransmitClientEvent(nullptr, 0, 1, 0, 1, 16), E_FAIL);
    EXPECT_EQ(SimConnect_SetClientData(nullptr, 1, 1, 0, 0, 4, nullptr), E_FAIL);
    EXPECT_EQ(SimConnect_SetDataOnSimObject(nullptr, 1, 0, 0, 65536, 65536, nullptr), E_FAIL);
    EXPECT_EQ(SimConnect_CallDispatch(nullptr, nullptr, nullptr), E_FAIL);
    EXPECT_EQ(SimConnect_Close(nullptr), E_FAIL);
    HANDLE handle = reinterpret_cast<HANDLE>(1);
    EXPECT_EQ(SimConnect_Open(&handle, nullptr, nullptr, 0, nullptr, 0), E_INVALIDARG);
    EXPECT_EQ(handle, nullptr);
}
