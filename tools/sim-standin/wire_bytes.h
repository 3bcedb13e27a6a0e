// Little-endian loads and stores for the wire. They assemble values byte by byte, so
// they never read misaligned memory and do not depend on the host's byte order.
#pragma once

#include <bit>
#include <cstdint>
#include <vector>

namespace standin {

inline std::uint32_t loadU32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

inline std::uint64_t loadU64(const std::uint8_t* p) {
    return static_cast<std::uint64_t>(loadU32(p)) | static_cast<std::uint64_t>(loadU32(p + 4))
                                                        << 32;
}

inline void storeU32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

inline void storeU64(std::uint8_t* p, std::uint64_t v) {
    storeU32(p, static_cast<std::uint32_t>(v));
    storeU32(p + 4, static_cast<std::uint32_t>(v >> 32));
}

inline float loadF32(const std::uint8_t* p) {
    return std::bit_cast<float>(loadU32(p));
}
inline double loadF64(const std::uint8_t* p) {
    return std::bit_cast<double>(loadU64(p));
}
inline void storeF32(std::uint8_t* p, float v) {
    storeU32(p, std::bit_cast<std::uint32_t>(v));
}
inline void storeF64(std::uint8_t* p, double v) {
    storeU64(p, std::bit_cast<std::uint64_t>(v));
}

using Bytes = std::vector<std::uint8_t>;

}  // namespace standin
