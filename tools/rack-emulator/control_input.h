// The control channel (--control): action lines fed while the run goes on, from standard
// input ("-") or from a named pipe the emulator creates, so that a test can drive the racks
// step by step with `echo "press fcu ap1" > PIPE`.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace rackemu {

// Cuts a byte stream into lines; a partial line waits for the rest.
class LineSplitter {
public:
    std::vector<std::string> feed(std::string_view bytes);
    // The last line when the stream ended without a line feed.
    std::vector<std::string> finish();

private:
    std::string partial_;
};

class ControlInput {
public:
    // Throws std::runtime_error when the named pipe cannot be made.
    static std::unique_ptr<ControlInput> open(const std::string& path);
    ~ControlInput();
    ControlInput(const ControlInput&) = delete;
    ControlInput& operator=(const ControlInput&) = delete;

    // A descriptor that becomes readable when lines arrive; -1 once standard input ended.
    int handle() const { return fd_; }
    std::vector<std::string> readLines();

private:
    ControlInput() = default;

    int fd_ = -1;
    int writer_ = -1;  // the pipe's own writer, so that a writer closing is no end of input
    std::string pipePath_;
    LineSplitter lines_;
};

}  // namespace rackemu
