// Reads the client's requests by the layouts both ends share (simconnect/request_layout.h):
// which request a message is, whether its dwSize fits that request, and its fields. Every
// read stays inside the message, whatever its dwSize says.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <span>
#include <string>
#include <string_view>

#include "simconnect/request_layout.h"

namespace standin {

enum class FieldType { U32, F32, Text, Tag };

struct RequestField {
    std::string_view name;
    std::uint32_t offset;
    FieldType type;
};

struct RequestLayout {
    std::uint32_t number;
    std::string_view name;
    std::uint32_t fixedSize;  // the whole request, or the body before a data block
    bool dataBlock;           // SetDataOnSimObject and SetClientData
    std::span<const RequestField> fields;
};

// The request whose dwID is `dwID`, or null when the stand-in does not know it.
const RequestLayout* findRequestLayout(std::uint32_t dwID);

class RequestView {
public:
    // `size` is the number of bytes held; the framing guarantees at least the header.
    RequestView(const std::uint8_t* bytes, std::uint32_t size) : bytes_(bytes), size_(size) {}

    const std::uint8_t* bytes() const { return bytes_; }
    std::uint32_t size() const { return size_; }
    std::uint32_t dwSize() const { return u32(0); }
    std::uint32_t dwVersion() const { return u32(4); }
    std::uint32_t dwID() const { return u32(8); }
    std::uint32_t dwSendID() const { return u32(request_layout::kSendIdOffset); }

    // Reads past the end of the message give zero and empty text.
    std::uint32_t u32(std::uint32_t offset) const;
    float f32(std::uint32_t offset) const;
    // Text up to its NUL, at most the 256 bytes of the field.
    std::string text(std::uint32_t offset) const;
    // Bytes from `offset` to the end of the message.
    std::span<const std::uint8_t> tail(std::uint32_t offset) const;

    // The size the request must have: the fixed size, or for a data-block request the
    // body plus the data its counts announce (computed without wrapping).
    std::uint64_t expectedSize(const RequestLayout& layout) const;
    bool sizeFits(const RequestLayout& layout) const { return dwSize() == expectedSize(layout); }

    // The request's fields by their published names, for the log.
    nlohmann::ordered_json fields(const RequestLayout& layout) const;

private:
    const std::uint8_t* bytes_;
    std::uint32_t size_;
};

// The lower-case hexadecimal text of some bytes, for the log.
std::string hexText(std::span<const std::uint8_t> bytes);

}  // namespace standin
