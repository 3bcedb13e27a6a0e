// Makes every press reach the line: a release that comes before any message or frame has
// carried the press waits until one has, so a short hold is never lost between two sends.
#pragma once

#include <set>
#include <string>
#include <vector>

namespace rackemu {

class SwitchLatch {
public:
    void pressed(const std::string& name);
    // True when the release may take effect now; otherwise it is kept for the next send.
    bool releaseNow(const std::string& name);
    // A plain value set overrides whatever press or release was pending.
    void cancel(const std::string& name);
    // Called after a send; returns the switches whose kept release is due now.
    std::vector<std::string> sent();

private:
    std::set<std::string> unsentPresses_;
    std::set<std::string> keptReleases_;
};

}  // namespace rackemu
