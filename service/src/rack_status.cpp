#include "rack_status.h"

#include "supervisor.h"

void RackStatusLine::report(const std::string& rack, const std::string& problem) {
    std::lock_guard<std::mutex> hold(lock_);
    const auto known = problems_.find(rack);
    const std::string was = known != problems_.end() ? known->second : std::string();
    if (problem == was) return;
    if (problem.empty())
        problems_.erase(rack);
    else
        problems_[rack] = problem;
    if (ready_) supervisor::status(text());
}

void RackStatusLine::ready(const std::map<std::string, std::string>& racks) {
    std::lock_guard<std::mutex> hold(lock_);
    racks_ = racks;
    ready_ = true;
    supervisor::ready(text());
}

// "Serving 2 racks: efis_rack on \\.\ttyACM0, pedals_rack on \\.\ttyUSB1; pedals_rack:
// board gone from \\.\ttyUSB1"
std::string RackStatusLine::text() const {
    std::string line = "Serving " + std::to_string(racks_.size()) + (racks_.size() == 1 ? " rack" : " racks");
    const char* separator = ": ";
    for (const auto& [rack, port] : racks_) {
        line += separator + rack + " on " + port;
        separator = ", ";
    }
    for (const auto& [rack, problem] : problems_) line += "; " + rack + ": " + problem;
    return line;
}
