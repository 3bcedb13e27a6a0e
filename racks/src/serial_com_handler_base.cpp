#include "racks/serial_com_handler_base.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <utility>

#include "app/sim_ids.h"
#include "console/console.h"
#include "serial/serial_port.h"

namespace {

using namespace std::chrono_literals;

constexpr auto kSimulatorWaitInterval = 3000ms;
// While waiting for the simulator, quit is looked at this often.
constexpr auto kQuitCheckStep = 10ms;
constexpr auto kIdlePause = 1000ms;
constexpr auto kMessagePause = 50ms;
constexpr auto kReadFailurePause = 1000ms;
// A port that is not open is tried again this often.
constexpr auto kReopenInterval = 1000ms;

// A read pass looks through at most this many frames' length of bytes for a frame, so
// that a line full of noise cannot hold the pass up.
constexpr std::size_t kFrameSearchFrames = 4;
// Knob counts this large come from a garbled frame, not from a hand on the knob.
constexpr std::int64_t kDetentLimit = 50;

// The moment on the monotonic clock at which the calendar clock shows `time`.
std::chrono::steady_clock::time_point steadyTimeAt(std::time_t time) {
    const auto left = std::chrono::system_clock::from_time_t(time) - std::chrono::system_clock::now();
    return std::chrono::steady_clock::now() +
           std::chrono::duration_cast<std::chrono::steady_clock::duration>(left);
}

}  // namespace

SerialCOMHandlerBase::SerialCOMHandlerBase(const char* portName_, std::int32_t baudRate,
                                           std::string rackName_, SimSession* simSession_,
                                           RackMutex* rackMutex, StateLock* stateLock,
                                           std::string delimiterSetName)
    : SerialCOMHandlerBase(
          std::make_unique<SerialPort>(portName_, baudRate, std::move(delimiterSetName)),
          portName_ != nullptr ? portName_ : "", std::move(rackName_), simSession_, rackMutex,
          stateLock) {}

SerialCOMHandlerBase::SerialCOMHandlerBase(std::unique_ptr<SerialLine> line, std::string portName_,
                                           std::string rackName_, SimSession* simSession_,
                                           RackMutex* rackMutex, StateLock* stateLock)
    : serialPort(std::move(line)),
      portName(std::move(portName_)),
      rackName(std::move(rackName_)),
      simSession(simSession_),
      rackMutexPtr(rackMutex),
      stateLockPtr(stateLock) {
    probe_.identify(rackName, portName);
    probe_.portState(serialPort->isConnected());
    if (serialPort->isConnected()) {
        consolePrintf("[OK] Rack: %s Connected on Port: %s\n", rackName.c_str(), portName.c_str());
        return;
    }
    consolePrintf("[ERR] Rack: %s NOT Connected on Port: %s\n", rackName.c_str(), portName.c_str());
    const std::string reason = serialPort->openFailure();
    if (!reason.empty())
        consolePrintf("[ERR] Rack: %s on Port: %s: %s\n", rackName.c_str(), portName.c_str(),
                      reason.c_str());
}

SerialCOMHandlerBase::~SerialCOMHandlerBase() = default;

std::thread SerialCOMHandlerBase::start() {
    portOpen_ = serialPort->isConnected();
    reportHealth(portOpen_ ? "" : "port " + portName + " not open");
    return std::thread(&SerialCOMHandlerBase::runReportingErrors, this);
}

void SerialCOMHandlerBase::reportHealth(const std::string& problem) const {
    if (healthReport_) healthReport_(rackName, problem);
}

void SerialCOMHandlerBase::closePort() {
    serialPort->close();
}

// A port that is not open, because its board went away or was not there at first, is
// opened again at most once a second, silently; once it opens, the rack says so with its
// usual line and is served again.
void SerialCOMHandlerBase::reopenPortIfDue() {
    if (serialPort->isConnected()) return;
    if (portOpen_) {
        portOpen_ = false;
        probe_.portState(false);
        reportHealth("board gone from " + portName);
    }
    const auto now = std::chrono::steady_clock::now();
    if (now - lastReopenAttempt_ < kReopenInterval) return;
    lastReopenAttempt_ = now;
    if (!serialPort->reopen()) return;
    // Bytes held from before the board went away belong to no frame or message it sends now.
    forgetHeldInput();
    consolePrintf("[OK] Rack: %s Connected on Port: %s\n", rackName.c_str(), portName.c_str());
    portOpen_ = true;
    probe_.portState(true);
    reportHealth("");
}

// An error ends this rack's thread only; the rest of the service goes on.
void SerialCOMHandlerBase::runReportingErrors() {
    try {
        run();
    } catch (const std::exception& error) {
        consolePrintf("Error run: %s\n", error.what());
        reportHealth(std::string("stopped: ") + error.what());
    } catch (...) {
        consolePrintf("Error run: unknown error\n");
        reportHealth("stopped: unknown error");
    }
}

