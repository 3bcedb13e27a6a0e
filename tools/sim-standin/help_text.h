// The --help text: the options, the aircraft model (simulation variables, events, cockpit
// variables and uplink commands, generated from the model's own tables), the script format
// and the log format.
#pragma once

#include <string>

namespace standin {

std::string helpText();

}  // namespace standin
