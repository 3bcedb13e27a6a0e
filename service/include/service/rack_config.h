// The rack configuration: "rack_config.json" names the rack on each serial port. Loading
// it constructs one handler per recognised rack and starts the handlers' threads.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "app/locks.h"
#include "app/sim_session.h"
#include "racks/serial_com_handler_base.h"
#include "serial/serial_line.h"

// Makes the line a rack is served on from its port path, the baud rate and the name of
// the delimiter set.
using LineOpener = std::function<std::unique_ptr<SerialLine>(
    const std::string& portPath, std::int32_t baudRate, const std::string& delimiterSetName)>;

// The service's lines: the serial port of the path, opened and configured.
std::unique_ptr<SerialLine> openSerialPort(const std::string& portPath, std::int32_t baudRate,
                                           const std::string& delimiterSetName);

struct RackConfig {
    // Owns the handlers in `handlers`; declared first so that they outlive the threads
    // that run them. A handler made for a rack name already taken is not kept.
    std::vector<std::unique_ptr<SerialCOMHandlerBase>> ownedHandlers;
    // Rack name to its handler, at most one per name.
    std::map<std::string, SerialCOMHandlerBase*> handlers;
    // The started handler threads, in start order; shutdown joins them in this order.
    std::vector<std::thread> threads;
    SimSession* session = nullptr;
    std::string fileName;
    nlohmann::json document;
    std::int32_t baudRate = 0;
    // "\\.\" followed by each member's key, in processing order.
    std::vector<std::string> portPaths;
    RackMutex* rackMutexPtr = nullptr;
    StateLock* stateLockPtr = nullptr;
    // How each configured port's line is made.
    LineOpener openLine = openSerialPort;
    // Told how each served rack is, from its start on (none when empty).
    RackHealthReport healthReport;
};

// Reads `fileName`, prints each member, constructs the handlers of the racks it names
// and then starts them in rack-name order. A file that is missing or not valid JSON, or a
// top level that is neither an object nor null nor an empty array, raises the JSON
// library's error before any handler is made.
void loadRackConfig(RackConfig& config);
