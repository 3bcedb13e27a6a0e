// RackKit's plain logic as the boards run it: the encoder decoder's table, the panels'
// frame fields and frame finder, the resistor ladders, the axes' calibration, and what a switch, a knob
// pull and a setting send from frame to frame.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "analog_scale.h"
#include "base/little_endian.h"
#include "debouncer.h"
#include "panel_frames.h"
#include "panel_state.h"
#include "quadrature_decoder.h"

namespace {

using namespace rackkit;

// The detents a run of contact states gives, from rest (both open).
int detents(QuadratureDecoder decoder, std::initializer_list<std::uint8_t> states) {
    decoder.begin(3);
    int total = 0;
    for (std::uint8_t state : states) total += decoder.take(state);
    return total;
}

TEST(QuadratureDecoder, CountsAWholeCycleOnceAtRest) {
    // Clockwise, contact A leads (A closes, B closes, A opens, B opens): 3 1 0 2 3.
    EXPECT_EQ(detents(QuadratureDecoder(1), {1, 0, 2, 3}), 1);
    EXPECT_EQ(detents(QuadratureDecoder(1), {2, 0, 1, 3}), -1);
    EXPECT_EQ(detents(QuadratureDecoder(1), {1, 0, 2, 3, 1, 0, 2, 3}), 2);
    // Nothing until it rests again, and a contact bouncing on the way counts nothing more.
    EXPECT_EQ(detents(QuadratureDecoder(1), {1, 0, 2}), 0);
    EXPECT_EQ(detents(QuadratureDecoder(1), {1, 3, 1, 0, 1, 0, 2, 0, 2, 3}), 1);
    // Turned half way and back, or rocked at rest: no detent.
    EXPECT_EQ(detents(QuadratureDecoder(1), {1, 0, 1, 3}), 0);
    EXPECT_EQ(detents(QuadratureDecoder(1), {1, 3, 2, 3, 1, 3}), 0);
    // Both contacts changing at once is no step at all.
    EXPECT_EQ(detents(QuadratureDecoder(1), {0, 3}), 0);
}

TEST(QuadratureDecoder, TwoDetentsPerCycleRestBothOpenAndBothClosed) {
    EXPECT_EQ(detents(QuadratureDecoder(2), {1, 0}), 1);
    EXPECT_EQ(detents(QuadratureDecoder(2), {1, 0, 2, 3}), 2);
    EXPECT_EQ(detents(QuadratureDecoder(2), {2, 0, 1, 3}), -2);
    EXPECT_EQ(detents(QuadratureDecoder(2), {1, 3, 1, 0}), 1);
    // With one detent a cycle, the half-way rest is no detent.
    EXPECT_EQ(detents(QuadratureDecoder(1), {1, 0}), 0);
}

std::vector<std::uint8_t> frame(std::uint8_t length, std::int32_t first) {
    std::vector<std::uint8_t> bytes(length, 0);
    putField(bytes.data(), 1, first);
    bytes.front() = frameStart;
    bytes.back() = frameEnd;
    return bytes;
}

// The frames a receiver of `length`-byte frames takes from `bytes`, by their first field.
std::vector<std::int32_t> received(FrameReceiver& receiver, const std::vector<std::uint8_t>& bytes) {
    std::vector<std::int32_t> firsts;
    for (std::uint8_t byte : bytes)
        if (receiver.take(byte)) firsts.push_back(getField(receiver.latest(), 1));
    return firsts;
}

// The boards keep their own field helpers (the library goes into a sketchbook alone); they
// must lay out and read a field byte for byte as the rest of the house does.
TEST(PanelFields, AreTheLittleEndianFieldsOfTheService) {
    for (std::int32_t value : {0, 1, -1, 0x12345678, -200, INT32_MIN, INT32_MAX}) {
        std::uint8_t ours[6] = {};
        std::uint8_t house[6] = {};
        putField(ours, 1, value);
        StoreI32(house + 1, value);
        EXPECT_EQ(std::vector<std::uint8_t>(ours, ours + 6), std::vector<std::uint8_t>(house, house + 6))
            << value;
        EXPECT_EQ(getField(house, 1), value);
    }
}

TEST(FrameReceiver, FindsFramesAmongNoiseAndFalseStarts) {
    std::uint8_t work[22], latest[22];
    FrameReceiver receiver(work, latest, 22);
    std::vector<std::uint8_t> line = {'x', '\r'};
    // A frame whose field holds both framing bytes, a frame cut off after a stray '{', one
    // more whole frame.
    const auto a = frame(22, 0x7D7B);
    const auto b = frame(22, -5);
    const auto c = frame(22, 1013);
    line.insert(line.end(), a.begin(), a.end());
    line.push_back('{');
    line.insert(line.end(), b.begin(), b.begin() + 10);
    line.insert(line.end(), c.begin(), c.end());
    EXPECT_EQ(received(receiver, line), (std::vector<std::int32_t>{0x7D7B, 1013}));
    EXPECT_EQ(receiver.counters().frames, 2);
    EXPECT_GE(receiver.counters().broken, 1);
    EXPECT_EQ(received(receiver, b), (std::vector<std::int32_t>{-5}));
}

// The reading of a ladder tap with the pin's 100 kOhm pull-up to 5 V and `taps` equal
// resistors of 1 kOhm from GND to 5 V, the pin joined to tap k.
int tapReading(int k, int taps) {
    const double rLow = k * 1.0, rHigh = (taps - k) * 1.0;
    const double source = rLow * rHigh / (rLow + rHigh);  // the tap's own resistance
    const double tap = 5.0 * k / taps;
    const double volts = tap + (5.0 - tap) * source / (source + 100.0);
    return static_cast<int>(std::lround(volts / 5.0 * adcFullScale));
}

TEST(Ladder, ReadsEachTapAndNothingBetween) {
    // The EFIS's option buttons: five equal resistors, the pin pulled up: buttons 1 to 5
    // read positions 0 to 4, no button position 5.
    for (int k = 0; k < 5; ++k) EXPECT_EQ(ladderPosition(static_cast<std::int16_t>(tapReading(k, 5)), 6), k);
    EXPECT_EQ(ladderPosition(adcFullScale, 6), 5);
    // A selector's wiper between two taps, or a ladder wired otherwise (a sixth resistor
    // on top: taps at sixths of the supply), reads no position.
    EXPECT_EQ(ladderPosition(adcFullScale / 10, 6), noPosition);
    EXPECT_EQ(ladderPosition(static_cast<std::int16_t>(2 * adcFullScale / 6), 6), noPosition);
    // Within a quarter step of a tap it is that tap.
    EXPECT_EQ(ladderPosition(256 + 60, 5), 1);
    EXPECT_EQ(ladderPosition(256 - 60, 5), 1);
    EXPECT_EQ(ladderPosition(256 + 70, 5), noPosition);
}

TEST(Calibration, ACalibratedAxisReachesFullScaleAndRestsAtZero) {
    // A gimbal whose pot turns 40 degrees of its 270: 438 to 586, resting at 511.
    const AxisCalibration gimbal = {438, 511, 586, 6};
    EXPECT_EQ(centredAxis(gimbal, 586, 1000), 1000);
    EXPECT_EQ(centredAxis(gimbal, 586 - 6, 1000), 1000);  // noise cannot hold it short
    EXPECT_EQ(centredAxis(gimbal, 438, 1000), -1000);
    for (int noise = -6; noise <= 6; ++noise) EXPECT_EQ(centredAxis(gimbal, static_cast<std::int16_t>(511 + noise), 1000), 0);
    EXPECT_NEAR(centredAxis(gimbal, 548, 1000), 500, 20);
    // Uncalibrated, the whole travel: what the same gimbal gives without calibration.
    const AxisCalibration whole = {0, 512, adcFullScale, 0};
    EXPECT_EQ(centredAxis(whole, 0, 16384), -16384);
    EXPECT_EQ(centredAxis(whole, adcFullScale, 16384), 16384);
    EXPECT_LT(centredAxis(whole, 586, 1000), 160);
}

TEST(Calibration, ABrakeRestsReleasedWhereverItRests) {
    // A toe brake resting at 0.4 V, pressed to 4.6 V; and one wired the other way round.
    const AxisCalibration brake = {80, 82, 940, 5};
    EXPECT_EQ(restingAxis(brake, 82, 16384), -16384);
    EXPECT_EQ(restingAxis(brake, 86, 16384), -16384);
    EXPECT_EQ(restingAxis(brake, 940, 16384), 16384);
    EXPECT_NEAR(restingAxis(brake, 511, 16384), 0, 200);
    const AxisCalibration reversed = {90, 930, 935, 5};
    EXPECT_EQ(restingAxis(reversed, 930, 16384), -16384);
    EXPECT_EQ(restingAxis(reversed, 90, 16384), 16384);
}

TEST(Calibration, TheModeTakesStopsThenRest) {
    CalibrationRun run(2);
    std::uint16_t now = 0;
    const auto feed = [&](bool button, std::int16_t first, std::int16_t second) {
        const std::int16_t readings[] = {first, second};
        run.update(button, readings, now);
        now += 5;
    };
    feed(true, 500, 500);  // the button still held from power-up
    EXPECT_EQ(run.step(), CalibrationRun::Step::releaseButton);
    feed(false, 500, 500);
    for (int r = 500; r <= 600; r += 10) feed(false, static_cast<std::int16_t>(r), 502);
    for (int r = 600; r >= 420; r -= 10) feed(false, static_cast<std::int16_t>(r), 498);
    feed(true, 511, 500);
    EXPECT_EQ(run.step(), CalibrationRun::Step::rest);
    for (int i = 0; i < 100 && run.step() != CalibrationRun::Step::done; ++i)
        feed(false, static_cast<std::int16_t>(i % 2 ? 509 : 513), 500);
    ASSERT_EQ(run.step(), CalibrationRun::Step::done);
    AxisCalibration first{};
    ASSERT_TRUE(run.result(0, first));
    EXPECT_EQ(first.min, 420);
    EXPECT_EQ(first.max, 600);
    EXPECT_NEAR(first.centre, 511, 1);
    EXPECT_GE(first.deadBand, 4 + 1);  // over the noise seen at rest
    EXPECT_EQ(centredAxis(first, 600, 100), 100);
    EXPECT_EQ(centredAxis(first, 513, 100), 0);
    // The second axis hardly moved: it keeps the calibration it had.
    AxisCalibration second{};
    EXPECT_FALSE(run.result(1, second));
}

// What a switch sends in successive frames, one frame every 100 ms, the contact being
// closed during [from, to) of each press, in milliseconds.
std::vector<int> sent(const std::vector<std::pair<int, int>>& presses, int frames) {
    Debouncer contact;
    std::vector<int> levels;
    for (int ms = 0; ms < frames * 100; ++ms) {
        bool closed = false;
        for (const auto& [from, to] : presses) closed = closed || (ms >= from && ms < to);
        contact.update(closed, static_cast<std::uint16_t>(ms));
        if (ms % 100 == 99) levels.push_back(contact.take());
    }
    return levels;
}

TEST(Debouncer, EveryPressShowsInAtLeastThreeFramesAndEachOnItsOwn) {
    // A tap of 40 ms, between two frames.
    EXPECT_EQ(sent({{120, 160}}, 6), (std::vector<int>{0, 1, 1, 1, 0, 0}));
    // Held for 450 ms: for as long as it is held.
    EXPECT_EQ(sent({{20, 470}}, 7), (std::vector<int>{1, 1, 1, 1, 0, 0, 0}));
    // Two taps 150 ms apart: two presses, a 0 between them.
    EXPECT_EQ(sent({{10, 90}, {160, 240}}, 9), (std::vector<int>{1, 1, 1, 0, 1, 1, 1, 0, 0}));
    // A contact that bounces shorter than the settling time is no press.
    EXPECT_EQ(sent({{10, 13}, {40, 43}}, 3), (std::vector<int>{0, 0, 0}));
}

TEST(PanelState, AKnobPullIsHeldUntilTheDotChangesOrTwoSecondsAfterIt) {
    HeldUntilChange pull;
    pull.update(false, 1, 0);
    EXPECT_EQ(pull.level(), 0);
    // A brief pull, the dot unchanged for a while, then changed.
    pull.update(true, 1, 100);
    pull.update(false, 1, 220);
    pull.update(false, 1, 900);
    EXPECT_EQ(pull.level(), 1);
    pull.update(false, 0, 950);
    EXPECT_EQ(pull.level(), 0);
    // Held: active as long as the dot stays; let go, two seconds more at most.
    pull.update(true, 0, 1000);
    pull.update(true, 0, 5000);
    EXPECT_EQ(pull.level(), 1);
    pull.update(false, 0, 5100);
    pull.update(false, 0, 7099);
    EXPECT_EQ(pull.level(), 1);
    pull.update(false, 0, 7100);
    EXPECT_EQ(pull.level(), 0);
    // Held on after the dot changed: done, until the next pull.
    pull.update(true, 0, 8000);
    pull.update(true, 1, 8200);
    pull.update(true, 1, 9000);
    EXPECT_EQ(pull.level(), 0);
}

TEST(PanelState, ASettingFollowsTheAircraftUnlessAPressIsPending) {
    FollowedSetting option;
    option.aircraftShows(3, 0);  // changed in the virtual cockpit
    EXPECT_EQ(option.value(), 3);
    option.request(2, 100);
    option.aircraftShows(3, 200);  // not yet taken
    EXPECT_EQ(option.value(), 2);
    option.aircraftShows(2, 300);
    option.aircraftShows(4, 400);
    EXPECT_EQ(option.value(), 4);
    // A request the aircraft never takes is given up after two seconds.
    option.request(1, 1000);
    option.aircraftShows(4, 2999);
    EXPECT_EQ(option.value(), 1);
    option.aircraftShows(4, 3000);
    EXPECT_EQ(option.value(), 4);
}

TEST(PanelState, ASelectorCountsOnceItStandsStill) {
    SteadyPosition selector;
    EXPECT_EQ(selector.update(2, 0), 0);
    EXPECT_EQ(selector.update(2, 19), 0);
    EXPECT_EQ(selector.update(2, 20), 2);
    // Turned on: the wiper between the taps, then a moment on the next, then on to the one
    // after, which stands.
    EXPECT_EQ(selector.update(noPosition, 30), 2);
    EXPECT_EQ(selector.update(noPosition, 60), 2);
    EXPECT_EQ(selector.update(3, 61), 2);
    EXPECT_EQ(selector.update(4, 70), 2);
    EXPECT_EQ(selector.update(4, 90), 4);
}

}  // namespace
