#include "rack-emulator/script.h"

#include <string>

namespace rackemu {

std::vector<ScriptStep> parseScript(std::istream& in) {
    std::vector<ScriptStep> steps;
    double previous = 0;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (isBlankOrComment(line)) continue;
        try {
            TimedAction timed = parseActionLine(line);
            if (timed.base == TimeBase::Start) previous = timed.seconds;
            if (timed.base == TimeBase::Previous) previous += timed.seconds;
            steps.push_back({previous, std::move(timed.action)});
        } catch (const ActionError& error) {
            throw ActionError("line " + std::to_string(number) + ": " + error.what());
        }
    }
    return steps;
}

}  // namespace rackemu
