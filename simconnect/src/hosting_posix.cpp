// Without a window system no simulator can host the library: detection finds nothing,
// and posts go to the sink that a test may install.
#include <atomic>

#include "hosting.h"

namespace {
std::atomic<HostCommandSink*> installedSink{nullptr};
}

HostCommandSink* SetHostCommandSink(HostCommandSink* sink) {
    return installedSink.exchange(sink);
}

namespace hosting_os {

HWND DetectHostWindow() {
    return nullptr;
}

void PostHostCommand(HWND window, std::intptr_t lParam) {
    if (HostCommandSink* sink = installedSink.load()) sink->PostHostCommand(window, lParam);
}

}  // namespace hosting_os
