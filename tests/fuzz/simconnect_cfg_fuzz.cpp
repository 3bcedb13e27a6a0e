// SimConnect.cfg in the user's Documents folder and the simulator's registry values, through the
// settings of a configuration index, the check for its section, and the endpoint plan with
// each attempt's port and pipe path.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>

#include "connection_settings.h"
#include "testing/process.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The home folder holds both files.
    static const testsupport::TempDir* const folder = [] {
        auto* made = new testsupport::TempDir;
        if (setenv("HOME", made->path().c_str(), 1) != 0) std::abort();
        return made;
    }();
    FuzzedDataProvider input(data, size);
    const auto index = input.ConsumeIntegralInRange<std::uint32_t>(0, 2);
    folder->write(".config/orvendale/registry.ini", input.ConsumeRandomLengthString(512));
    folder->write("Documents/SimConnect.cfg", input.ConsumeRemainingBytesAsString());
    ConfigSectionExists(index);
    const ConnectionSettings settings = LoadConnectionSettings(index);
    const std::vector<EndpointAttempt> plan = BuildEndpointPlan(settings);
    if (plan.empty() || plan.size() > 4 || settings.maxReceiveSize < kDefaultMaxReceiveSize) std::abort();
    for (const EndpointAttempt& attempt : plan) {
        const std::string port = AttemptPort(attempt);
        if (attempt.transport == TransportType::Pipe) BuildPipePath(attempt.address, port);
    }
    return 0;
}
