// A rack's serial line held in memory, for the fuzz targets that drive the rack handlers.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "serial/serial_line.h"

namespace fuzz {

// The rack's bytes come in the given pieces, at most one piece a read, and once they are
// used up the line reads as hung up. What the handler writes is kept.
class MemoryLine : public SerialLine {
public:
    explicit MemoryLine(std::vector<std::string> pieces, char start = '{', char end = '}')
        : pieces_(std::move(pieces)), start_(start), end_(end) {}

    bool drained() const { return next_ == pieces_.size(); }
    std::string written;

    bool isConnected() const override { return true; }
    void refreshStatus() override {
        status_.cbInQue = drained() ? 0 : static_cast<std::uint32_t>(pieces_[next_].size() - at_);
    }
    const SerialLineStatus& lineStatus() const override { return status_; }
    bool readBytes(void* buffer, std::uint32_t count, std::uint32_t& transferred) override {
        transferred = 0;
        if (drained()) return false;
        const std::string& piece = pieces_[next_];
        transferred = static_cast<std::uint32_t>(std::min<std::size_t>(count, piece.size() - at_));
        std::memcpy(buffer, piece.data() + at_, transferred);
        at_ += transferred;
        if (at_ == piece.size()) {
            ++next_;
            at_ = 0;
        }
        return true;
    }
    bool writeBytes(const void* buffer, std::uint32_t count) override {
        written.append(static_cast<const char*>(buffer), count);
        return true;
    }
    void waitForInput(std::chrono::steady_clock::time_point) override {}
    void close() override {}
    char startDelimiter() const override { return start_; }
    char endDelimiter() const override { return end_; }

private:
    std::vector<std::string> pieces_;
    std::size_t next_ = 0;
    std::size_t at_ = 0;
    SerialLineStatus status_;
    char start_;
    char end_;
};

// The rest of the input as the reads of a line might see it: pieces of 0 to `largest`
// bytes, their sizes taken from the input's end.
inline std::vector<std::string> linePieces(FuzzedDataProvider& input, std::size_t largest) {
    std::vector<std::string> pieces;
    while (input.remaining_bytes() > 0)
        pieces.push_back(input.ConsumeBytesAsString(input.ConsumeIntegralInRange<std::size_t>(0, largest)));
    return pieces;
}

}  // namespace fuzz
