#include "demo-summary/json_lines.h"

#include <fstream>

namespace demosummary {

std::optional<std::vector<Json>> readJsonLines(const std::string& path) {
    std::ifstream file(path);
    if (!file) return std::nullopt;
    std::vector<Json> entries;
    std::string line;
    while (std::getline(file, line)) {
        Json entry = Json::parse(line, nullptr, false);
        if (entry.is_object()) entries.push_back(std::move(entry));
    }
    return entries;
}

}  // namespace demosummary
