// The --help text around the options: what the stand-in is, and after the options its
// console, protocol, aircraft model (simulation variables, events, cockpit variables and
// uplink commands, generated from the model's own tables), script format and log format.
#pragma once

#include <string>

namespace standin {

constexpr const char* kHelpDescription =
    "Plays the flight simulator and its companion module for the cockpit rack service: it\n"
    "answers the SimConnect protocol on the simulator's pipe and on TCP, keeps a model of the\n"
    "aircraft that events, data writes and uplink commands change, and serves the two\n"
    "client-data areas of the companion module.\n";

std::string helpFooter();

}  // namespace standin
