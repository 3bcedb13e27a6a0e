// A rack's serial line as its handler uses it: in the service, the SerialPort opened on the
// rack's device; the handler reads, writes and cuts messages through this alone.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

// What the driver last reported about the line: the received bytes waiting to be read.
struct SerialLineStatus {
    std::uint32_t cbInQue = 0;
};

class SerialLine {
public:
    virtual ~SerialLine() = default;

    virtual bool isConnected() const = 0;
    // Opens the line again when it is not open (its device went away, or was not there at
    // first); true when it is open now. A line that cannot be reopened just answers.
    virtual bool reopen() { return isConnected(); }
    // Why the line is not open, in the system's words; empty when nothing failed.
    virtual std::string openFailure() const { return {}; }
    // Asks how many received bytes wait (lineStatus).
    virtual void refreshStatus() = 0;
    virtual const SerialLineStatus& lineStatus() const = 0;
    // Reads what arrives within about 1 ms, at most `count` bytes; `transferred` tells how
    // many. False when the line failed.
    virtual bool readBytes(void* buffer, std::uint32_t count, std::uint32_t& transferred) = 0;
    // Writes every byte; false when the line failed.
    virtual bool writeBytes(const void* buffer, std::uint32_t count) = 0;
    // Waits until a byte can be read, the line hangs up, or `deadline` comes.
    virtual void waitForInput(std::chrono::steady_clock::time_point deadline) = 0;
    // Discards what the driver holds in both directions: bytes that queued while nobody
    // read describe the controls as they were.
    virtual void purge() = 0;
    virtual void close() = 0;
    // The characters that open and close the rack's text messages.
    virtual char startDelimiter() const = 0;
    virtual char endDelimiter() const = 0;
};
