#include "sim-standin/cli/options.h"

#include <CLI/CLI.hpp>
#include <charconv>
#include <cmath>

#include "sim-standin/cli/help_text.h"

namespace standin {
namespace {

// Times beyond this would not fit the clock; nobody waits 30 years for a scenario.
constexpr double kMaxSeconds = 1e9;

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
    const char* at = text.data();
    const char* const end = text.data() + text.size();
    for (int i = 0; i < 4; ++i) {
        if (i > 0 && (at == end || *at++ != '.')) return std::nullopt;
        const auto [next, failure] = std::from_chars(at, end, parts[i]);
        if (failure != std::errc()) return std::nullopt;
        at = next;
    }
    if (at != end) return std::nullopt;
    return VersionQuad{parts[0], parts[1], parts[2], parts[3]};
}

}  // namespace

// Read by CLI11 for --app-version and --simconnect-version.
std::istream& operator>>(std::istream& in, VersionQuad& version) {
    std::string text;
    in >> text;
    if (const auto parsed = parseVersion(text)) {
        version = *parsed;
    } else {
        in.setstate(std::ios::failbit);
    }
    return in;
}

namespace {

const CLI::Validator kSeconds(
    [](const std::string& text) {
        return parseSeconds(text) ? std::string() : "needs a number of seconds, not " + text;
    },
    "");

const CLI::Validator kFlightStart(
    [](const std::string& text) {
        return text == "now" || text == "script" || parseSeconds(text)
                   ? std::string()
                   : "needs now, script or a number of seconds, not " + text;
    },
    "");

const CLI::Validator kNotEmpty(
    [](const std::string& text) { return text.empty() ? "needs a name" : ""; }, "");

void setFlightStart(Options& o, const std::string& when) {
    if (when == "now") {
        o.flightStart = Options::FlightStart::Now;
    } else if (when == "script") {
        o.flightStart = Options::FlightStart::Script;
    } else {
        o.flightStart = Options::FlightStart::At;
        o.flightStartAt = *parseSeconds(when);
    }
}

void addEndpoints(CLI::App& app, Options& o) {
    app.option_defaults()->group("Endpoints");
    app.add_option_function<std::string>(
           "--pipe-name", [&o](const std::string& name) { o.pipePath = "\\\\.\\pipe\\" + name; },
           "listen on the pipe \\\\.\\pipe\\NAME (a SimConnect.cfg's Port)\n"
           "instead of \\\\.\\pipe\\Microsoft Flight Simulator\\SimConnect;\n"
           "on POSIX a pipe is the abstract Unix socket named by its path")
        ->type_name("NAME")
        ->check(kNotEmpty);
    app.add_flag_callback(
           "--no-pipe", [&o] { o.pipePath.reset(); }, "no pipe")
        ->excludes("--pipe-name");
    app.add_option("--tcp-port", o.tcpPort,
                   "TCP port on 127.0.0.1 and ::1 (default: ports the system\n"
                   "chooses); the ports are published as SimConnect_Port_IPv4\n"
                   "and SimConnect_Port_IPv6 under [SOFTWARE\\Microsoft\\Microsoft\n"
                   "Games\\KittyHawk] in $HOME/.config/orvendale/registry.ini and\n"
                   "removed at exit")
        ->type_name("N");
    app.add_option("--listen", o.listenAddress,
                   "TCP on ADDRESS alone instead of the loopback: an IPv4 or\n"
                   "IPv6 address of this machine (0.0.0.0 or :: for all), so a\n"
                   "client on another machine can connect, as to the simulator")
        ->type_name("ADDRESS")
        ->check(kNotEmpty);
    app.add_flag_callback(
           "--no-tcp", [&o] { o.tcp = false; }, "no TCP")
        ->excludes("--tcp-port")
        ->excludes("--listen")
        ->excludes("--no-pipe");
}

void addOpenAnswer(CLI::App& app, Options& o) {
    app.option_defaults()->group("The open answer");
    app.add_option("--app-name", o.openAnswer.applicationName,
                   "szApplicationName (default KittyHawk)")
        ->type_name("TEXT");
    app.add_option("--app-version", o.openAnswer.application,
                   "application version (default 11.0.282174.999)")
        ->type_name("A.B.C.D");
    app.add_option("--simconnect-version", o.openAnswer.simConnect,
                   "SimConnect version (default 11.0.62651.3)")
        ->type_name("A.B.C.D");
    app.add_option("--open-reserved", o.openAnswer.reserved1, "dwReserved1 (default 0)")
        ->type_name("N");
}

void addScenarios(CLI::App& app, Options& o) {
    app.option_defaults()->group("Scenarios");
    app.add_option("--quit-after", o.quitAfter, "send QUIT to every client, close, and exit")
        ->type_name("SECONDS")
        ->check(kSeconds);
    app.add_option("--break-after", o.breakAfter, "close every connection without QUIT, and exit")
        ->type_name("SECONDS")
        ->check(kSeconds);
    app.add_flag("--break-mid-message", o.breakMidMessage,
                 "a break (--break-after or the script's) cuts a message short:\n"
                 "each connection gets the first 16 of the 24 bytes of an\n"
                 "EXCEPTION (header and dwException 1) just before it closes");
    app.add_option("--stop-reading-after", o.stopReadingAfter,
                   "a simulator that hangs: from then on no connection is\n"
                   "read, so the clients' requests wait in the connections\n"
                   "unanswered; connections stay open, and the script, periodic\n"
                   "data and endings still run")
        ->type_name("SECONDS")
        ->check(kSeconds);
    app.add_flag("--no-open-answer", o.noOpenAnswer,
                 "a silent simulator: requests are read and logged, nothing\n"
                 "is answered; only a quit is still sent");
    app.add_option("--reject-name", o.rejectNames,
                   "answer every request naming NAME (event, system event,\n"
                   "variable, unit or client-data name) with NAME_UNRECOGNIZED;\n"
                   "may be given several times")
        ->type_name("NAME")
        ->allow_extra_args(false);
    app.add_option("--script", o.scriptFile, "timed actions (format below)")->type_name("FILE");
    app.add_option_function<std::string>(
           "--flight-start", [&o](const std::string& when) { setFlightStart(o, when); },
           "now (default), script (at the script's start_flight) or a\n"
           "number of seconds: when \"SimStart\" goes to its subscribers")
        ->type_name("WHEN")
        ->check(kFlightStart);
}

}  // namespace

std::optional<int> readCommandLine(int argc, const char* const* argv, Options& options) {
    CLI::App app(kHelpDescription, "sim-standin");
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.get_formatter()->column_width(27);
    app.footer(helpFooter);
    app.failure_message([](const CLI::App*, const CLI::Error& error) {
        return "sim-standin: " + std::string(error.what()) + "\nTry 'sim-standin --help'.\n";
    });
    addEndpoints(app, options);
    addOpenAnswer(app, options);
    addScenarios(app, options);
    app.option_defaults()->group("Other");
    app.add_option("--log", options.logFile, "the conversation as JSON lines (format below)")
        ->type_name("FILE");
    app.set_help_flag("-h,--help", "this text")->group("Other");
    try {
        app.parse(argc, argv);
        if (options.flightStart == Options::FlightStart::Script && options.scriptFile.empty())
            throw CLI::ValidationError("--flight-start", "script needs --script");
    } catch (const CLI::ParseError& error) {
        return app.exit(error) == 0 ? 0 : 2;
    }
    return std::nullopt;
}

}  // namespace standin
