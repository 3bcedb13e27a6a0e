#include "service/rack_config.h"

#include <cstdio>
#include <fstream>
#include <functional>

#include "console/console.h"
#include "rack_names.h"
#include "racks/serial_com_handler_autopilot.h"
#include "racks/serial_com_handler_efis.h"
#include "racks/serial_com_handler_joystick.h"
#include "racks/serial_com_handler_pedals.h"
#include "serial/serial_port.h"

namespace {

// Every rack's messages use this delimiter set of "syntax_config.txt".
const std::string kDelimiterSet = "json";
const std::string kDevicePrefix = "\\\\.\\";

using HandlerFactory = std::function<std::unique_ptr<SerialCOMHandlerBase>(
    const RackConfig&, const std::string& portPath, const std::string& rackName)>;

template <typename Handler>
HandlerFactory factory() {
    return [](const RackConfig& config, const std::string& portPath, const std::string& rackName) {
        return std::make_unique<Handler>(config.openLine(portPath, config.baudRate, kDelimiterSet),
                                         portPath, rackName, config.session, config.rackMutexPtr,
                                         config.stateLockPtr);
    };
}

// Compared in this order; only a string equal to the name selects the class.
const std::pair<const std::string*, HandlerFactory> kRackClasses[] = {
    {&joystickRackName, factory<SerialCOMHandlerJoystick>()},
    {&pedalsRackName, factory<SerialCOMHandlerPedals>()},
    {&efisRackName, factory<SerialCOMHandlerEfis>()},
    {&autopilotRackName, factory<SerialCOMHandlerAutopilot>()},
};

// The key, " : " and the value as compact JSON, written whole so that any byte of the key
// reaches the console.
void printMember(const std::string& key, const nlohmann::json& value) {
    consoleWrite(key + " : " + value.dump() + "\n");
}

void addHandler(RackConfig& config, const std::string& portPath, const nlohmann::json& value) {
    for (const auto& [rackName, make] : kRackClasses) {
        if (value != *rackName) continue;
        std::unique_ptr<SerialCOMHandlerBase> handler = make(config, portPath, *rackName);
        if (config.handlers.emplace(*rackName, handler.get()).second) {
            handler->setHealthReport(config.healthReport);
            config.ownedHandlers.push_back(std::move(handler));
        }
        else
            // The name is taken: this handler never runs, so its port is given back now.
            handler->closePort();
        return;
    }
}

}  // namespace

std::unique_ptr<SerialLine> openSerialPort(const std::string& portPath, std::int32_t baudRate,
                                           const std::string& delimiterSetName) {
    return std::make_unique<SerialPort>(portPath.c_str(), baudRate, delimiterSetName);
}

void loadRackConfig(RackConfig& config) {
    std::ifstream file(config.fileName);
    config.document = nlohmann::json::parse(file);
    // The document keeps an object's members in byte-wise key order. Null and an empty
    // array have no members; any other value that is not an object fails at key().
    for (auto member = config.document.cbegin(); member != config.document.cend(); ++member) {
        const std::string& key = member.key();
        printMember(key, member.value());
        config.portPaths.push_back(kDevicePrefix + key);
        addHandler(config, config.portPaths.back(), member.value());
    }
    // Every port is open before the first rack thread starts.
    for (const auto& entry : config.handlers) config.threads.push_back(entry.second->start());
}
