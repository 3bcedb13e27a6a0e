#include "receive_buffer.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "base/little_endian.h"

ReceiveBuffer::~ReceiveBuffer() {
    Free();
}

bool ReceiveBuffer::Allocate(std::uint32_t size) {
    Free();
    begin_ = static_cast<unsigned char*>(std::malloc(size));
    if (begin_ == nullptr) return false;
    size_ = size;
    return true;
}

void ReceiveBuffer::Free() {
    std::free(begin_);
    begin_ = nullptr;
    size_ = 0;
    Rewind();
}

void ReceiveBuffer::Rewind() {
    write_ = 0;
    read_ = 0;
}

std::uint32_t ReceiveBuffer::LengthAtRead() const {
    return LoadU32(begin_ + read_);
}

bool ReceiveBuffer::WholeMessageWaiting() const {
    return Unread() >= 4 && LengthAtRead() <= Unread();
}

CutResult ReceiveBuffer::Cut(MessageBuffer& message, std::uint32_t maxReceiveSize) {
    if (Unread() < 4) return Housekeeping(CutResult::NeedMoreBytes);
    const std::uint32_t length = LengthAtRead();
    // A message longer than the largest buffer could never be completed; refusing it now
    // fails the connection instead of leaving it waiting for ever.
    if (length > std::min(maxReceiveSize, kGrowLimit)) return CutResult::TooLarge;
    if (length < 4) return Housekeeping(CutResult::BadLength);
    if (length > message.capacity) {
        std::free(message.data);
        message.data = static_cast<unsigned char*>(std::malloc(length));
        message.capacity = message.data == nullptr ? 0 : length;
    }
    message.length = length;
    if (message.data == nullptr) return Housekeeping(CutResult::NoMemory);
    if (Unread() < length) return Housekeeping(CutResult::NeedMoreBytes);
    std::memcpy(message.data, begin_ + read_, length);
    read_ += length;
    if (read_ == write_) Rewind();
    if (WholeMessageWaiting()) return CutResult::Complete;
    return Housekeeping(CutResult::Complete);
}

// Makes room for the next read once the buffer is used up to its end: unread bytes move
// to the front, and only a single message that does not fit makes the buffer grow.
CutResult ReceiveBuffer::Housekeeping(CutResult result) {
    if (write_ < size_) return result;
    if (read_ > 0) {
        std::memmove(begin_, begin_ + read_, write_ - read_);
        write_ -= read_;
        read_ = 0;
        return result;
    }
    if (size_ >= kGrowLimit) return result;
    const std::uint32_t grown = size_ + kGrowStep;
    auto* bigger = static_cast<unsigned char*>(std::malloc(grown));
    if (bigger == nullptr) return CutResult::NoMemory;
    std::memcpy(bigger, begin_, write_);
    std::free(begin_);
    begin_ = bigger;
    size_ = grown;
    return result;
}

void FreeMessageBuffer(MessageBuffer& message) {
    std::free(message.data);
    message = MessageBuffer{};
}
