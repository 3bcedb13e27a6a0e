// One action of a script or of the control channel, and the parser of its text line.
//
// A line is "[TIME] VERB ARGUMENTS". TIME is seconds written in decimal ("2.5": from the
// start of the run) or with a plus sign ("+0.5": after the previous line of a script, or
// after the moment a control line is read); without TIME a script line runs together with
// the line before it and a control line runs at once. Blank lines and lines whose first
// visible character is '#' are ignored. The verbs are listed in the help text (options.cpp).
#pragma once

#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "rack-emulator/frame_fields.h"
#include "rack-emulator/rack_layouts.h"

namespace rackemu {

using Clock = std::chrono::steady_clock;

inline Clock::duration fromSeconds(double seconds) {
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

enum class Verb { Set, Unset, Press, Release, Hold, Turn, Raw, Period, Pause, Resume, Mark, Quit };

struct Action {
    Verb verb = Verb::Quit;
    RackKind rack = RackKind::Joystick;  // unused by mark and quit
    std::string target;                  // text rack member or panel field name
    const FrameField* field = nullptr;   // the panel field that `target` names
    Json value;                          // set on a text rack: the member's new value
    std::int32_t number = 0;             // set on a panel, turn detents, period milliseconds
    double seconds = 0;                  // hold time
    Bytes payload;                       // raw bytes
    std::string text;                    // the line itself (mark: its message)
};

enum class TimeBase { Now, Start, Previous };

struct TimedAction {
    TimeBase base = TimeBase::Now;
    double seconds = 0;
    Action action;
};

// A line that cannot be understood; the message says why.
class ActionError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

bool isBlankOrComment(std::string_view line);
// The pieces of a line, for the command line too; each throws ActionError.
double parseSeconds(std::string_view word);
std::int32_t parsePeriodMs(std::string_view word);
TimedAction parseActionLine(std::string_view line);

}  // namespace rackemu