bool SerialCOMHandlerBase::waitForSimulator() {
    while (!simulatorReady()) {
        if (quitRequested()) return false;
        consolePrintf(
            "\n[WARN] Rack %s in %s is waiting for Flight Simulator starts. coon:%d, first:%d\n",
            rackName.c_str(), portName.c_str(), simSession->coon ? 1 : 0,
            simSession->first ? 1 : 0);
        // The whole interval is slept; only a quit cuts it short, so that shutdown never
        // waits on a rack that is still waiting.
        const auto until = std::chrono::steady_clock::now() + kSimulatorWaitInterval;
        while (std::chrono::steady_clock::now() < until && !quitRequested())
            std::this_thread::sleep_for(kQuitCheckStep);
    }
    if (quitRequested()) return false;
    dropStaleInput();
    return true;
}

// What queued while the rack was not read tells how the controls were seconds ago, and a
// backlog that overflowed the driver's buffer starts in the middle of a message.
void SerialCOMHandlerBase::dropStaleInput() {
    serialPort->purge();
    forgetHeldInput();
}

void SerialCOMHandlerBase::forgetHeldInput() {
    pendingAt_ = pendingCount_ = 0;
    if (!frameFinder_) return;
    if (frameFinder_->begun()) probe_.rejected(monitor::Reject::incomplete);
    frameFinder_->clear();
}

void SerialCOMHandlerBase::tellFrameDrops() {
    for (; toldWrongFirst_ < frameFinder_->wrongFirstBytes(); ++toldWrongFirst_)
        probe_.rejected(monitor::Reject::firstByte);
    for (; toldWrongLast_ < frameFinder_->wrongLastBytes(); ++toldWrongLast_)
        probe_.rejected(monitor::Reject::lastByte);
}

// Takes the bytes a message is cut from. Whatever the line status shows queued is taken in
// one read rather than one read per byte. When nothing is queued, the line is waited on
// until its next byte or `windowEnd` (where the system's reads do the waiting themselves,
// the read waits its millisecond instead), so a quiet line costs neither spinning nor a
// wake-up per read window, and a byte is taken the moment it arrives.
SerialCOMHandlerBase::ByteRead SerialCOMHandlerBase::nextByte(
    char& byte, std::chrono::steady_clock::time_point windowEnd) {
    if (pendingAt_ == pendingCount_) {
        serialPort->refreshStatus();
        if (serialPort->lineStatus().cbInQue == 0) {
            serialPort->waitForInput(windowEnd);
            serialPort->refreshStatus();
        }
        const std::uint32_t queued = serialPort->lineStatus().cbInQue;
        const auto wanted = static_cast<std::uint32_t>(
            std::clamp<std::size_t>(queued, 1, pendingBytes_.size()));
        pendingAt_ = 0;
        pendingCount_ = 0;
        if (!serialPort->readBytes(pendingBytes_.data(), wanted, pendingCount_)) {
            pendingCount_ = 0;
            return ByteRead::failed;
        }
        if (pendingCount_ == 0) return ByteRead::none;
        probe_.bytesIn(pendingCount_);
    }
    byte = pendingBytes_[pendingAt_++];
    return ByteRead::byte;
}

void SerialCOMHandlerBase::serveMessages(const std::function<void()>& handle) {
    if (!waitForSimulator()) return;
    while (!quitRequested()) {
        reopenPortIfDue();
        if (!readMessage(receiveBuffer)) {
            consolePrintf("\n[WARN] Cannot READ From Rack %s in %s :(\n", rackName.c_str(),
                          portName.c_str());
            std::this_thread::sleep_for(kReadFailurePause);
            continue;
        }
        // A message that is no JSON, or lacks a member or has one of the wrong type, ends
        // the rack's thread; the monitor is told why first.
        try {
            parseMessage(receiveBuffer);
            handle();
        } catch (const nlohmann::json::exception& error) {
            probe_.rejected(monitor::Reject::json, error.what());
            throw;
        }
        probe_.goodText(receiveBuffer);
        std::this_thread::sleep_for(kMessagePause);
    }
}

bool SerialCOMHandlerBase::readMessage(std::string& body) {
    if (!serialPort->isConnected()) {
        std::this_thread::sleep_for(kIdlePause);
        reopenPortIfDue();
        if (!serialPort->isConnected()) return false;
    }
    body.clear();
    const std::time_t started = std::time(nullptr);
    const auto windowEnd = steadyTimeAt(started + readTimeoutSeconds);
    bool inMessage = false;
    while (std::time(nullptr) - started < readTimeoutSeconds) {
        char byte = 0;
        const ByteRead read = nextByte(byte, windowEnd);
        if (read == ByteRead::failed) return false;
        if (read == ByteRead::none) continue;
        // The end test follows the start test, so with one character for both the
        // first one ends an empty message. A start inside a message is dropped.
        const bool isStart = byte == serialPort->startDelimiter();
        if (isStart) inMessage = true;
        if (!inMessage) continue;
        if (byte == serialPort->endDelimiter()) return true;
        if (!isStart) body.push_back(byte);
    }
    if (inMessage) probe_.rejected(monitor::Reject::incomplete);
    return false;
}

