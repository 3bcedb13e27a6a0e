// Little-endian access to 32-bit fields at any byte offset: the simulator's messages, the
// cockpit-variable blocks and the panels' frames all lay out their numbers this way.
#pragma once

#include <cstdint>
#include <cstring>

inline void StoreU32(unsigned char* at, std::uint32_t value) {
    at[0] = static_cast<unsigned char>(value);
    at[1] = static_cast<unsigned char>(value >> 8);
    at[2] = static_cast<unsigned char>(value >> 16);
    at[3] = static_cast<unsigned char>(value >> 24);
}

inline std::uint32_t LoadU32(const unsigned char* at) {
    return std::uint32_t{at[0]} | std::uint32_t{at[1]} << 8 | std::uint32_t{at[2]} << 16 |
           std::uint32_t{at[3]} << 24;
}

inline void StoreF32(unsigned char* at, float value) {
    std::uint32_t bits = 0;
    static_assert(sizeof bits == sizeof value, "single precision is 32 bits");
    std::memcpy(&bits, &value, sizeof bits);
    StoreU32(at, bits);
}
