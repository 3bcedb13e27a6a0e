#include "tools/sim-standin/options.h"

#include <charconv>
#include <cmath>
#include <functional>
#include <map>

namespace standin {
namespace {

// Times beyond this would not fit the clock; nobody waits 30 years for a scenario.
constexpr double kMaxSeconds = 1e9;

std::optional<std::uint64_t> parseUnsigned(const std::string& text, std::uint64_t max) {
    std::uint64_t value = 0;
    const auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (failure != std::errc() || end != text.data() + text.size() || value > max)
        return std::nullopt;
    return value;
}

std::optional<double> parseSeconds(const std::string& text) {
    double value = 0;
    const auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (failure != std::errc() || end != text.data() + text.size()) return std::nullopt;
    if (!std::isfinite(value) || value < 0 || value > kMaxSeconds) return std::nullopt;
    return value;
}

// "11.0.282174.999"
std::optional<VersionQuad> parseVersion(const std::string& text) {
    std::uint32_t parts[4] = {};
    std::size_t start = 0;
    for (int i = 0; i < 4; ++i) {
        const std::size_t dot = i < 3 ? text.find('.', start) : text.size();
        if (dot == std::string::npos) return std::nullopt;
        const auto part = parseUnsigned(text.substr(start, dot - start), UINT32_MAX);
        if (!part) return std::nullopt;
        parts[i] = static_cast<std::uint32_t>(*part);
        start = dot + 1;
    }
    return VersionQuad{parts[0], parts[1], parts[2], parts[3]};
}

using Setter = std::function<std::string(Options&, const std::string&)>;

std::string setTcpPort(Options& o, const std::string& v) {
    const auto port = parseUnsigned(v, 65535);
    if (!port) return "--tcp-port needs a port number from 0 to 65535";
    o.tcpPort = static_cast<std::uint16_t>(*port);
    return "";
}

std::string setSeconds(std::optional<double>& target, const std::string& name,
                       const std::string& v) {
    target = parseSeconds(v);
    return target ? "" : name + " needs a number of seconds";
}

std::string setVersion(VersionQuad& target, const std::string& name, const std::string& v) {
    const auto version = parseVersion(v);
    if (!version) return name + " needs four numbers: MAJOR.MINOR.BUILDMAJOR.BUILDMINOR";
    target = *version;
    return "";
}

std::string setFlightStart(Options& o, const std::string& v) {
    if (v == "now") {
        o.flightStart = Options::FlightStart::Now;
    } else if (v == "script") {
        o.flightStart = Options::FlightStart::Script;
    } else if (const auto seconds = parseSeconds(v)) {
        o.flightStart = Options::FlightStart::At;
        o.flightStartAt = *seconds;
    } else {
        return "--flight-start needs now, script or a number of seconds";
    }
    return "";
}

const std::map<std::string, Setter>& valueOptions() {
    static const std::map<std::string, Setter> options{
        {"--pipe-name",
         [](Options& o, const std::string& v) {
             o.pipePath = "\\\\.\\pipe\\" + v;
             return v.empty() ? std::string("--pipe-name needs a name") : std::string();
         }},
        {"--tcp-port", setTcpPort},
        {"--app-name",
         [](Options& o, const std::string& v) {
             o.openAnswer.applicationName = v;
             return std::string();
         }},
        {"--app-version",
         [](Options& o, const std::string& v) {
             return setVersion(o.openAnswer.application, "--app-version", v);
         }},
        {"--simconnect-version",
         [](Options& o, const std::string& v) {
             return setVersion(o.openAnswer.simConnect, "--simconnect-version", v);
         }},
        {"--open-reserved",
         [](Options& o, const std::string& v) {
             const auto value = parseUnsigned(v, UINT32_MAX);
             o.openAnswer.reserved1 = static_cast<std::uint32_t>(value.value_or(0));
             return value ? std::string() : std::string("--open-reserved needs a 32-bit number");
         }},
        {"--reject-name",
         [](Options& o, const std::string& v) {
             o.rejectNames.push_back(v);
             return std::string();
         }},
        {"--quit-after",
         [](Options& o, const std::string& v) {
             return setSeconds(o.quitAfter, "--quit-after", v);
         }},
        {"--break-after",
         [](Options& o, const std::string& v) {
             return setSeconds(o.breakAfter, "--break-after", v);
         }},
        {"--stop-reading-after",
         [](Options& o, const std::string& v) {
             return setSeconds(o.stopReadingAfter, "--stop-reading-after", v);
         }},
        {"--script",
         [](Options& o, const std::string& v) {
             o.scriptFile = v;
             return std::string();
         }},
        {"--log",
         [](Options& o, const std::string& v) {
             o.logFile = v;
             return std::string();
         }},
        {"--flight-start", setFlightStart},
    };
    return options;
}

const std::map<std::string, std::function<void(Options&)>>& flagOptions() {
    static const std::map<std::string, std::function<void(Options&)>> options{
        {"--no-pipe", [](Options& o) { o.pipePath.reset(); }},
        {"--no-tcp", [](Options& o) { o.tcp = false; }},
        {"--no-open-answer", [](Options& o) { o.noOpenAnswer = true; }},
        {"--break-mid-message", [](Options& o) { o.breakMidMessage = true; }},
        {"--help", [](Options& o) { o.help = true; }},
        {"-h", [](Options& o) { o.help = true; }},
    };
    return options;
}

}  // namespace

ParsedOptions parseOptions(const std::vector<std::string>& args) {
    ParsedOptions parsed;
    for (std::size_t i = 0; i < args.size() && parsed.error.empty(); ++i) {
        std::string name = args[i];
        std::optional<std::string> value;
        if (const auto equals = name.find('=');
            name.starts_with("--") && equals != std::string::npos) {
            value = name.substr(equals + 1);
            name.resize(equals);
        }
        if (const auto flag = flagOptions().find(name); flag != flagOptions().end() && !value) {
            flag->second(parsed.options);
            continue;
        }
        const auto option = valueOptions().find(name);
        if (option == valueOptions().end()) {
            parsed.error = "unknown option " + args[i];
        } else if (!value && i + 1 >= args.size()) {
            parsed.error = name + " needs a value";
        } else {
            parsed.error = option->second(parsed.options, value ? *value : args[++i]);
        }
    }
    const Options& o = parsed.options;
    if (parsed.error.empty() && !o.pipePath && !o.tcp)
        parsed.error = "--no-pipe and --no-tcp leave nothing to listen on";
    if (parsed.error.empty() && o.flightStart == Options::FlightStart::Script &&
        o.scriptFile.empty()) {
        parsed.error = "--flight-start script needs --script";
    }
    return parsed;
}

}  // namespace standin
