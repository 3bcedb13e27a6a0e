// The monitor page over one whole run (stand-in, virtual racks, the service with
// --monitor on a free port), shared by the cases in the order written: the page as a real
// browser renders it, and the API as plain sockets see it, including clients that never
// read and requests the server must refuse.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <regex>

#include "testing/http_client.h"
#include "testing/rack_run.h"

namespace {

using namespace racktest;
using namespace monitortest;

// The aircraft's selected values, which the FCU's windows must show.
const char* const kStandinScript =
    "{\"at\": 0, \"set\": \"A32NX_AUTOPILOT_SPEED_SELECTED\", \"value\": 250}\n"
    "{\"at\": 0, \"set\": \"A32NX_AUTOPILOT_HEADING_SELECTED\", \"value\": 95}\n"
    "{\"at\": 0, \"set\": \"A320_FCU_SHOW_SELECTED_HEADING\", \"value\": 1}\n"
    "{\"at\": 0, \"set\": \"AUTOPILOT ALTITUDE LOCK VAR\", \"value\": 12000, \"unit\": \"feet\"}\n";

// An FCU frame (82 bytes) whose last byte is not '}'.
std::string badFcuFrame() {
    std::string hex = "7b";
    for (int i = 0; i < 80; ++i) hex += " 00";
    return hex + " 00";
}

// The rendered page as headless chromium dumps it after `ms` of the page's own time.
std::string renderedPage(const std::string& url, int ms) {
    testsupport::TempDir profile;
    testsupport::ChildProcess browser({{"chromium", "--headless", "--disable-gpu", "--no-sandbox",
                                        "--no-first-run", "--user-data-dir=" + profile.path(),
                                        "--virtual-time-budget=" + std::to_string(ms), "--dump-dom", url}});
    if (!browser.waitExit(std::chrono::milliseconds(ms) + 40s)) return {};
    return browser.output();
}

std::string textOf(const std::string& dom, const std::string& id) {
    std::smatch match;
    const std::regex pattern("id=\"" + id + "\">([^<]*)<");
    return std::regex_search(dom, match, pattern) ? match[1].str() : std::string("(no " + id + ")");
}

class MonitorRun : public testing::Test {
protected:
    static void SetUpTestSuite() {
        scriptDir = new testsupport::TempDir;
        scriptDir->write("flight.script", kStandinScript);
        shared = new RackRun({"efis", "fcu", "joystick", "pedals"},
                             {"--script", scriptDir->file("flight.script"), "--reject-name",
                              "AP_APR_HOLD"});
        shared->serviceArgs = {"--monitor", "127.0.0.1:0"};
        const Json config = {{shared->link("efis"), "efis_rack"},
                             {shared->link("fcu"), "autopilot_rack"},
                             {shared->link("joystick"), "joystick_rack"},
                             {shared->link("pedals"), "pedals_rack"}};
        started = shared->startService(config.dump(), {"efis", "fcu", "joystick", "pedals"}) &&
                  shared->service().waitForOutput("[OK] Monitor page at http://127.0.0.1:", 10s);
        std::smatch match;
        const std::string output = shared->output();
        if (std::regex_search(output, match, std::regex("Monitor page at http://127\\.0\\.0\\.1:(\\d+)/")))
            port = static_cast<std::uint16_t>(std::stoi(match[1].str()));
    }
    static void TearDownTestSuite() {
        delete shared;
        delete scriptDir;
    }
    void SetUp() override { ASSERT_TRUE(started && port != 0) << run.output(); }

    Json state() {
        const Json parsed = Json::parse(bodyOf(get(port, "/api/state")), nullptr, false);
        return parsed.is_discarded() ? Json::object() : parsed;
    }

