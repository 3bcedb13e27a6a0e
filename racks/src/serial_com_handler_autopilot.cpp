#include "racks/serial_com_handler_autopilot.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

#include "app/sim_ids.h"
#include "console/console.h"
#include "racks/panel_frames.h"

namespace {

// A held repeating switch sends its event again once this much has passed.
constexpr std::uint64_t kRepeatIntervalMs = 200;

namespace fcu_in = panel_frames::fcu_in;
namespace fcu_out = panel_frames::fcu_out;

struct Knob {
    std::size_t offset;
    SIMCONNECT_CLIENT_EVENT_ID increment;
    SIMCONNECT_CLIENT_EVENT_ID decrement;
};
constexpr Knob kKnobs[] = {
    {fcu_in::speedKnob, rackevent::apSpdVarInc, rackevent::apSpdVarDec},
    {fcu_in::headingKnob, rackevent::headingBugInc, rackevent::headingBugDec},
    {fcu_in::altitudeKnob, rackevent::apAltVarInc, rackevent::apAltVarDec},
    {fcu_in::vsKnob, rackevent::apVsVarInc, rackevent::apVsVarDec},
};

struct Switch {
    std::size_t offset;
    SIMCONNECT_CLIENT_EVENT_ID event;
};
// In the order they are looked at: speed on and off, then heading on and off.
constexpr Switch kRepeatingSwitches[] = {
    {fcu_in::speedOn, rackevent::apAirspeedOn},
    {fcu_in::speedOff, rackevent::apAirspeedOff},
    {fcu_in::headingOn, rackevent::apHdgHoldOn},
    {fcu_in::headingOff, rackevent::apHdgHoldOff},
};

const std::string kExpedPush = "(>H:A320_Neo_FCU_EXPED_PUSH)";
const std::string kVsPush = "(>H:A320_Neo_FCU_VS_PUSH)";
const std::string kVsPull = "(>H:A320_Neo_FCU_VS_PULL)";
const std::string kAltIncrementVar = "XMLVAR_Autopilot_Altitude_Increment";

// Mode lights, bit 0 upward.
const char* const kModeLights[] = {
    "A32NX_FCU_LOC_MODE_ACTIVE", "A32NX_AUTOPILOT_1_ACTIVE",   "A32NX_AUTOTHRUST_STATUS",
    "A32NX_FMA_EXPEDITE_MODE",   "A32NX_FCU_APPR_MODE_ACTIVE",
};

}  // namespace

void SerialCOMHandlerAutopilot::run() {
    if (!waitForSimulator()) return;
    readTimer.startIfUnset();
    writeTimer.startIfUnset();
    repeatTimer.startIfUnset();
    while (runPass()) {
    }
}

bool SerialCOMHandlerAutopilot::runPass() {
    if (quitRequested()) return false;
    reopenPortIfDue();
    const std::uint64_t repeatElapsed = repeatTimer.elapsed();
    if (repeatElapsed > kRepeatIntervalMs) repeatTimer.restart();

    const std::uint32_t sinceWrite = static_cast<std::uint32_t>(writeTimer.elapsed());
    const bool writeDue = sinceWrite >= writePeriodMs;
    if (writeDue) {
        writeTimer.restart();
        writeDisplays();
    }
    const std::uint32_t sinceRead = static_cast<std::uint32_t>(readTimer.elapsed());
    if (sinceRead >= readPeriodMs) {
        readTimer.restart();
        if (readInputFrame()) handleInputFrame(repeatElapsed);
        return true;
    }
    if (writeDue) return true;
    // Neither part was due: rest exactly until the earlier one is.
    const auto rest = std::min<std::int64_t>(std::int64_t{writePeriodMs} - sinceWrite,
                                             std::int64_t{readPeriodMs} - sinceRead);
    if (rest > 0) std::this_thread::sleep_for(std::chrono::milliseconds(rest));
    return true;
}

