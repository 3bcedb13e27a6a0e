// A line-buffered stream is written out at each line end by the C library itself.
#include <cstdio>

#include "console_os.h"

namespace console_os {

void bufferLines() {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
}

void lineEnded() {}

}  // namespace console_os
