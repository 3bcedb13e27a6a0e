#include "simconnect/connection_plan.h"

#include "connection_settings.h"

ConnectionPlan DescribeConnectionPlan(std::uint32_t configIndex) {
    ConnectionPlan plan;
    for (const std::string& file : ConfigFileCandidates())
        plan.configFiles.push_back({file, ConfigSectionExistsIn(file, configIndex)});
    for (const EndpointAttempt& attempt : BuildEndpointPlan(LoadConnectionSettings(configIndex))) {
        PlannedEndpoint endpoint;
        if (attempt.transport == 1) {
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

std::string DescribeEndpoint(const PlannedEndpoint& endpoint) {
    if (endpoint.kind == PlannedEndpoint::Kind::pipe) return "pipe " + endpoint.address;
    std::string text = (endpoint.kind == PlannedEndpoint::Kind::ipv6 ? "IPv6 " : "IPv4 ") +
                       endpoint.address + " port ";
    if (!endpoint.portFromRegistry) return text + (endpoint.port.empty() ? "(none)" : endpoint.port);
    return text + "(from the simulator's registry: " +
           (endpoint.port.empty() ? std::string("none yet") : endpoint.port) + ")";
}
