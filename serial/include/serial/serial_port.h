// One open serial device of one rack, with the delimiter pair of its messages.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "serial/delimiters.h"

// What the driver last reported about the line: bytes waiting in each direction.
struct SerialLineStatus {
    std::uint32_t cbInQue = 0;
    std::uint32_t cbOutQue = 0;
};

// A serial port opened and configured at construction: 8 data bits, no parity, one stop
// bit, DTR raised, reads that return within about a millisecond. It never throws, never
// retries and never reopens; a port that failed to open stays not connected, and every
// read or write on it waits one second and fails. One thread uses a port at a time.
class SerialPort {
public:
    SerialPort(const char* portPath, std::int32_t baudRate, std::string delimiterSetName);
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    bool isConnected() const { return connected_; }

    // Asks the driver how many bytes wait in each direction and clears its error state.
    void refreshStatus();
    // Reads what arrives within about 1 ms, at most `count` bytes; `transferred` tells how
    // many. Returns false when the device failed (or after one second when not connected).
    bool readBytes(void* buffer, std::uint32_t count, std::uint32_t& transferred);
    // Writes every byte; returns false when the device failed (or after one second when
    // not connected).
    bool writeBytes(const void* buffer, std::uint32_t count);
    // Waits until a byte can be read, the line hangs up, or `deadline` comes. Where the
    // reads themselves wait for the line (Windows), it returns at once.
    void waitForInput(std::chrono::steady_clock::time_point deadline);
    // Closes a connected port; does nothing on a port that is not connected.
    void close();
    // Selects the named delimiter set from "syntax_config.txt" in the working directory.
    void loadDelimiters(std::string name);

    const SerialLineStatus& lineStatus() const { return lineStatus_; }
    std::uint32_t lineErrors() const { return lineErrors_; }
    const std::string& delimiterSetName() const { return delimiters_.name; }
    char startDelimiter() const { return delimiters_.start; }
    char endDelimiter() const { return delimiters_.end; }

private:
    void open(const char* portPath, std::int32_t baudRate, std::string delimiterSetName);

    std::intptr_t deviceHandle_;
    SerialLineStatus lineStatus_;
    std::uint32_t lineErrors_ = 0;
    DelimiterSet delimiters_;
    bool connected_ = false;
};
