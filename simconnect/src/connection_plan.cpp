#include "connection_settings.h"
#include "simconnect/connection_watch.h"

ConnectionPlan DescribeConnectionPlan(std::uint32_t configIndex) {
    ConnectionPlan plan;
    for (const std::string& file : ConfigFileCandidates())
        plan.configFiles.push_back({file, ConfigSectionExistsIn(file, configIndex)});
    for (const EndpointAttempt& attempt : BuildEndpointPlan(LoadConnectionSettings(configIndex))) {
        PlannedEndpoint endpoint;
        if (attempt.transport == TransportType::Pipe) {
            endpoint.address = BuildPipePath(attempt.address, attempt.port);
        } else {
            endpoint.kind = attempt.family == kFamilyIPv6 ? PlannedEndpoint::Kind::ipv6
                                                          : PlannedEndpoint::Kind::ipv4;
            endpoint.address = attempt.address;
            endpoint.port = AttemptPort(attempt);
            endpoint.portFromRegistry = attempt.portFromRegistry;
        }
        plan.endpoints.push_back(endpoint);
    }
    return plan;
}

// Named as the transport names the endpoint it reached: the pipe's path, or "TCP
// host:port" with an IPv6 host in brackets and an empty one as this machine.
std::string DescribePlannedEndpoint(const PlannedEndpoint& endpoint) {
    if (endpoint.kind == PlannedEndpoint::Kind::pipe) return endpoint.address;
    const std::string host = endpoint.address.empty() ? "localhost" : endpoint.address;
    const std::string text =
        "TCP " + (host.find(':') != std::string::npos ? "[" + host + "]" : host) + ":";
    if (endpoint.portFromRegistry)
        return text + "(the port the simulator registered: " +
               (endpoint.port.empty() ? std::string("none yet") : endpoint.port) + ")";
    return text + (endpoint.port.empty() ? std::string("(no port)") : endpoint.port);
}
