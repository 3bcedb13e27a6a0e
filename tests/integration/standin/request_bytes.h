// Requests as a client puts them on the wire, and the stand-in's messages cut apart, for
// tests that speak to the stand-in without the client library.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "simconnect/request_layout.h"

namespace standin_test {

using Bytes = std::vector<std::uint8_t>;

inline void put32(Bytes& b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

inline std::uint32_t get32(const Bytes& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

inline double getDouble(const Bytes& b, std::size_t at) {
    double value = 0;
    std::memcpy(&value, &b[at], 8);
    return value;
}

inline void putText(Bytes& b, const std::string& text) {
    Bytes field(request_layout::kTextSize, 0);
    std::memcpy(field.data(), text.data(), std::min<std::size_t>(text.size(), 255));
    b.insert(b.end(), field.begin(), field.end());
}

// A request of number `number` with the body given; dwSize counts the header.
inline Bytes request(std::uint32_t number, std::uint32_t sendId, const Bytes& body) {
    Bytes b;
    put32(b, static_cast<std::uint32_t>(16 + body.size()));
    put32(b, request_layout::kProtocolVersion);
    put32(b, request_layout::kIdBase + number);
    put32(b, sendId);
    b.insert(b.end(), body.begin(), body.end());
    return b;
}

inline Bytes words(std::initializer_list<std::uint32_t> values) {
    Bytes b;
    for (std::uint32_t v : values) put32(b, v);
    return b;
}

inline Bytes openRequest(std::uint32_t sendId = 1) {
    Bytes body;
    putText(body, "standin test");
    put32(body, 0);
    body.insert(body.end(), {0x00, 0x48, 0x4B, 0x00});
    const Bytes versions = words({11, 0, 62651, 3});
    body.insert(body.end(), versions.begin(), versions.end());
    return request(request_layout::kOpen, sendId, body);
}

inline Bytes idAndText(std::uint32_t id, const std::string& text) {
    Bytes body = words({id});
    putText(body, text);
    return body;
}

inline Bytes mapEvent(std::uint32_t sendId, std::uint32_t eventId, const std::string& name) {
    return request(request_layout::kMapClientEventToSimEvent, sendId, idAndText(eventId, name));
}

inline Bytes transmit(std::uint32_t sendId, std::uint32_t eventId, std::uint32_t data = 0) {
    return request(request_layout::kTransmitClientEvent, sendId, words({0, eventId, data, 1, 16}));
}

inline Bytes subscribe(std::uint32_t sendId, std::uint32_t eventId, const std::string& name) {
    return request(request_layout::kSubscribeToSystemEvent, sendId, idAndText(eventId, name));
}

inline Bytes addDatum(std::uint32_t sendId, std::uint32_t defineId, const std::string& name,
                      const std::string& units, std::uint32_t type = 4) {
    Bytes body = words({defineId});
    putText(body, name);
    putText(body, units);
    const Bytes tail = words({type, 0, 0xFFFFFFFFu});
    body.insert(body.end(), tail.begin(), tail.end());
    return request(request_layout::kAddToDataDefinition, sendId, body);
}

// Period 4 (SECOND) with the CHANGED flag, as the service asks.
inline Bytes requestData(std::uint32_t sendId, std::uint32_t requestId, std::uint32_t defineId,
                         std::uint32_t period = 4, std::uint32_t flags = 1) {
    return request(request_layout::kRequestDataOnSimObject, sendId,
                   words({requestId, defineId, 0, period, flags, 0, 0, 0}));
}

inline Bytes setData(std::uint32_t sendId, std::uint32_t defineId,
                     const std::vector<double>& values) {
    Bytes body = words({defineId, 0, 0, 1, static_cast<std::uint32_t>(values.size() * 8)});
    for (double v : values) {
        std::uint8_t raw[8];
        std::memcpy(raw, &v, 8);
        body.insert(body.end(), raw, raw + 8);
    }
    return request(request_layout::kSetDataOnSimObject, sendId, body);
}

inline Bytes mapClientData(std::uint32_t sendId, const std::string& name, std::uint32_t id) {
    Bytes body;
    putText(body, name);
    put32(body, id);
    return request(request_layout::kMapClientDataNameToID, sendId, body);
}

inline Bytes addClientDatum(std::uint32_t sendId, std::uint32_t defineId, std::uint32_t offset,
                            std::uint32_t size) {
    return request(request_layout::kAddToClientDataDefinition, sendId,
                   words({defineId, offset, size, 0, 0xFFFFFFFFu}));
}

// Period 3 (ON_SET) with the CHANGED flag, as the service asks.
inline Bytes requestClientData(std::uint32_t sendId, std::uint32_t areaId, std::uint32_t requestId,
                               std::uint32_t defineId) {
    return request(request_layout::kRequestClientData, sendId,
                   words({areaId, requestId, defineId, 3, 1, 0, 0, 0}));
}

// A 132-byte uplink block: kind 3 (set) with a value, or kind 2 (trigger).
inline Bytes uplinkBlock(std::uint32_t sequence, std::uint8_t kind, const std::string& name,
                         std::uint16_t value = 0) {
    Bytes block(132, 0);
    for (int i = 0; i < 4; ++i) block[i] = static_cast<std::uint8_t>(sequence >> (8 * i));
    block[4] = kind;
    std::size_t at = 5;
    if (kind == 3) {
        block[5] = static_cast<std::uint8_t>(value);
        block[6] = static_cast<std::uint8_t>(value >> 8);
        at = 7;
    }
    std::memcpy(&block[at], name.data(), name.size());
    return block;
}

inline Bytes setClientData(std::uint32_t sendId, std::uint32_t areaId, std::uint32_t defineId,
                           const Bytes& block) {
    Bytes body = words({areaId, defineId, 0, 0, static_cast<std::uint32_t>(block.size())});
    body.insert(body.end(), block.begin(), block.end());
    return request(request_layout::kSetClientData, sendId, body);
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

}  // namespace standin_test