// The flight-path angle is sent in the tenths it is stored in, the rest as readCockpitVar
// gives them.
void SerialCOMHandlerAutopilot::fillOutputFields(const SimState& state) {
    putOutputField(fcu_out::trackFpaMode, state.readCockpitVar("A32NX_TRK_FPA_MODE_ACTIVE"));
    putOutputField(fcu_out::speed, state.readCockpitVar("A32NX_AUTOPILOT_SPEED_SELECTED"));
    putOutputField(fcu_out::speedManagedDot, state.readCockpitVar("A32NX_FCU_SPD_MANAGED_DOT"));
    putOutputField(fcu_out::heading, state.readCockpitVar("A32NX_AUTOPILOT_HEADING_SELECTED"));
    putOutputField(fcu_out::headingManagedDot, state.readCockpitVar("A32NX_FCU_HDG_MANAGED_DOT"));
    putOutputField(fcu_out::altitude, rackvalue::truncateToInt32(state.apAltitudeLock));
    putOutputField(fcu_out::altitudeManaged, state.readCockpitVar("A32NX_FCU_ALT_MANAGED"));
    putOutputField(fcu_out::verticalSpeed, state.readCockpitVar("A32NX_AUTOPILOT_VS_SELECTED"));
    putOutputField(fcu_out::flightPathAngle,
                   state.readCockpitVarRaw("A32NX_AUTOPILOT_FPA_SELECTED"));
    putOutputField(fcu_out::vsManaged, state.readCockpitVar("A32NX_FCU_VS_MANAGED"));
    std::int32_t lights = 0;
    for (std::size_t bit = 0; bit < std::size(kModeLights); ++bit)
        if (state.readCockpitVar(kModeLights[bit]) != 0) lights |= 1 << bit;
    putOutputField(fcu_out::modeLights, lights);
    putOutputField(fcu_out::showHeading, state.readCockpitVar("A320_FCU_SHOW_SELECTED_HEADING"));
}

void SerialCOMHandlerAutopilot::handleInputFrame(std::uint64_t repeatElapsed) {
    handleKnobs();
    handleRepeatingSwitches(repeatElapsed);
    handlePresses();
    handleCommandPresses();
}

void SerialCOMHandlerAutopilot::handleKnobs() {
    for (const Knob& knob : kKnobs)
        sendDetents(inputField(knob.offset), knob.increment, knob.decrement);
}

// A held switch repeats only on a read pass that found the repeat interval over.
void SerialCOMHandlerAutopilot::handleRepeatingSwitches(std::uint64_t repeatElapsed) {
    if (repeatElapsed <= kRepeatIntervalMs) return;
    for (const Switch& held : kRepeatingSwitches)
        if (inputField(held.offset) != 0) transmitEvent(held.event, 0);
}

void SerialCOMHandlerAutopilot::handlePresses() {
    const struct {
        std::size_t offset;
        ButtonState& button;
        SIMCONNECT_CLIENT_EVENT_ID event;
    } presses[] = {
        {fcu_in::altHoldOn, altHoldOnButton, rackevent::apAltHoldOn},
        {fcu_in::altHoldOff, altHoldOffButton, rackevent::apAltHoldOff},
        {fcu_in::vsHold, vsHoldButton, rackevent::apVsHold},
        {fcu_in::loc, locButton, rackevent::apLocHold},
        {fcu_in::autopilotMaster, autopilotMasterButton, rackevent::apMaster},
        {fcu_in::athr, athrButton, rackevent::autoThrottleArm},
        {fcu_in::appr, apprButton, rackevent::apAprHold},
    };
    for (const auto& press : presses) {
        press.button.update(inputField(press.offset));
        if (press.button.rising) transmitEvent(press.event, 0);
    }
}

// The presses that go over the uplink. Of the two altitude increments pressed in the same
// frame only the 100 ft one is sent.
void SerialCOMHandlerAutopilot::handleCommandPresses() {
    expedButton.update(inputField(fcu_in::exped));
    if (expedButton.rising) {
        consolePrintf("[DEBUG] EXPED_MUX_CH\n");
        sendTriggerCommand(kExpedPush);
    }
    altIncrement100Button.update(inputField(fcu_in::altIncrement100));
    altIncrement1000Button.update(inputField(fcu_in::altIncrement1000));
    if (altIncrement100Button.rising)
        sendSetCommand(kAltIncrementVar, 100);
    else if (altIncrement1000Button.rising)
        sendSetCommand(kAltIncrementVar, 1000);
    vsPushButton.update(inputField(fcu_in::vsPush));
    if (vsPushButton.rising) sendTriggerCommand(kVsPush);
    vsPullButton.update(inputField(fcu_in::vsPull));
    if (vsPullButton.rising) sendTriggerCommand(kVsPull);
}
