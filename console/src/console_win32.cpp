// Windows' C runtime buffers a line-buffered stream fully, and an unbuffered one writes a
// formatted print piece by piece. So the output is buffered fully and flushed after each
// print that ends a line: what goes out is always whole lines, one write each print.
#include <cstdio>

#include "console_os.h"

namespace console_os {

namespace {
// Room for the longest print, the simulator's open answer.
constexpr std::size_t kBufferSize = 16384;
}  // namespace

void bufferLines() {
    std::setvbuf(stdout, nullptr, _IOFBF, kBufferSize);
}

// Windows has no journal: its services' output goes nowhere by itself.
bool outputIsJournal() {
    return false;
}

void lineEnded() {
    std::fflush(stdout);
}

}  // namespace console_os
