// Finds a panel's fixed-length frames ('{', fields, '}') in bytes that arrive in pieces: a
// frame begun in one read is completed by the next, bytes before a '{' are skipped, and a
// '{' whose frame's length of bytes does not end in '}' is taken for a false start (a
// stray byte, or a field byte that happens to be 0x7B) and the search goes on from the
// next '{' after it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class PanelFrameFinder {
public:
    explicit PanelFrameFinder(std::size_t length) : held_(length) {}

    std::size_t length() const { return held_.size(); }
    // How many bytes would complete the frame begun, and where they are to be read to.
    std::size_t missing() const { return held_.size() - fill_; }
    std::uint8_t* space() { return held_.data() + fill_; }
    // Takes `count` bytes just read into space(). True when they completed a frame: it is
    // copied to `frame` (length() bytes) and the search starts afresh after it.
    bool take(std::size_t count, std::uint8_t* frame);
    // Forgets the frame begun: what follows can no longer be trusted to continue it.
    void clear() { fill_ = 0; }
    bool begun() const { return fill_ > 0; }

    // What was dropped so far: stretches of bytes that did not start with '{', and frames
    // whose last byte was not '}'.
    std::uint64_t wrongFirstBytes() const { return wrongFirst_; }
    std::uint64_t wrongLastBytes() const { return wrongLast_; }

private:
    // Keeps the held bytes from the first '{' at or after `from`, dropping those before it;
    // true when any byte at or after `from` was dropped.
    bool keepFromStart(std::size_t from);

    std::vector<std::uint8_t> held_;
    std::size_t fill_ = 0;
    std::uint64_t wrongFirst_ = 0;
    std::uint64_t wrongLast_ = 0;
};
