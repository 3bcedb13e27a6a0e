// The Windows service's tools for the operator, under Wine: --check on the racks' COM
// ports in the folder --config-dir names, --list-ports from the registry, and a program
// that ends with an error while its console is not a person's does not wait for Enter.
#include <gtest/gtest.h>

#include <algorithm>

#include "testing/rack_log.h"
#include "wine_programs.h"

namespace {

using namespace std::chrono_literals;
using testsupport::ChildProcess;
using namespace winetest;

constexpr auto kLimit = 60s;

// A Linux path as Wine's Windows programs name it.
std::string windowsPath(const std::string& path) {
    std::string text = "Z:" + path;
    std::replace(text.begin(), text.end(), '/', '\\');
    return text;
}

TEST(WindowsTools, CheckAndListPortsFromAnotherFolder) {
    if (kWindowsBin.empty()) GTEST_SKIP() << kWindowsBinVariable << " names no Windows build (scripts/test sets it)";
    testsupport::TempDir racks, work, elsewhere;
    ChildProcess emulator({{testsupport::binaryPath("rack-emulator"), "--joystick", "--pedals", "--efis",
                            "--fcu", "--log", racks.file("racks.jsonl")}});
    const auto devices = testsupport::RackLog(racks.file("racks.jsonl")).waitForDevices(15s);
    ASSERT_EQ(devices.size(), 4u) << emulator.output();
    ComLinks links(devices);
    work.write("rack_config.json",
               R"({"COM3": "joystick_rack", "COM4": "pedals_rack", "COM5": "efis_rack", "COM6": "autopilot_rack"})");
    work.write("syntax_config.txt", "json { }\n");

    ChildProcess check(wineOptions(windowsProgram("orvendale-fs"),
                                   {"--config-dir", windowsPath(work.path()), "--check"}, elsewhere.path()));
    ASSERT_EQ(check.waitExit(kLimit), 0) << lines(check);
    for (const char* rack : {"COM3: joystick_rack, port \\\\.\\COM3 opens", "COM4: pedals_rack, port \\\\.\\COM4 opens",
                             "COM5: efis_rack, port \\\\.\\COM5 opens", "COM6: autopilot_rack, port \\\\.\\COM6 opens",
                             "Everything is usable."})
        EXPECT_TRUE(contains(check, rack)) << rack << "\n" << lines(check);

    // The registry's list of serial ports, with one port of the test's own in it.
    const std::string key = "HKLM\\HARDWARE\\DEVICEMAP\\SERIALCOMM";
    ChildProcess add(wineOptions("reg", {"add", key, "/v", "\\Device\\OrvendaleTest", "/d", "COM29", "/f"},
                                 elsewhere.path()));
    ASSERT_EQ(add.waitExit(kLimit), 0) << lines(add);
    ChildProcess list(wineOptions(windowsProgram("orvendale-fs"), {"--list-ports"}, elsewhere.path()));
    EXPECT_EQ(list.waitExit(kLimit), 0) << lines(list);
    EXPECT_TRUE(contains(list, "COM29  ->  \\Device\\OrvendaleTest\n")) << lines(list);
    ChildProcess remove(wineOptions("reg", {"delete", key, "/v", "\\Device\\OrvendaleTest", "/f"}, elsewhere.path()));
    EXPECT_EQ(remove.waitExit(kLimit), 0) << lines(remove);

    // An error with no person at the console: the program ends, it does not wait.
    work.write("rack_config.json", R"({"COM3": "joystik_rack"})");
    ChildProcess bad(wineOptions(windowsProgram("orvendale-fs"), {"--check"}, work.path()));
    EXPECT_EQ(bad.waitExit(kLimit), 1) << lines(bad);
    EXPECT_FALSE(contains(bad, "Press Enter")) << lines(bad);
}

}  // namespace
