#include "rack-emulator/switch_latch.h"

namespace rackemu {

void SwitchLatch::pressed(const std::string& name) {
    unsentPresses_.insert(name);
    keptReleases_.erase(name);
}

bool SwitchLatch::releaseNow(const std::string& name) {
    if (unsentPresses_.count(name) == 0) return true;
    keptReleases_.insert(name);
    return false;
}

void SwitchLatch::cancel(const std::string& name) {
    unsentPresses_.erase(name);
    keptReleases_.erase(name);
}

std::vector<std::string> SwitchLatch::sent() {
    std::vector<std::string> due(keptReleases_.begin(), keptReleases_.end());
    unsentPresses_.clear();
    keptReleases_.clear();
    return due;
}

}  // namespace rackemu
