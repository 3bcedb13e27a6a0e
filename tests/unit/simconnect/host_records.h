// The records of in-process hosting as the hosting simulator reads and builds them: the
// 64-bit addresses in them, and the 48-byte attach record with the host's four functions.
#pragma once

#include <cstdint>

#include "session.h"
#include "base/little_endian.h"

namespace hostrecords {

inline std::uintptr_t AddressAt(const unsigned char* at) {
    return static_cast<std::uintptr_t>(LoadU64(at));
}

inline void PutAddress(unsigned char* at, std::uintptr_t value) {
    StoreU64(at, std::uint64_t{value});
}

// The host's functions of a registered session, read from its 32-byte registration record.
using AttachFn = int (*)(const void*);
using DeliverFn = void (*)(std::uint32_t, std::uint32_t, std::uint32_t, void*);
inline AttachFn AttachOf(const unsigned char* registration) {
    return reinterpret_cast<AttachFn>(AddressAt(registration + 16));
}
inline DeliverFn DeliverOf(const unsigned char* registration) {
    return reinterpret_cast<DeliverFn>(AddressAt(registration + 24));
}

struct AttachRecord {
    unsigned char bytes[48] = {};
    AttachRecord(std::uint32_t hostId, std::uint32_t connectionId, HostAllocFn alloc, HostFreeFn free,
                 HostCommitFn commit, HostReleaseFn release) {
        StoreU32(bytes, 48);
        StoreU32(bytes + 4, 2);
        StoreU32(bytes + 8, hostId);
        StoreU32(bytes + 12, connectionId);
        PutAddress(bytes + 16, reinterpret_cast<std::uintptr_t>(alloc));
        PutAddress(bytes + 24, reinterpret_cast<std::uintptr_t>(free));
        PutAddress(bytes + 32, reinterpret_cast<std::uintptr_t>(commit));
        PutAddress(bytes + 40, reinterpret_cast<std::uintptr_t>(release));
    }
};

}  // namespace hostrecords
