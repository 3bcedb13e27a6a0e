// A rack's serial line held in memory (testing/memory_line.h), fed from a fuzz input.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <string>
#include <vector>

#include "testing/memory_line.h"

namespace fuzz {

using testsupport::MemoryLine;

// The rest of the input as the reads of a line might see it: pieces of 0 to `largest`
// bytes, their sizes taken from the input's end.
inline std::vector<std::string> linePieces(FuzzedDataProvider& input, std::size_t largest) {
    std::vector<std::string> pieces;
    while (input.remaining_bytes() > 0)
        pieces.push_back(input.ConsumeBytesAsString(input.ConsumeIntegralInRange<std::size_t>(0, largest)));
    return pieces;
}

}  // namespace fuzz
