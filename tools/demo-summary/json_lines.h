// Reading a JSON-lines log, as sim-standin and rack-emulator write them.
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace demosummary {

// Members keep the order in which the log wrote them, so that values are shown in the
// order of their data definition.
using Json = nlohmann::ordered_json;

// Every line that holds a JSON object, in file order; a line that does not parse (such as
// one cut short by a process that was killed) is skipped. Empty when the file cannot be
// read.
std::optional<std::vector<Json>> readJsonLines(const std::string& path);

}  // namespace demosummary
