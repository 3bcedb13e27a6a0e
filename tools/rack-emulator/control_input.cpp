#include "rack-emulator/control_input.h"

namespace rackemu {

std::vector<std::string> LineSplitter::feed(std::string_view bytes) {
    std::vector<std::string> lines;
    for (char c : bytes) {
        if (c != '\n') {
            partial_.push_back(c);
            continue;
        }
        lines.push_back(std::move(partial_));
        partial_.clear();
    }
    return lines;
}

std::vector<std::string> LineSplitter::finish() {
    std::vector<std::string> lines;
    if (!partial_.empty()) lines.push_back(std::move(partial_));
    partial_.clear();
    return lines;
}

}  // namespace rackemu
