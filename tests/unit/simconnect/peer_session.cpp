#include "tests/unit/simconnect/peer_session.h"

#include "simconnect/request_functions.h"
#include "tests/support/process.h"

using namespace loopback_peer;
using namespace std::chrono_literals;

PeerSession::~PeerSession() {
    Close();
}

HRESULT PeerSession::Close() {
    const HRESULT result = handle != nullptr ? SimConnect_Close(handle) : E_FAIL;
    handle = nullptr;
    return result;
}

void OpenPeerSession(PeerSession& out, const std::string& tag, const PeerOptions& options) {
    ConnectionSettings settings;
    settings.maxReceiveSize = options.maxReceiveSize;
    if (options.tcp) {
        out.listener = Listener::Tcp();
        settings.protocol = kFamilyIPv4;
        settings.address = "127.0.0.1";
        ASSERT_TRUE(out.listener);
        settings.port = out.listener->Port();
    } else {
        settings.port = UniquePipeName(tag);
        out.listener = Listener::Pipe(BuildPipePath("", settings.port));
        ASSERT_TRUE(out.listener);
    }
    ASSERT_EQ(OpenWithSettings(&out.handle, "peer test", settings, options.window, options.message,
                               options.event),
              S_OK);
    out.peer = out.listener->Accept();
    ASSERT_TRUE(out.peer);
    out.openRequest = out.peer->ReadMessage();
    ASSERT_EQ(out.openRequest.size(), 296u);
}

Dispatched DispatchOnce(HANDLE handle) {
    Dispatched dispatched;
    dispatched.result = SimConnect_CallDispatch(
        handle,
        [](SIMCONNECT_RECV* data, DWORD size, void* context) {
            const auto* bytes = reinterpret_cast<const std::uint8_t*>(data);
            static_cast<Dispatched*>(context)->messages.emplace_back(bytes, bytes + size);
        },
        &dispatched);
    return dispatched;
}

bool WaitForQueued(ClientClient* session, std::uint32_t count) {
    return testsupport::waitUntil([&] { return session->QueuedMessages() >= count; }, 5000ms);
}

bool WaitForFailure(ClientClient* session) {
    return testsupport::waitUntil([&] { return session->HasFailed(); }, 5000ms);
}