void SerialCOMHandlerBase::parseMessage(const std::string& body) {
    lastMessage = nlohmann::json::parse("{" + body + "}", nullptr, true, false);
}

// A pass reads what completes the frame begun, so that a backlog of whole frames is taken
// one frame a pass, oldest first: a knob's detents and a short press are in one frame
// each, and none may be skipped. Only when bytes had to be dropped (noise, a false start)
// does the pass read on, and only what is already queued.
bool SerialCOMHandlerBase::readFrame(std::uint8_t* buffer, std::int32_t length) {
    if (!serialPort->isConnected()) {
        std::this_thread::sleep_for(kIdlePause);
        return false;
    }
    const auto size = static_cast<std::size_t>(length);
    if (!frameFinder_ || frameFinder_->length() != size) frameFinder_.emplace(size);
    PanelFrameFinder& finder = *frameFinder_;
    serialPort->refreshStatus();
    auto wanted = static_cast<std::uint32_t>(finder.missing());
    for (std::size_t looked = 0;;) {
        std::uint32_t transferred = 0;
        if (!serialPort->readBytes(finder.space(), wanted, transferred)) {
            if (finder.begun()) probe_.rejected(monitor::Reject::incomplete);
            finder.clear();
            consolePrintf("[ERR READFILE]\n");
            return false;
        }
        probe_.bytesIn(transferred);
        const bool complete = finder.take(transferred, buffer);
        tellFrameDrops();
        if (complete) {
            probe_.goodFrame(buffer, size);
            return true;
        }
        looked += transferred;
        serialPort->refreshStatus();
        const std::uint32_t queued = serialPort->lineStatus().cbInQue;
        if (queued == 0 || transferred < wanted || looked >= kFrameSearchFrames * size) return false;
        wanted = std::min(queued, static_cast<std::uint32_t>(finder.missing()));
    }
}

bool SerialCOMHandlerBase::writeFrame(const std::uint8_t* buffer, std::int32_t length) {
    const bool written = serialPort->writeBytes(buffer, static_cast<std::uint32_t>(length));
    if (written) {
        probe_.bytesOut(static_cast<std::size_t>(length));
        probe_.output(buffer, static_cast<std::size_t>(length));
        return true;
    }
    consolePrintf("\n[WARN] Cannot WRITE to Rack %s in %s :(\n", rackName.c_str(),
                  portName.c_str());
    // A panel's pass without its port takes two idle seconds, the read's and this write's;
    // trying here too keeps to one attempt a second.
    reopenPortIfDue();
    return false;
}

std::int32_t SerialCOMHandlerBase::readCockpitVar(const std::string& name) const {
    return simSession->readCockpitVar(name);
}

bool SerialCOMHandlerBase::periodOver(MillisTimer& timer, std::uint16_t period) {
    return static_cast<std::uint32_t>(timer.elapsed()) >= period;
}

void SerialCOMHandlerBase::transmitEvent(SIMCONNECT_CLIENT_EVENT_ID eventId, DWORD data, int times) {
    SimCallGuard call(*simSession, *rackMutexPtr);
    if (!call.connectionOpen()) return;
    for (int i = 0; i < times; ++i) call.transmitEvent(eventId, data);
    probe_.sent(rackevent::eventName(eventId), times);
}

void SerialCOMHandlerBase::sendDetents(std::int32_t count, SIMCONNECT_CLIENT_EVENT_ID incrementEventId,
                                       SIMCONNECT_CLIENT_EVENT_ID decrementEventId) {
    // Widened first: the magnitude of the most negative count does not fit 32 bits.
    const std::int64_t magnitude = std::llabs(static_cast<std::int64_t>(count));
    if (magnitude == 0 || magnitude >= kDetentLimit) return;
    transmitEvent(count > 0 ? incrementEventId : decrementEventId, 0, static_cast<int>(magnitude));
}

void SerialCOMHandlerBase::sendTriggerCommand(const std::string& name) {
    if (SimCallGuard(*simSession, *rackMutexPtr).sendTriggerCommand(name)) probe_.sent(name);
}

void SerialCOMHandlerBase::sendSetCommand(const std::string& name, std::int32_t value) {
    if (SimCallGuard(*simSession, *rackMutexPtr).sendSetCommand(name, value))
        probe_.sent(name, 1, std::to_string(value));
}
