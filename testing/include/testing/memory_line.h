// A rack's serial line held in memory, for driving the rack handlers without a device: the
// fuzz targets, and the unit tests of how a handler cuts what arrives.
#pragma once

#include <algorithm>
#include <cstring>
#include <deque>
#include <utility>
#include <string>
#include <vector>

#include "serial/serial_line.h"

namespace testsupport {

// The rack's bytes come in pieces, at most one piece a read: a piece is what a read of the
// driver finds at once. What the handler writes is kept. Used up, the line reads as hung
// up, unless it was kept open to wait for more (arrive).
class MemoryLine : public SerialLine {
public:
    explicit MemoryLine(std::vector<std::string> pieces, char start = '{', char end = '}')
        : pieces_(pieces.begin(), pieces.end()), start_(start), end_(end) {}

    bool drained() const { return pieces_.empty(); }
    // A line that stays open when drained, a read then taking nothing.
    void keepOpen() { hangUpWhenDrained_ = false; }
    // More bytes reach the line: a read finds them together with any still waiting.
    void arrive(const std::string& bytes) {
        if (pieces_.empty()) pieces_.emplace_back();
        pieces_.back() += bytes;
    }
    // The next read fails, as on a board unplugged.
    void failNextRead() { failNextRead_ = true; }
    // Every write from now on fails.
    void failWrites() { failWrites_ = true; }
    int purges() const { return purges_; }
    std::string written;

    bool isConnected() const override { return true; }
    void refreshStatus() override {
        status_.cbInQue = drained() ? 0 : static_cast<std::uint32_t>(pieces_.front().size() - at_);
    }
    const SerialLineStatus& lineStatus() const override { return status_; }
    bool readBytes(void* buffer, std::uint32_t count, std::uint32_t& transferred) override {
        transferred = 0;
        if (std::exchange(failNextRead_, false)) return false;
        if (drained()) return !hangUpWhenDrained_;
        const std::string& piece = pieces_.front();
        transferred = static_cast<std::uint32_t>(std::min<std::size_t>(count, piece.size() - at_));
        std::memcpy(buffer, piece.data() + at_, transferred);
        at_ += transferred;
        if (at_ == piece.size()) {
            pieces_.pop_front();
            at_ = 0;
        }
        return true;
    }
    bool writeBytes(const void* buffer, std::uint32_t count) override {
        if (failWrites_) return false;
        written.append(static_cast<const char*>(buffer), count);
        return true;
    }
    void waitForInput(std::chrono::steady_clock::time_point) override {}
    void purge() override {
        pieces_.clear();
        at_ = 0;
        ++purges_;
    }
    void close() override {}
    char startDelimiter() const override { return start_; }
    char endDelimiter() const override { return end_; }

private:
    std::deque<std::string> pieces_;
    std::size_t at_ = 0;
    SerialLineStatus status_;
    char start_;
    char end_;
    bool hangUpWhenDrained_ = true;
    bool failNextRead_ = false;
    bool failWrites_ = false;
    int purges_ = 0;
};

}  // namespace testsupport
