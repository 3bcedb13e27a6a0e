// What every rack handler shares: the rack's serial port, the worker thread, the wait for
// the simulator, the two wire framings (delimited text messages and fixed binary frames),
// the pacing timers, and the simulator calls made under rackMutex.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <thread>

#include "app/locks.h"
#include "app/millis_timer.h"
#include "app/sim_call.h"
#include "app/sim_session.h"
#include "monitor/rack_probe.h"
#include "racks/panel_frame_finder.h"
#include "serial/serial_line.h"
#include "simconnect/SimConnect.h"

// How a rack is, told from its own thread whenever that changes: an empty problem when it
// is served, else what keeps it from being served ("board gone from \\.\COM3").
using RackHealthReport = std::function<void(const std::string& rackName, const std::string& problem)>;

class SerialCOMHandlerBase {
public:
    // Opens the rack's port and prints whether it connected. A port that failed stays
    // not connected; the handler can be started all the same and then idles.
    SerialCOMHandlerBase(const char* portName, std::int32_t baudRate, std::string rackName,
                         SimSession* simSession, RackMutex* rackMutex, StateLock* stateLock,
                         std::string delimiterSetName);
    // Serves the rack on a line already made: a port opened as above, or any other line
    // that carries the rack's bytes. `portName` names it in the console lines.
    SerialCOMHandlerBase(std::unique_ptr<SerialLine> line, std::string portName,
                         std::string rackName, SimSession* simSession, RackMutex* rackMutex,
                         StateLock* stateLock);
    virtual ~SerialCOMHandlerBase();
    SerialCOMHandlerBase(const SerialCOMHandlerBase&) = delete;
    SerialCOMHandlerBase& operator=(const SerialCOMHandlerBase&) = delete;

    // Starts the thread that runs the handler; the caller joins it. An error that ends
    // `run` is reported on the console there and never leaves the thread.
    virtual std::thread start();
    // The rack's worker loop; returns once the simulator has quit. It raises the errors
    // that end it (a bad message, a mutex that cannot be locked).
    virtual void run() = 0;

    // Gives the port back; used for a handler that will never be started.
    void closePort();
    // Who is told how the rack is; set before start(), which tells the first state.
    void setHealthReport(RackHealthReport report) { healthReport_ = std::move(report); }

    const std::string& getPortName() const { return portName; }
    const std::string& getRackName() const { return rackName; }
    // What the rack's thread did, as the monitor shows it.
    const monitor::RackProbe& probe() const { return probe_; }
    bool isPortConnected() const { return serialPort->isConnected(); }

protected:
    // Waits until the connection is open and the simulator has answered, warning every
    // 3 s, then drops what the rack sent meanwhile. Returns false when the simulator quit
    // first.
    bool waitForSimulator();
    bool quitRequested() const { return simSession->quit != 0; }
    // Opens a port that is not open again, at most once a second; called on every pass.
    void reopenPortIfDue();
    bool simulatorReady() const { return simSession->coon && simSession->first; }

    // The text racks' loop: the wait for the simulator, then one message per pass into
    // lastMessage, handed to `handle`, then a 50 ms pause; a failed read is reported and
    // followed by a 1000 ms pause. Returns once the simulator has quit.
    void serveMessages(const std::function<void()>& handle);
    // One delimited text message into `body`, within readTimeoutSeconds.
    bool readMessage(std::string& body);
    // "{" + body + "}" parsed strictly into lastMessage.
    void parseMessage(const std::string& body);
    // One frame of `length` bytes into `buffer`, true when one that starts with '{' and
    // ends with '}' is complete. A frame still arriving is kept and completed on a later
    // call; bytes before a '{' and false starts are dropped.
    bool readFrame(std::uint8_t* buffer, std::int32_t length);
    bool writeFrame(const std::uint8_t* buffer, std::int32_t length);

    // One cockpit variable, under its own shared hold of stateLock.
    std::int32_t readCockpitVar(const std::string& name) const;
    // Whether `period` milliseconds have passed on `timer` (its low 32 bits, unsigned).
    static bool periodOver(MillisTimer& timer, std::uint16_t period);

    // Simulator calls, each under its own hold of rackMutex and only while the connection
    // is open: `times` copies of one event, a knob's detents, the uplink commands. Calls
    // that must go together take one SimCallGuard of their own (simulatorCall()).
    void transmitEvent(SIMCONNECT_CLIENT_EVENT_ID eventId, DWORD data, int times = 1);
    void sendDetents(std::int32_t count, SIMCONNECT_CLIENT_EVENT_ID incrementEventId,
                     SIMCONNECT_CLIENT_EVENT_ID decrementEventId);
    void sendTriggerCommand(const std::string& name);
    void sendSetCommand(const std::string& name, std::int32_t value);

    std::unique_ptr<SerialLine> serialPort;
    std::int32_t readTimeoutSeconds = 5;
    std::string receiveBuffer;
    nlohmann::json lastMessage;
    std::string portName;
    std::string rackName;
    SimSession* simSession;
    RackMutex* rackMutexPtr;
    MillisTimer readTimer;
    MillisTimer writeTimer;
    StateLock* stateLockPtr;
    std::uint16_t readPeriodMs = 50;
    std::uint16_t writePeriodMs = 100;

private:
    enum class ByteRead { failed, none, byte };

    void runReportingErrors();
    ByteRead nextByte(char& byte, std::chrono::steady_clock::time_point windowEnd);
    // Empties the line and whatever of it the handler still holds.
    void dropStaleInput();
    // Forgets the bytes taken off the line and not yet used (a message or frame begun).
    void forgetHeldInput();
    void reportHealth(const std::string& problem) const;

    // Bytes taken off the line but not yet looked at by readMessage: what follows a
    // message's end waits here for the next call, as it would in the port's queue.
    std::array<char, 256> pendingBytes_{};
    std::uint32_t pendingCount_ = 0;
    std::uint32_t pendingAt_ = 0;
    // The panel frame begun on the line, for readFrame.
    std::optional<PanelFrameFinder> frameFinder_;
    // The opening at construction counts as the first attempt.
    std::chrono::steady_clock::time_point lastReopenAttempt_ = std::chrono::steady_clock::now();
    // Whether the port was open when last looked at, so that its going is told once.
    bool portOpen_ = false;
    RackHealthReport healthReport_;
    monitor::RackProbe probe_;
    // The frame finder's drops already told to the probe.
    std::uint64_t toldWrongFirst_ = 0;
    std::uint64_t toldWrongLast_ = 0;

protected:
    // For the handlers that make their simulator calls themselves.
    monitor::RackProbe& rackProbe() { return probe_; }
    // Tells the probe what the frame finder dropped since it was last asked.
    void tellFrameDrops();
};
