// Cuts a client's byte stream into requests by the dwSize at the start of each. A length
// that no request can have makes the whole stream malformed: after that nothing more is cut.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "sim-standin/protocol/wire_bytes.h"

namespace standin {

class FrameReader {
public:
    static constexpr std::uint32_t kHeaderSize = 16;
    // The client's build area holds at most this much, so no request is larger.
    static constexpr std::uint32_t kMaxRequestSize = 41088;

    void append(const std::uint8_t* data, std::size_t size);

    // The next whole request, if one is there and the stream is sound so far.
    std::optional<Bytes> next();

    // Why the stream is malformed; empty while it is sound.
    const std::string& problem() const { return problem_; }
    // Called when the peer has closed: bytes of an unfinished request make it malformed.
    void finish();
    std::size_t pending() const { return buffer_.size() - start_; }

private:
    Bytes buffer_;
    std::size_t start_ = 0;  // first byte not yet cut
    std::string problem_;
};

}  // namespace standin
