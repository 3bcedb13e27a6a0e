// demo-summary: prints what the simulator received from each rack and what the panels
// last displayed, from the logs that sim-standin and rack-emulator wrote during a run.
#include <cstdio>
#include <string>

#include "demo-summary/json_lines.h"
#include "demo-summary/summary_text.h"

namespace {

constexpr const char* kUsage =
    "Usage: demo-summary STANDIN_LOG RACKS_LOG\n"
    "Prints, rack by rack, what the simulator received (events by name and count, the last\n"
    "data written, cockpit commands) and what the panels last displayed, from the logs of\n"
    "sim-standin --log and rack-emulator --log (or board-sim --log). With real racks\n"
    "against the stand-in, give /dev/null as RACKS_LOG: the simulator's side is shown alone.\n"
    "Exit code 1 when a log cannot be read.\n";

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]) == "--help") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc != 3) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const auto standinLog = demosummary::readJsonLines(argv[1]);
    const auto rackLog = demosummary::readJsonLines(argv[2]);
    if (!standinLog || !rackLog) {
        std::fprintf(stderr, "demo-summary: cannot read %s\n", standinLog ? argv[2] : argv[1]);
        return 1;
    }
    std::fputs(demosummary::formatSummary(demosummary::summarize(*standinLog, *rackLog)).c_str(),
               stdout);
    return 0;
}
