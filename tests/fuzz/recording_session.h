// A simulator session for the fuzz targets that drive the rack handlers: the client
// library opens it to a pipe of this process's own, so the racks' calls go through the
// library, and every run's requests are read back and checked.
#pragma once

#include <sys/socket.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "app/sim_session.h"
#include "simconnect/request_layout.h"
#include "request_functions.h"
#include "session.h"
#include "testing/loopback_peer.h"

namespace fuzz {

class RecordingSession {
public:
    RecordingSession() {
        ConnectionSettings settings;
        settings.port = loopback_peer::UniquePipeName("fuzz");
        listener_ = loopback_peer::Listener::Pipe(BuildPipePath("", settings.port));
        if (!listener_ || OpenWithSettings(&session.hSimConnect, "fuzz", settings) != S_OK) std::abort();
        peer_ = listener_->Accept();
        if (!peer_ || peer_->ReadMessage().size() != request_layout::kOpenSize) std::abort();
        session.coon = true;
        session.first = true;
        session.registerCockpitVars();
    }

    // Reads what the run sent: only whole requests of the kinds the racks make.
    void check() {
        namespace rl = request_layout;
        static_cast<ClientClient*>(session.hSimConnect)->WaitForSendsToDrain(std::chrono::seconds(1));
        std::uint8_t chunk[65536];
        for (ssize_t n; (n = recv(peer_->fd(), chunk, sizeof chunk, MSG_DONTWAIT)) > 0;)
            received_.insert(received_.end(), chunk, chunk + n);
        std::size_t at = 0;
        while (received_.size() - at >= rl::kHeaderSize) {
            const std::uint32_t size = loopback_peer::U32At(received_, at);
            const std::uint32_t id = loopback_peer::U32At(received_, at + 8) - rl::kIdBase;
            const bool known = id == rl::kTransmitClientEvent
                                   ? size == rl::kTransmitClientEventSize
                                   : (id == rl::kSetDataOnSimObject || id == rl::kSetClientData) &&
                                         size > rl::kDataBlockBodySize;
            if (!known) {
                std::fprintf(stderr, "fuzz: request %u of %u bytes\n", id, size);
                std::abort();
            }
            if (received_.size() - at < size) break;
            at += size;
        }
        received_.erase(received_.begin(), received_.begin() + static_cast<std::ptrdiff_t>(at));
    }

    StateLock stateLock;
    RackMutex rackMutex;
    SimSession session{&stateLock, &rackMutex};

private:
    std::optional<loopback_peer::Listener> listener_;
    std::optional<loopback_peer::Connection> peer_;
    loopback_peer::Bytes received_;
};

}  // namespace fuzz
