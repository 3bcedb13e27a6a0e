#include "racks/serial_com_handler_efis.h"

#include <algorithm>
#include <chrono>
#include <cstdint>

#include "app/sim_ids.h"
#include "racks/panel_frames.h"

namespace {

using namespace std::chrono_literals;

// When neither the read nor the write is due, the loop rests this long.
constexpr auto kIdlePass = 20ms;

namespace efis_in = panel_frames::efis_in;
namespace efis_out = panel_frames::efis_out;

const std::string kBaroModeVar = "XMLVAR_Baro1_Mode";
const std::string kLsVar = "BTN_LS_1_FILTER_ACTIVE";
const std::string kNdRangeVar = "A32NX_EFIS_L_ND_RANGE";
const std::string kNdModeVar = "A32NX_EFIS_L_ND_MODE";
const std::string kOptionVar = "A32NX_EFIS_L_OPTION";

}  // namespace

void SerialCOMHandlerEfis::run() {
    if (!waitForSimulator()) return;
    Selectors previous;
    readTimer.startIfUnset();
    writeTimer.startIfUnset();
    while (!quitRequested()) {
        reopenPortIfDue();
        bool done = false;
        if (periodOver(writeTimer, writePeriodMs)) {
            writeTimer.restart();
            writeDisplays();
            done = true;
        }
        if (periodOver(readTimer, readPeriodMs)) {
            readTimer.restart();
            if (!readInputFrame()) continue;
            handleInputFrame(previous);
            done = true;
        }
        if (!done) restUntilDue();
    }
}

// Neither part was due, and both timers' elapsed times are fresh. The loop looks again
// after whole rests of kIdlePass, as many as pass before the earlier part is due, taken in
// one sleep: the parts run at the same moments with one wake-up instead of several.
void SerialCOMHandlerEfis::restUntilDue() {
    const std::int64_t rest = kIdlePass.count();
    const std::int64_t untilDue =
        std::min(std::int64_t{writePeriodMs} - static_cast<std::int64_t>(writeTimer.lastElapsed),
                 std::int64_t{readPeriodMs} - static_cast<std::int64_t>(readTimer.lastElapsed));
    const std::int64_t rests = std::max<std::int64_t>(1, (untilDue + rest - 1) / rest);
    std::this_thread::sleep_for(rests * kIdlePass);
}

void SerialCOMHandlerEfis::fillOutputFields(const SimState& state) {
    putOutputField(efis_out::baro, rackvalue::roundToInt32(state.kohlsmanMb));
    putOutputField(efis_out::option, state.readCockpitVar(kOptionVar));
    putOutputField(efis_out::flightDirector,
                   rackvalue::truncateToInt32(state.flightDirectorActive));
    putOutputField(efis_out::ls, state.readCockpitVar(kLsVar));
    putOutputField(efis_out::baroMode, state.readCockpitVar(kBaroModeVar));
}

// Baro mode and option are sent when the panel's value changes; the commands carry the
// low 16 bits of the 32-bit field.
void SerialCOMHandlerEfis::handleInputFrame(Selectors& previous) {
    sendDetents(inputField(efis_in::baroKnob), rackevent::kohlsmanInc, rackevent::kohlsmanDec);

    flightDirectorButton.update(inputField(efis_in::flightDirector));
    if (flightDirectorButton.rising) transmitEvent(rackevent::toggleFlightDirector, 0);

    const std::int32_t baroMode = inputField(efis_in::baroMode);
    if (baroMode != previous.baroMode) sendSetCommand(kBaroModeVar, baroMode);
    previous.baroMode = baroMode;

    lsButton.update(inputField(efis_in::ls));
    if (lsButton.rising) sendTriggerCommand(kLsVar);

    handleNavigationDisplay(previous);

    const std::int32_t option = inputField(efis_in::option);
    if (option != previous.option) sendSetCommand(kOptionVar, option);
    previous.option = option;
}

// Range and mode follow the panel: while the aircraft disagrees with a selector (after a
// change made in the virtual cockpit, say) the panel's value is sent at every read, and
// the mode also whenever the range disagrees.
void SerialCOMHandlerEfis::handleNavigationDisplay(Selectors& previous) {
    const std::int32_t range = inputField(efis_in::ndRange);
    bool mismatch = readCockpitVar(kNdRangeVar) != range;
    if (range != previous.ndRange || mismatch) sendSetCommand(kNdRangeVar, range);
    previous.ndRange = range;

    const std::int32_t mode = inputField(efis_in::ndMode);
    if (readCockpitVar(kNdModeVar) != mode) mismatch = true;
    if (mode != previous.ndMode || mismatch) sendSetCommand(kNdModeVar, mode);
    previous.ndMode = mode;
}