    static inline testsupport::TempDir* scriptDir = nullptr;
    static inline RackRun* shared = nullptr;
    static inline bool started = false;
    static inline std::uint16_t port = 0;
    RackRun& run = *shared;
};

TEST_F(MonitorRun, BrowserShowsTheFcuWindowsAHeldSwitchAndARejectedFrame) {
    // The display has been written with the stand-in's values, the AP1 switch is held and
    // one frame went bad, all before the browser looks.
    ASSERT_TRUE(run.racks().waitForReceived(
        "fcu", [](const Json& f) { return f.value("spd", 0) == 250 && f.value("alt", 0) == 12000; }, 10s));
    ASSERT_TRUE(run.act("press fcu ap1"));
    ASSERT_TRUE(run.act("rawhex fcu " + badFcuFrame()));
    ASSERT_TRUE(testsupport::waitUntil(
        [&] {
            const Json fcu = state()["racks"]["autopilot_rack"];
            bool held = false;
            for (const Json& field : fcu.value("input", Json::array()))
                held = held || (field.value("name", "") == "ap1" && field.value("value", 0) == 1);
            return held && fcu["rejected"].value("wrong last byte", 0) >= 1;
        },
        10s));

    const std::string dom = renderedPage("http://127.0.0.1:" + std::to_string(port) + "/#still", 3000);
    EXPECT_EQ(textOf(dom, "fcu-spd"), "250") << dom.substr(0, 2000);
    EXPECT_EQ(textOf(dom, "fcu-hdg"), "095");
    EXPECT_EQ(textOf(dom, "fcu-alt"), "12000");
    EXPECT_NE(dom.find("class=\"lamp lit\" id=\"in-ap1\""), std::string::npos);
    EXPECT_NE(dom.find("class=\"lamp\" id=\"in-athr\""), std::string::npos);
    // The rejected frame in the FCU rack's section, under its reason.
    const auto fcu = dom.find("id=\"rack-autopilot_rack\"");
    ASSERT_NE(fcu, std::string::npos);
    std::smatch match;
    const std::string section = dom.substr(fcu, dom.find("</section>", fcu) - fcu);
    ASSERT_TRUE(std::regex_search(section, match,
                                  std::regex("data-reason=\"wrong last byte\"><td>wrong last byte</td><td class=\"n bad\">(\\d+)<")))
        << section;
    EXPECT_GE(std::stoi(match[1].str()), 1);
    ASSERT_TRUE(run.act("release fcu ap1"));
}

TEST_F(MonitorRun, StateNamesTheRequestAnExceptionAnswered) {
    const Json link = state()["link"];
    EXPECT_TRUE(link.value("connected", false));
    EXPECT_NE(link.value("endpoint", ""), "");
    EXPECT_GT(link.value("requestsOut", 0), 30);
    bool named = false;
    for (const Json& e : link.value("exceptions", Json::array()))
        named = named || (e.value("name", "") == "NAME_UNRECOGNIZED" &&
                          e.value("request", "") == "SimConnect_MapClientEventToSimEvent");
    EXPECT_TRUE(named) << link.dump();
}

TEST_F(MonitorRun, RefusesWhatIsNotAGetAndOversizeRequests) {
    EXPECT_EQ(statusLine(fetch(port, "POST /api/state HTTP/1.1\r\nHost: m\r\nContent-Length: 2\r\n\r\n{}")),
              "HTTP/1.1 405 Method Not Allowed");
    EXPECT_EQ(statusLine(fetch(port, "DELETE / HTTP/1.1\r\nHost: m\r\n\r\n")), "HTTP/1.1 405 Method Not Allowed");
    const std::string longHeader = "X-Filler: " + std::string(20000, 'a') + "\r\n";
    EXPECT_EQ(statusLine(fetch(port, "GET / HTTP/1.1\r\nHost: m\r\n" + longHeader + "\r\n")),
              "HTTP/1.1 431 Request Header Fields Too Large");
    EXPECT_EQ(statusLine(fetch(port, "GET / HTTP/1.1\r\nHost: m\r\nContent-Length: 100000\r\n\r\n")),
              "HTTP/1.1 413 Payload Too Large");
    // Nothing is served from disk, whatever the path.
    EXPECT_EQ(statusLine(get(port, "/../../etc/passwd")), "HTTP/1.1 404 Not Found");
    const std::string page = get(port, "/");
    EXPECT_EQ(statusLine(page), "HTTP/1.1 200 OK");
    EXPECT_NE(page.find("EventSource(\"/api/events\")"), std::string::npos);
}

TEST_F(MonitorRun, EightStreamsAtMostAndStalledOnesHoldUpNoRack) {
    // Eight streams that are never read once they started, with tiny receive buffers.
    std::vector<std::unique_ptr<Socket>> streams;
    for (int i = 0; i < 8; ++i) {
        streams.push_back(std::make_unique<Socket>(port, 1024));
        ASSERT_TRUE(streams.back()->send("GET /api/events HTTP/1.1\r\nHost: m\r\n\r\n"));
        ASSERT_NE(streams.back()->readUntil("data: {", 5s).find("text/event-stream"), std::string::npos);
    }
    EXPECT_EQ(statusLine(get(port, "/api/events")), "HTTP/1.1 503 Service Unavailable");
    // The racks still reach the simulator while the streams stall, and a snapshot is still
    // answered at once.
    const std::size_t from = run.sim().size();
    for (int i = 0; i < 5; ++i) {
        const std::size_t sent = run.racks().size();
        ASSERT_TRUE(run.act("turn fcu spd 1"));
        ASSERT_TRUE(run.racks().waitForSent("fcu", testsupport::memberIs("spd", 1), 5s, sent));
    }
    EXPECT_TRUE(run.waitForEvents("AP_SPD_VAR_INC", 5, from));
    const auto asked = std::chrono::steady_clock::now();
    EXPECT_EQ(statusLine(get(port, "/api/state")), "HTTP/1.1 200 OK");
    EXPECT_LT(std::chrono::steady_clock::now() - asked, 2s);
    // Once they are gone, a stream can be had again.
    streams.clear();
    EXPECT_TRUE(testsupport::waitUntil(
        [&] {
            Socket again(port);
            again.send("GET /api/events HTTP/1.1\r\nHost: m\r\n\r\n");
            return again.readUntil("data: {", 2s).find("200 OK") != std::string::npos;
        },
        15s, 200ms));
}

TEST_F(MonitorRun, StreamSendsOnlyWhatChanged) {
    Socket stream(port);
    ASSERT_TRUE(stream.send("GET /api/events HTTP/1.1\r\nHost: m\r\n\r\n"));
    const std::string first = stream.readUntil("\n\n", 5s);
    ASSERT_NE(first.find("data: {\"link\""), std::string::npos) << first;
    // A knob turned: a later event carries the FCU rack's change without what did not
    // move (the rack's port, the baro setting), and events come at most ten a second.
    const auto turned = std::chrono::steady_clock::now();
    ASSERT_TRUE(run.act("turn fcu hdg 2"));
    const std::string more = stream.readUntil("\"HEADING_BUG_INC\"", 5s);
    const auto elapsed = std::chrono::steady_clock::now() - turned;
    const auto at = more.find("\"HEADING_BUG_INC\"");
    ASSERT_NE(at, std::string::npos) << more.substr(0, 2000);
    const auto eventStart = more.rfind("data: ", at);
    const std::string event = more.substr(eventStart, more.find("\n\n", at) - eventStart);
    EXPECT_EQ(event.find("\"port\""), std::string::npos) << event;
    EXPECT_EQ(event.find("KOHLSMAN"), std::string::npos) << event;
    std::size_t events = 0;
    for (auto p = more.find("data: "); p != std::string::npos; p = more.find("data: ", p + 1)) ++events;
    const auto tenths = std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count() / 100;
    EXPECT_LE(static_cast<long long>(events), tenths + 2);
}

}  // namespace

namespace {

// Last: the message ends the joystick rack's thread, as a bad message does.
TEST_F(MonitorRun, AJsonErrorShowsWithItsTextAlsoWhenItsBytesAreNoText) {
    ASSERT_TRUE(run.act("rawhex joystick 7b 22 61 22 3a ff fe 7d"));
    Json joystick;
    EXPECT_TRUE(testsupport::waitUntil(
        [&] {
            joystick = state()["racks"]["joystick_rack"];
            return joystick["rejected"].value("JSON error", 0) == 1;
        },
        10s))
        << joystick.dump();
    EXPECT_NE(joystick.value("jsonError", "").find("parse error"), std::string::npos) << joystick.dump();
    // The page and the stream go on.
    EXPECT_EQ(statusLine(get(port, "/")), "HTTP/1.1 200 OK");
    Socket stream(port);
    ASSERT_TRUE(stream.send("GET /api/events HTTP/1.1\r\nHost: m\r\n\r\n"));
    EXPECT_NE(stream.readUntil("\n\n", 5s).find("data: {"), std::string::npos);
}

}  // namespace
