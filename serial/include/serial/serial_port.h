// One open serial device of one rack, with the delimiter pair of its messages.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "serial/delimiters.h"
#include "serial/serial_line.h"

// Opens the device at `portPath` as a SerialPort would and closes it again, printing
// nothing: empty when it opened and took its settings, else why not.
std::string probeSerialPort(const std::string& portPath, std::int32_t baudRate);

// A serial port opened and configured at construction: 8 data bits, no parity, one stop
// bit, DTR raised, reads that return within about a millisecond. It never throws and never
// retries by itself. A port whose device goes away (a board unplugged) closes; a port that
// is not open waits one second and fails at every read or write, until its owner reopens
// it. One thread uses a port at a time.
class SerialPort : public SerialLine {
public:
    SerialPort(const char* portPath, std::int32_t baudRate, std::string delimiterSetName);
    ~SerialPort() override;
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    bool isConnected() const override { return connected_; }
    // Runs the opening sequence again on the same path, printing nothing whatever happens.
    bool reopen() override;
    std::string openFailure() const override { return openFailure_; }

    // Asks the driver how many bytes wait in each direction and clears its error state; a
    // device that went away is closed.
    void refreshStatus() override;
    // Reads what arrives within about 1 ms, at most `count` bytes; `transferred` tells how
    // many. Returns false when the device failed (or after one second when not connected);
    // a device that went away is closed.
    bool readBytes(void* buffer, std::uint32_t count, std::uint32_t& transferred) override;
    // Writes every byte; returns false when the device failed (or after one second when
    // not connected); a device that went away is closed.
    bool writeBytes(const void* buffer, std::uint32_t count) override;
    // Waits until a byte can be read, the line hangs up, or `deadline` comes. Where the
    // reads themselves wait for the line (Windows), it returns at once.
    void waitForInput(std::chrono::steady_clock::time_point deadline) override;
    // Discards what the driver holds in both directions; nothing on a port not connected.
    void purge() override;
    // Closes a connected port; does nothing on a port that is not connected.
    void close() override;
    // Selects the named delimiter set from "syntax_config.txt" in the working directory.
    void loadDelimiters(std::string name);

    const SerialLineStatus& lineStatus() const override { return lineStatus_; }
    const std::string& delimiterSetName() const { return delimiters_.name; }
    char startDelimiter() const override { return delimiters_.start; }
    char endDelimiter() const override { return delimiters_.end; }

private:
    // The opening sequence; with `report`, its warnings are printed.
    void open(bool report);

    std::string portPath_;
    std::int32_t baudRate_;
    std::string delimiterSetName_;
    bool delimitersLoaded_ = false;
    std::string openFailure_;
    std::intptr_t deviceHandle_;
    SerialLineStatus lineStatus_;
    DelimiterSet delimiters_;
    bool connected_ = false;
};
