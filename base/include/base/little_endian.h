// Little-endian fields at any byte offset: the simulator's messages, the cockpit-variable
// blocks and the panels' frames all lay out their numbers this way. The values are put
// together byte by byte, so no access is misaligned and the host's byte order does not
// matter.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

inline void StoreU16(unsigned char* at, std::uint16_t value) {
    at[0] = static_cast<unsigned char>(value);
    at[1] = static_cast<unsigned char>(value >> 8);
}

inline std::uint16_t LoadU16(const unsigned char* at) {
    return static_cast<std::uint16_t>(at[0] | at[1] << 8);
}

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

inline void StoreU64(unsigned char* at, std::uint64_t value) {
    StoreU32(at, static_cast<std::uint32_t>(value));
    StoreU32(at + 4, static_cast<std::uint32_t>(value >> 32));
}

inline std::uint64_t LoadU64(const unsigned char* at) {
    return std::uint64_t{LoadU32(at)} | std::uint64_t{LoadU32(at + 4)} << 32;
}

// Signed fields are stored in two's complement, as their unsigned bits.
inline void StoreI32(unsigned char* at, std::int32_t value) {
    StoreU32(at, static_cast<std::uint32_t>(value));
}

inline std::int32_t LoadI32(const unsigned char* at) {
    return static_cast<std::int32_t>(LoadU32(at));
}

// Floating-point fields are their IEEE 754 bits, stored as the integer of the same width.
inline void StoreF32(unsigned char* at, float value) {
    StoreU32(at, std::bit_cast<std::uint32_t>(value));
}

inline float LoadF32(const unsigned char* at) {
    return std::bit_cast<float>(LoadU32(at));
}

inline void StoreF64(unsigned char* at, double value) {
    StoreU64(at, std::bit_cast<std::uint64_t>(value));
}

inline double LoadF64(const unsigned char* at) {
    return std::bit_cast<double>(LoadU64(at));
}
