// The summary as the demo prints it: the simulator's side first, then one block per rack.
#pragma once

#include <string>

#include "demo-summary/cockpit_summary.h"

namespace demosummary {

std::string formatSummary(const Summary& summary);

}  // namespace demosummary
