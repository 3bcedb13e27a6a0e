// A failed system call as the emulator reports it: what it was doing, and errno's text.
#pragma once

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

namespace rackemu {

[[noreturn]] inline void failWithErrno(const std::string& what) {
    throw std::runtime_error(what + ": " + std::strerror(errno));
}

}  // namespace rackemu
