#include "config_check.h"

#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <string>

#include "rack_names.h"
#include "serial/delimiters.h"
#include "serial/serial_port.h"
#include "simconnect/connection_watch.h"

namespace {

const char* const kRackConfigFile = "rack_config.json";
const std::string kDevicePrefix = "\\\\.\\";
const std::string kServedRacks[] = {joystickRackName, pedalsRackName, efisRackName, autopilotRackName};

// Counts what makes the configuration unusable as it stands.
struct Findings {
    int problems = 0;
    void problem() { ++problems; }
};

std::string quoted(char c) {
    return c == '\0' ? std::string("NUL") : std::string("'") + c + "'";
}

bool isServedRack(const nlohmann::json& value) {
    for (const std::string& name : kServedRacks)
        if (value == name) return true;
    return false;
}

// One member of rack_config.json: the rack it names and, for a rack the service serves,
// whether its port opens.
void checkMember(std::ostream& out, Findings& found, const std::string& port,
                 const nlohmann::json& value, std::map<std::string, std::string>& served,
                 std::int32_t baudRate) {
    out << "  " << port << ": ";
    if (!isServedRack(value)) {
        if (value == radioRackName) {
            out << value.dump() << " is known, and served by nothing\n";
            return;
        }
        found.problem();
        out << value.dump() << " is not a rack's name (joystick_rack, pedals_rack, efis_rack, autopilot_rack)\n";
        return;
    }
    const std::string rack = value.get<std::string>();
    const std::string path = kDevicePrefix + port;
    out << rack << ", port " << path;
    const std::string failure = probeSerialPort(path, baudRate);
    if (failure.empty()) {
        out << " opens";
    } else {
        found.problem();
        out << " does not open: " << failure;
    }
    const auto [first, isFirst] = served.emplace(rack, port);
    if (!isFirst) {
        found.problem();
        out << "; but " << rack << " is already on " << first->second << ", which alone is served";
    }
    out << "\n";
}

void checkRacks(std::ostream& out, Findings& found, std::int32_t baudRate) {
    std::ifstream file(kRackConfigFile);
    nlohmann::json document;
    try {
        document = nlohmann::json::parse(file);
        // The service takes an object's members; null and [] have none. Anything else fails
        // at the first member, as it does here.
        if (!document.is_object() && !document.is_null() && !(document.is_array() && document.empty()))
            (void)document.cbegin().key();
    } catch (const std::exception& error) {
        found.problem();
        out << kRackConfigFile << ": cannot be used: " << error.what() << "\n";
        return;
    }
    if (document.empty()) {
        out << kRackConfigFile << ": no racks (the service runs and serves none)\n";
        return;
    }
    out << kRackConfigFile << ": " << document.size() << (document.size() == 1 ? " member\n" : " members\n");
    std::map<std::string, std::string> served;
    for (auto member = document.cbegin(); member != document.cend(); ++member)
        checkMember(out, found, member.key(), member.value(), served, baudRate);
}

void checkDelimiters(std::ostream& out, Findings& found) {
    DelimiterSet set;
    out << kDelimiterFileName << ": ";
    switch (readDelimiterSet(kDelimiterFileName, "json", set)) {
        case DelimiterFile::setFound:
            out << "the json set, messages from " << quoted(set.start) << " to " << quoted(set.end) << "\n";
            return;
        case DelimiterFile::fileMissing:
            out << "missing: the service will write it with the defaults, messages from '{' to '}'\n";
            return;
        case DelimiterFile::unreadable:
            found.problem();
            out << "cannot be read\n";
            return;
        case DelimiterFile::setMissing:
            found.problem();
            out << "has no json set: the joystick's and pedals' messages would be cut at spaces\n";
            return;
    }
}

void checkSimulator(std::ostream& out, Findings& found) {
    const ConnectionPlan plan = DescribeConnectionPlan(0);
    out << "SimConnect.cfg, in the order the files apply:\n";
    bool anySection = false;
    for (const PlannedConfigFile& file : plan.configFiles) {
        std::error_code error;
        const bool exists = std::filesystem::exists(file.path, error);
        out << "  " << file.path << ": "
            << (file.hasSection ? "read" : exists ? "has no [SimConnect] section" : "none") << "\n";
        anySection = anySection || file.hasSection;
    }
    if (!anySection) out << "  (none names the simulator: it is looked for on this machine)\n";
    out << "The simulator, tried in this order:\n";
    int usable = 0;
    for (std::size_t i = 0; i < plan.endpoints.size(); ++i) {
        const PlannedEndpoint& endpoint = plan.endpoints[i];
        const bool tried = endpoint.kind == PlannedEndpoint::Kind::pipe || !endpoint.port.empty() ||
                           endpoint.portFromRegistry;
        usable += tried ? 1 : 0;
        out << "  " << i + 1 << ". " << DescribePlannedEndpoint(endpoint)
            << (tried ? "" : ": skipped") << "\n";
    }
    if (usable == 0) {
        found.problem();
        out << "  nothing can be tried: give the simulator's port in SimConnect.cfg\n";
    }
}

}  // namespace

int checkConfiguration(std::ostream& out, std::int32_t baudRate) {
    std::error_code error;
    out << "Checking the configuration in " << std::filesystem::current_path(error).string() << "\n\n";
    Findings found;
    checkRacks(out, found, baudRate);
    checkDelimiters(out, found);
    checkSimulator(out, found);
    if (found.problems == 0) {
        out << "\nEverything is usable.\n";
        return 0;
    }
    out << "\n" << found.problems << (found.problems == 1 ? " problem" : " problems")
        << ": the service would not serve everything as configured.\n";
    return 1;
}
