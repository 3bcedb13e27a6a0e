// A flight compressed into a ten-second pattern that repeats for as long as a benchmark
// runs: every rack's axes, knobs and switches at work (rack-emulator's script), and the
// companion module publishing a changed cockpit variable every 100 ms (sim-standin's
// script). Each pattern leaves the aircraft where it found it, so hours of it stay within
// every variable's range.
#pragma once

#include <cstdio>
#include <string>

namespace bench {

constexpr double kFlightPattern = 10.0;  // seconds

// rack-emulator script lines for `seconds` of flight.
inline std::string rackFlight(double seconds) {
    // Offsets within the pattern, then the action; lines of one offset reach one frame.
    static const char* const kPattern[] = {
        "0.5 turn efis baro 2",
        "1.0 hold efis fd 0.3",
        "1.5 set efis nd_range 2",
        "2.0 move joystick aileron_position 15.5",
        "2.5 move joystick elevator_position -12.0",
        "3.0 move pedals rudder_position 900",
        "3.0 set pedals brake_position 8000",
        "3.5 turn fcu spd 3",
        "4.0 turn fcu hdg -4",
        "4.5 turn fcu alt 2",
        "5.0 turn fcu vs 1",
        "5.5 hold fcu ap1 0.3",
        "6.0 hold fcu spd_on 0.6",
        "6.5 hold joystick spoiler_handle_plus_position 0.3",
        "7.0 hold fcu exped 0.3",
        "7.5 hold fcu vs_push 0.3",
        "8.0 move joystick aileron_position 0.0",
        "8.0 move joystick elevator_position 0.0",
        "8.0 move pedals rudder_position 0",
        "8.0 set pedals brake_position 0",
        "8.5 turn efis baro -2",
        "8.5 turn fcu spd -3",
        "8.5 turn fcu hdg 4",
        "9.0 hold fcu ap1 0.3",
        "9.0 hold efis fd 0.3",
        "9.0 set efis nd_range 1",
        "9.5 hold joystick spoiler_handle_minus_position 0.3",
        "9.5 turn fcu alt -2",
        "9.5 turn fcu vs -1",
    };
    std::string script;
    char line[128];
    for (double start = 0; start < seconds; start += kFlightPattern) {
        for (const char* entry : kPattern) {
            double offset = 0;
            int used = 0;
            std::sscanf(entry, "%lf %n", &offset, &used);
            std::snprintf(line, sizeof line, "%.1f %s\n", start + offset, entry + used);
            script += line;
        }
    }
    return script;
}

// sim-standin script lines for `seconds`: the selected vertical speed stepped every
// 100 ms, up and down between -2000 and 2000 ft/min, so that every step changes the
// downlink block.
inline std::string companionChanges(double seconds) {
    std::string script;
    char line[128];
    for (long step = 1; step * 0.1 < seconds; ++step) {
        const long phase = step % 80;
        const long value = (phase < 40 ? phase : 80 - phase) * 100 - 2000;
        std::snprintf(line, sizeof line, "{\"at\": %.1f, \"set\": \"A32NX_AUTOPILOT_VS_SELECTED\", \"value\": %ld}\n",
                      static_cast<double>(step) * 0.1, value);
        script += line;
    }
    return script;
}

}  // namespace bench
