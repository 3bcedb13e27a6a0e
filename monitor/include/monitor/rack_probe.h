// What one rack's thread tells the monitor about its work: the port, the messages or
// frames it took and rejected, the bytes each way, the last input and output, and the
// events and commands it sent. The rack thread writes under a lock held for a copy or a
// counter only; the monitor takes a copy of the whole record the same way, so neither ever
// waits on the other's work.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace monitor {

// Milliseconds since the epoch, on the calendar clock: what the page shows as times.
std::int64_t nowMillis();

enum class Reject { firstByte, lastByte, incomplete, json };
constexpr std::size_t kRejectKinds = 4;
const char* rejectName(Reject reason);

struct SentRecord {
    // Counts the rack's sends from 1, so that a send is known again in the next copy.
    std::uint64_t sequence = 0;
    std::int64_t timeMs = 0;
    std::string name;
    // What went with it: a set command's value.
    std::string detail;
    int count = 0;
};

struct RackRecord {
    std::string name;
    std::string port;
    bool open = false;
    std::uint64_t reopens = 0;
    std::uint64_t good = 0;
    std::array<std::uint64_t, kRejectKinds> rejected{};
    std::string lastJsonError;
    std::uint64_t bytesIn = 0;
    std::uint64_t bytesOut = 0;
    // A text rack's last message, or a panel's last input frame.
    std::string lastInputText;
    std::vector<std::uint8_t> lastInputFrame;
    std::int64_t lastInputMs = 0;
    std::vector<std::uint8_t> lastOutputFrame;
    std::int64_t lastOutputMs = 0;
    // Events and commands sent: how many of each name, and the latest, oldest first.
    std::map<std::string, std::uint64_t, std::less<>> sentCounts;
    std::vector<SentRecord> recentSent;
};

class RackProbe {
public:
    static constexpr std::size_t kRecentSent = 20;

    void identify(std::string name, std::string port);
    // The port as the rack thread found it; an open after a close counts as a reopen.
    void portState(bool open);
    void bytesIn(std::size_t count);
    void bytesOut(std::size_t count);
    void goodText(std::string_view message);
    void goodFrame(const std::uint8_t* frame, std::size_t length);
    void rejected(Reject reason, std::string_view detail = {});
    void output(const std::uint8_t* frame, std::size_t length);
    // `name` is an event's or a command's; `count` copies of it went out together.
    void sent(std::string_view name, int count = 1, std::string_view detail = {});

    RackRecord copy() const;

private:
    mutable std::mutex lock_;
    RackRecord record_;
    bool everOpen_ = false;
    std::size_t nextRecent_ = 0;
    std::uint64_t sends_ = 0;
};

}  // namespace monitor
