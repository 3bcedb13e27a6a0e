// rack_config.json through the configuration loader, with lines that are not devices:
// every rack's handler is made and started, and its thread ends at once, as after a quit.
#include <cstdlib>
#include <exception>

#include "service/rack_config.h"
#include "memory_line.h"
#include "testing/process.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const testsupport::TempDir* const folder = new testsupport::TempDir;
    static StateLock stateLock;
    static RackMutex rackMutex;
    static SimSession* const session = [] {
        auto* made = new SimSession(&stateLock, &rackMutex);
        made->quit = 1;
        return made;
    }();
    folder->write("rack_config.json", std::string(reinterpret_cast<const char*>(data), size));
    RackConfig config;
    config.fileName = folder->file("rack_config.json");
    config.baudRate = 115200;
    config.session = session;
    config.rackMutexPtr = &rackMutex;
    config.stateLockPtr = &stateLock;
    config.openLine = [](const std::string&, std::int32_t, const std::string&) {
        return std::make_unique<fuzz::MemoryLine>(std::vector<std::string>{});
    };
    try {
        loadRackConfig(config);
    } catch (const std::exception&) {
        // The service reports it and ends.
    }
    for (std::thread& thread : config.threads) thread.join();
    // One handler at most per rack, each started.
    if (config.handlers.size() > 4 || config.threads.size() != config.handlers.size()) std::abort();
    return 0;
}
