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
#include <system_error>
#include <thread>
#include <vector>

#include "app/locks.h"
#include "app/message_signal.h"
#include "app/sim_call.h"
#include "app/sim_session.h"
#include "console/console.h"
#include "rack_config.h"
#include "simconnect/SimConnect.h"
#include "simconnect/connection_watch.h"

namespace {

using namespace std::chrono_literals;

constexpr auto kConnectRetry = 3000ms;
// The main thread sleeps until the library says a message arrived; this bound only keeps
// it dispatching should a notification ever be missed.
constexpr auto kDispatchWaitLimit = 100ms;
constexpr int kExitConfiguration = 1;
constexpr int kExitConnectionLost = 3;

// Six lines that show how this build lays out and prints numbers. The stream's fill stays
// '0' afterwards, which is harmless: nothing later sets a field width.
void printDiagnostics() {
    const std::int16_t probe = -1000;
    unsigned char bytes[sizeof probe];
    std::memcpy(bytes, &probe, sizeof probe);
    for (unsigned char byte : bytes)
        std::cout << std::hex << std::setw(2) << std::setfill('0') << static_cast<int>(byte) << ' ';
    std::cout << std::dec << '\n';
    std::cout << probe << '\n';
    std::cout << 15.1f << 32768 << '\n';
    std::cout << true << '\n';
    std::cout << 0 << '\n';
    std::cout << 4 << '\n';
}

void printBanner() {
    consolePrintf("\n******************\n\nOrvendale Projects FS v0.27 \n\n******************\n");
}

void connect(SimSession& session, const MessageSignal& arrived) {
    for (;;) {
        const HRESULT result = SimConnect_Open(&session.hSimConnect, "OrvendaleFlightRacks",
                                               nullptr, 0, arrived.eventHandle(), 0);
        session.coon = result >= 0;
        if (session.coon) return;
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
    session.quit = 1;
    joinRackThreads(config.threads);
    return kExitConfiguration;
}

}  // namespace

int main() {
    // The console is the service's only log; each line must be seen as it is written,
    // whole, also when it goes to a pipe or a file.
    consoleSetUp();
    printDiagnostics();
    printBanner();

    RackMutex rackMutex;
    StateLock stateLock;
    // Made before the session, which closes its connection (if still open) before this goes.
    MessageSignal arrived;
    SimSession session(&stateLock);
    connect(session, arrived);
    consolePrintf("\nConnected to Flight Simulator! :)\n");
    setUpSession(session);

    // Every configured rack's handler is constructed and its thread started here.
    RackConfig rackConfig;
    rackConfig.fileName = "rack_config.json";
    rackConfig.baudRate = 115200;
    rackConfig.session = &session;
    rackConfig.rackMutexPtr = &rackMutex;
    rackConfig.stateLockPtr = &stateLock;
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

    consolePrintf("\nLaunch a flight.\n");
    const bool quit = dispatchUntilQuit(session, arrived);
    if (!quit) {
        consolePrintf("\n[ERR] Lost the connection to Flight Simulator at %s, status 0x%08X\n",
                      DescribeEndpoint(session.hSimConnect).c_str(),
                      static_cast<unsigned>(session.lastResult.load()));
        session.quit = 1;
    }

    // Closing under rackMutex keeps any rack thread's simulator call off a closed
    // connection; the threads see quit and end on their own.
    closeSimConnection(session, rackMutex);
    joinRackThreads(rackConfig.threads);
    return quit ? 0 : kExitConnectionLost;
}
