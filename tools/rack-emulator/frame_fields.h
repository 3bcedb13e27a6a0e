// Byte-level helpers shared by every rack: 32-bit fields inside a frame (little-endian) and
// hexadecimal text for the log and for raw actions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace rackemu {

using Bytes = std::vector<std::uint8_t>;

// Writes `value` little-endian at `offset`; the caller guarantees offset + 4 <= size.
void putInt32(std::span<std::uint8_t> frame, std::size_t offset, std::int32_t value);
std::int32_t getInt32(std::span<const std::uint8_t> frame, std::size_t offset);

std::string toHex(std::span<const std::uint8_t> bytes);
// Accepts pairs of hex digits, optionally separated by spaces; nullopt on anything else.
std::optional<Bytes> fromHex(std::string_view text);

Bytes bytesOf(std::string_view text);

}  // namespace rackemu
