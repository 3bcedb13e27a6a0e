// orvendale-fs: joins the cockpit's serial racks to the flight simulator. It connects
// (retrying every 3 s), declares everything to the simulator, starts the rack threads,
// pumps the simulator's messages until the simulator quits or the connection is lost, and
// shuts down in order. Exit codes: 0 the simulator quit, 1 the rack configuration or the
// rack threads, 3 the connection was lost (a supervisor starts the service again).
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <iomanip>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <system_error>
#include <thread>
#include <vector>

#include "app/locks.h"
#include "app/message_signal.h"
#include "app/sim_call.h"
#include "app/sim_session.h"
#include "command_line.h"
#include "config_check.h"
#include "console/console.h"
#include "console_window.h"
#include "monitor/monitor_server.h"
#include "monitor/monitor_state.h"
#include "port_list.h"
#include "service/rack_config.h"
#include "rack_status.h"
#include "simconnect/SimConnect.h"
#include "simconnect/connection_watch.h"
#include "supervisor.h"

namespace {

using namespace std::chrono_literals;

constexpr auto kConnectRetry = 3000ms;
// The main thread sleeps until the library says a message arrived; this bound only keeps
// it dispatching should a notification ever be missed.
constexpr auto kDispatchWaitLimit = 100ms;
constexpr int kExitConfiguration = 1;
constexpr int kExitCommandLine = 2;
constexpr int kExitConnectionLost = 3;
// Every rack's line runs at this rate.
constexpr std::int32_t kBaudRate = 115200;

// Six lines that show how this build lays out and prints numbers, formatted by a stream as
// the standard output stream would format them, and printed through the console so that
// they are lines like any other (with their priority in the journal).
void printDiagnostics() {
    std::ostringstream text;
    const std::int16_t probe = -1000;
    unsigned char bytes[sizeof probe];
    std::memcpy(bytes, &probe, sizeof probe);
    for (unsigned char byte : bytes)
        text << std::hex << std::setw(2) << std::setfill('0') << static_cast<int>(byte) << ' ';
    text << std::dec << '\n';
    text << probe << '\n';
    text << 15.1f << 32768 << '\n';
    text << true << '\n';
    text << 0 << '\n';
    text << 4 << '\n';
    consoleWrite(text.str());
}

void printBanner() {
    consolePrintf("\n******************\n\nOrvendale Projects FS v0.27 \n\n******************\n");
}

// Where the connect loop looks, for a person reading the service manager's status.
std::string waitingStatus() {
    std::string text = "Waiting for the simulator at ";
    const ConnectionPlan plan = DescribeConnectionPlan(0);
    for (std::size_t i = 0; i < plan.endpoints.size(); ++i)
        text += (i > 0 ? ", then " : "") + DescribePlannedEndpoint(plan.endpoints[i]);
    return text;
}

std::map<std::string, std::string> servedRacks(const RackConfig& config) {
    std::map<std::string, std::string> racks;
    for (const auto& [name, handler] : config.handlers) racks[name] = handler->getPortName();
    return racks;
}

// The monitor page, once the racks are served: it shows their probes and the session's
// values, which are all in place by then. A port that cannot be had is told and the
// cockpit served without the page.
std::unique_ptr<monitor::MonitorServer> startMonitor(const std::optional<monitor::MonitorAddress>& address,
                                                     const SimSession& session,
                                                     const RackConfig& config,
                                                     std::optional<monitor::MonitorState>& state) {
    if (!address) return nullptr;
    std::vector<const SerialCOMHandlerBase*> racks;
    for (const auto& [name, handler] : config.handlers) racks.push_back(handler);
    state.emplace(session, std::move(racks));
    try {
        auto server = std::make_unique<monitor::MonitorServer>(
            *address, [&state] { return state->snapshot(); });
        consolePrintf("\n[OK] Monitor page at %s\n", server->url().c_str());
        return server;
    } catch (const std::exception& error) {
        consolePrintf("\n[ERR] No monitor page: %s\n", error.what());
        return nullptr;
    }
}

void connect(SimSession& session, const MessageSignal& arrived) {
    supervisor::status(waitingStatus());
    for (;;) {
        const HRESULT result = SimConnect_Open(&session.hSimConnect, "OrvendaleFlightRacks",
                                               nullptr, 0, arrived.eventHandle(), 0);
        session.coon = result >= 0;
        if (session.coon) return session.link.connected(DescribeEndpoint(session.hSimConnect));
        consolePrintf("\n[ERR] NOT Connected to Flight Simulator! :(\nRetry in 3 secs...\n");
        std::this_thread::sleep_for(kConnectRetry);
    }
}

void setUpSession(SimSession& session) {
    session.registerCockpitVars();
    session.registerDataDefinitions();
    session.registerClientEvents();
    session.registerClientDataAreas();
}

// Dispatches until the simulator quits; false when the connection broke without its quit
// message first. A quit delivered by the same call as the failure is a quit. Between
// calls the thread sleeps until a message (or the failure) is signalled, so a message is
// dispatched as soon as it is there and a quiet simulator costs no wake-ups.
bool dispatchUntilQuit(SimSession& session, MessageSignal& arrived) {
    while (session.quit == 0) {
        session.lastResult =
            SimConnect_CallDispatch(session.hSimConnect, dispatchToSimSession, &session);
        if (session.quit == 0 && FAILED(session.lastResult)) return false;
        if (session.quit == 0) arrived.wait(kDispatchWaitLimit);
    }
    return true;
}

// Joins in start order. A thread that cannot be joined ends the process: shutdown must not
// go on while a rack may still use the session.
void joinRackThreads(std::vector<std::thread>& threads) {
    for (std::thread& thread : threads) thread.join();
}

// A rack configuration that cannot be used, or a rack thread that cannot be started, ends
// the program in order: the connection is closed, the reason printed, and any rack thread
// already started is told to stop and joined.
template <typename... Args>
int endWithError(SimSession& session, RackMutex& rackMutex, RackConfig& config, const char* format,
                 Args... args) {
    closeSimConnection(session, rackMutex);
    consolePrintf(format, args...);
    supervisor::stopping("Stopped: the rack configuration or the rack threads could not be used");
    session.quit = 1;
    joinRackThreads(config.threads);
    return kExitConfiguration;
}

// The service itself: what the program does when started without options.
int serve(const ServiceOptions& options) {
    // The console is the service's only log; each line must be seen as it is written,
    // whole, also when it goes to a pipe or a file.
    consoleSetUp();
    printDiagnostics();
    printBanner();

    RackMutex rackMutex;
    StateLock stateLock;
    // Made before the session, which closes its connection (if still open) before this goes.
    MessageSignal arrived;
    SimSession session(&stateLock, &rackMutex);
    connect(session, arrived);
    consolePrintf("\nConnected to Flight Simulator! :)\n");
    setUpSession(session);

    // Every configured rack's handler is constructed and its thread started here.
    RackConfig rackConfig;
    rackConfig.fileName = "rack_config.json";
    rackConfig.baudRate = kBaudRate;
    rackConfig.session = &session;
    rackConfig.rackMutexPtr = &rackMutex;
    rackConfig.stateLockPtr = &stateLock;
    RackStatusLine status;
    rackConfig.healthReport = [&status](const std::string& rack, const std::string& problem) {
        status.report(rack, problem);
    };
    try {
        loadRackConfig(rackConfig);
    } catch (const std::system_error& error) {
        // Only starting a thread raises a system error here; the file is not to blame.
        return endWithError(session, rackMutex, rackConfig,
                            "\n[ERR] Cannot start rack threads: %s\n", error.what());
    } catch (const std::exception& error) {
        return endWithError(session, rackMutex, rackConfig, "\n[ERR] Cannot load %s: %s\n",
                            rackConfig.fileName.c_str(), error.what());
    }

    std::optional<monitor::MonitorState> monitorState;
    const auto monitorServer = startMonitor(options.monitor, session, rackConfig, monitorState);
    consolePrintf("\nLaunch a flight.\n");
    status.ready(servedRacks(rackConfig));
    const bool quit = dispatchUntilQuit(session, arrived);
    if (quit) {
        supervisor::stopping("The simulator quit; stopping");
    } else {
        consolePrintf("\n[ERR] Lost the connection to Flight Simulator at %s, status 0x%08X\n",
                      DescribeEndpoint(session.hSimConnect).c_str(),
                      static_cast<unsigned>(session.lastResult.load()));
        supervisor::stopping("The connection to the simulator was lost; stopping");
        session.quit = 1;
    }

    // Closing under rackMutex keeps any rack thread's simulator call off a closed
    // connection; the threads see quit and end on their own.
    closeSimConnection(session, rackMutex);
    joinRackThreads(rackConfig.threads);
    return quit ? 0 : kExitConnectionLost;
}

int listPorts() {
    const std::vector<SerialDevice> devices = listSerialDevices();
    if (devices.empty()) consolePrintf("No serial devices found.\n");
    for (const SerialDevice& device : devices)
        consolePrintf("%s%s%s\n", device.name.c_str(), device.detail.empty() ? "" : "  ->  ",
                    device.detail.c_str());
    return 0;
}

// Starting in the folder asked for is the first thing done, so that every file the
// service reads or creates is found where the operator keeps them.
bool enterConfigDir(const ServiceOptions& options) {
    if (!options.configDir) return true;
    std::error_code error;
    std::filesystem::current_path(*options.configDir, error);
    if (!error) return true;
    std::fprintf(stderr, "orvendale-fs: cannot work in %s: %s\n", options.configDir->c_str(),
                 error.message().c_str());
    return false;
}

int run(const ServiceOptions& options) {
    if (!enterConfigDir(options)) return kExitCommandLine;
    switch (options.mode) {
        case ServiceOptions::Mode::listPorts:
            return listPorts();
        case ServiceOptions::Mode::check:
            return checkConfiguration(std::cout, kBaudRate);
        case ServiceOptions::Mode::serve:
            break;
    }
    return serve(options);
}

}  // namespace

int main(int argc, char** argv) {
    ServiceOptions options;
    if (const auto code = readCommandLine(argc, argv, options)) return *code;
    const int code = run(options);
    if (code != 0) holdWindowIfAlone();
    return code;
}
