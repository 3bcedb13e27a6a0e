// The two transports a connection may use; the values are those of the configuration's
// plan.
#pragma once

#include <cstdint>

enum class TransportType : std::uint32_t { Tcp = 0, Pipe = 1 };
