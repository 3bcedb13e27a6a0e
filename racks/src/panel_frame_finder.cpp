#include "racks/panel_frame_finder.h"

#include <algorithm>

namespace {

constexpr std::uint8_t kFrameStart = '{';
constexpr std::uint8_t kFrameEnd = '}';

}  // namespace

bool PanelFrameFinder::take(std::size_t count, std::uint8_t* frame) {
    fill_ += std::min(count, missing());
    if (keepFromStart(0)) ++wrongFirst_;
    while (fill_ == held_.size()) {
        if (held_.back() == kFrameEnd) {
            std::copy(held_.begin(), held_.end(), frame);
            fill_ = 0;
            return true;
        }
        ++wrongLast_;
        keepFromStart(1);
    }
    return false;
}

bool PanelFrameFinder::keepFromStart(std::size_t from) {
    const auto end = held_.begin() + static_cast<std::ptrdiff_t>(fill_);
    const auto first = held_.begin() + static_cast<std::ptrdiff_t>(std::min(from, fill_));
    const auto start = std::find(first, end, kFrameStart);
    fill_ = static_cast<std::size_t>(end - start);
    std::copy(start, end, held_.begin());
    return start != first;
}
