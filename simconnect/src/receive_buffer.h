// The receive buffer of one connection and the cutting of length-framed messages out of
// it. Every message starts with its total length as an unsigned 32-bit little-endian
// number that counts the length field itself.
#pragma once

#include <cstdint>

// The message being cut out of the receive buffer; its data block is kept between cuts
// unless the owner takes it.
struct MessageBuffer {
    std::uint32_t length = 0;
    std::uint32_t capacity = 0;
    unsigned char* data = nullptr;
};

enum class CutResult { Complete, NeedMoreBytes, TooLarge, BadLength, NoMemory };

class ReceiveBuffer {
public:
    static constexpr std::uint32_t kInitialSize = 2048;
    static constexpr std::uint32_t kGrowStep = 2048;
    // The buffer stops growing here, so no longer message can ever be completed.
    static constexpr std::uint32_t kGrowLimit = 1048576;

    ReceiveBuffer() = default;
    ~ReceiveBuffer();
    ReceiveBuffer(const ReceiveBuffer&) = delete;
    ReceiveBuffer& operator=(const ReceiveBuffer&) = delete;

    bool Allocate(std::uint32_t size);
    void Free();
    // Forgets every unread byte, as a fresh connection needs.
    void Rewind();

    // Where the next read goes, and how many bytes it may take.
    unsigned char* FreeTail() const { return begin_ + write_; }
    std::uint32_t FreeTailSize() const { return size_ - write_; }
    void Advance(std::uint32_t bytes) { write_ += bytes; }

    // Cuts the next message into `message`. Lengths above `maxReceiveSize` are refused
    // as soon as the length field is there, before the rest of the message arrives.
    CutResult Cut(MessageBuffer& message, std::uint32_t maxReceiveSize);

    std::uint32_t Size() const { return size_; }
    std::uint32_t Unread() const { return write_ - read_; }

private:
    std::uint32_t LengthAtRead() const;
    bool WholeMessageWaiting() const;
    CutResult Housekeeping(CutResult result);

    unsigned char* begin_ = nullptr;
    std::uint32_t size_ = 0;
    std::uint32_t write_ = 0;  // end of the bytes read so far
    std::uint32_t read_ = 0;   // start of the bytes not yet cut
};

// Frees the message's data block and clears it.
void FreeMessageBuffer(MessageBuffer& message);
