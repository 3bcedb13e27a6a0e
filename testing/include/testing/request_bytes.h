// Requests as a client puts them on the wire, and a peer's messages cut apart, for tests
// that speak the protocol without the client library. Portable: no operating-system call.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "base/little_endian.h"
#include "simconnect/request_layout.h"

namespace wirebytes {

using Bytes = std::vector<std::uint8_t>;

inline void put32(Bytes& b, std::uint32_t v) {
    b.resize(b.size() + 4);
    StoreU32(&b[b.size() - 4], v);
}

inline std::uint32_t get32(const Bytes& b, std::size_t at) {
    return LoadU32(&b[at]);
}

inline double getDouble(const Bytes& b, std::size_t at) {
    return LoadF64(&b[at]);
}

inline Bytes words(std::initializer_list<std::uint32_t> values) {
    Bytes b;
    for (std::uint32_t v : values) put32(b, v);
    return b;
}

inline Bytes join(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A 256-byte text field.
inline Bytes text(const std::string& value) {
    Bytes field(request_layout::kTextSize, 0);
    std::memcpy(field.data(), value.data(), std::min<std::size_t>(value.size(), 255));
    return field;
}

// A request of number `number` with the body given; dwSize counts the header.
inline Bytes request(std::uint32_t number, std::uint32_t sendId, const Bytes& body) {
    return join(words({static_cast<std::uint32_t>(16 + body.size()), request_layout::kProtocolVersion,
                       request_layout::kIdBase + number, sendId}),
                body);
}

inline Bytes openRequest(std::uint32_t sendId = 1) {
    return request(request_layout::kOpen, sendId,
                   join(text("standin test"), words({0, 0x004B4800, 11, 0, 62651, 3})));
}

inline Bytes mapEvent(std::uint32_t sendId, std::uint32_t eventId, const std::string& name) {
    return request(request_layout::kMapClientEventToSimEvent, sendId, join(words({eventId}), text(name)));
}

inline Bytes transmit(std::uint32_t sendId, std::uint32_t eventId, std::uint32_t data = 0) {
    return request(request_layout::kTransmitClientEvent, sendId, words({0, eventId, data, 1, 16}));
}

inline Bytes subscribe(std::uint32_t sendId, std::uint32_t eventId, const std::string& name) {
    return request(request_layout::kSubscribeToSystemEvent, sendId, join(words({eventId}), text(name)));
}

inline Bytes addDatum(std::uint32_t sendId, std::uint32_t defineId, const std::string& name,
                      const std::string& units, std::uint32_t type = 4) {
    const Bytes body = join(join(words({defineId}), text(name)), text(units));
    return request(request_layout::kAddToDataDefinition, sendId, join(body, words({type, 0, 0xFFFFFFFFu})));
}

// Period 4 (SECOND) with the CHANGED flag, as the service asks.
inline Bytes requestData(std::uint32_t sendId, std::uint32_t requestId, std::uint32_t defineId) {
    return request(request_layout::kRequestDataOnSimObject, sendId,
                   words({requestId, defineId, 0, 4, 1, 0, 0, 0}));
}

inline Bytes mapClientData(std::uint32_t sendId, const std::string& name, std::uint32_t id) {
    return request(request_layout::kMapClientDataNameToID, sendId, join(text(name), words({id})));
}

inline Bytes setClientData(std::uint32_t sendId, std::uint32_t areaId, std::uint32_t defineId,
                           const Bytes& block) {
    const Bytes head = words({areaId, defineId, 0, 0, static_cast<std::uint32_t>(block.size())});
    return request(request_layout::kSetClientData, sendId, join(head, block));
}

// The messages of a byte stream, each whole; a cut-off tail is dropped.
inline std::vector<Bytes> splitMessages(const Bytes& stream) {
    std::vector<Bytes> messages;
    for (std::size_t at = 0; at + 4 <= stream.size();) {
        const std::uint32_t size = get32(stream, at);
        if (size < 12 || at + size > stream.size()) break;
        messages.emplace_back(stream.begin() + static_cast<std::ptrdiff_t>(at),
                              stream.begin() + static_cast<std::ptrdiff_t>(at + size));
        at += size;
    }
    return messages;
}

inline std::uint32_t messageId(const Bytes& message) {
    return get32(message, 8);
}

}  // namespace wirebytes
