// The wire's bytes: messages as byte vectors, their numbers little-endian (the bottom
// library's loads and stores).
#pragma once

#include <cstdint>
#include <vector>

#include "base/little_endian.h"

namespace standin {

using Bytes = std::vector<std::uint8_t>;

}  // namespace standin
