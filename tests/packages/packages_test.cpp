// The packages in dist/ (scripts/package), unpacked and used as a user would. The Windows
// zip's files and imports are checked here; its service runs under Wine in
// tests/windows. The Debian packages' service runs from their own /etc/orvendale, edited
// as the README says, against the stand-in over TCP with a virtual rack: the amd64 one
// natively, the arm64 one under qemu-user, and both must make the same requests. Their
// file names carry their Version and Architecture fields, and lintian holds every file
// in /etc to be a conffile.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <set>

#include "tests/support/rack_log.h"
#include "tests/support/standin_log.h"

namespace {

using namespace std::chrono_literals;
using testsupport::ChildProcess;
using testsupport::Json;
namespace fs = std::filesystem;

// scripts/test names the packages' folder after making them.
const char* const kDistVariable = "ORVENDALE_DIST_DIR";
const std::string kDist = std::getenv(kDistVariable) != nullptr ? std::getenv(kDistVariable) : "";

class DistFolder : public testing::Environment {
    void SetUp() override {
        if (kDist.empty()) GTEST_SKIP() << kDistVariable << " names no packages (scripts/test sets it)";
    }
};
testing::Environment* const kDistFolder = testing::AddGlobalTestEnvironment(new DistFolder);
const std::string kVersion = ORVENDALE_VERSION;

std::string package(const std::string& name) {
    const std::string path = kDist + "/" + name;
    return fs::exists(path) ? path : "";
}
std::string debPackage(const std::string& arch) {
    return package("orvendale-fs_" + kVersion + "_" + arch + ".deb");
}

// Runs a tool to its end (a minute at most); its exit code and output.
std::pair<int, std::string> run(const std::vector<std::string>& args) {
    ChildProcess tool({args});
    const int code = tool.waitExit(60s).value_or(-1);
    return {code, tool.output()};
}

// Replaces the line `from` of `text` with `to`, as a user editing the file would.
void editLine(std::string& text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find("\n" + from + "\n");
    ASSERT_NE(at, std::string::npos) << "no line " << from << " in:\n" << text;
    text.replace(at + 1, from.size(), to);
}

void unpackDeb(const std::string& deb, const testsupport::TempDir& root) {
    ASSERT_FALSE(deb.empty()) << "no Debian package in " << kDist << " (scripts/package)";
    const auto [code, out] = run({"dpkg-deb", "-x", deb, root.path()});
    ASSERT_EQ(code, 0) << out;
}

TEST(WindowsZip, HoldsTheServiceItsFilesAndOnlyDllsEveryWindowsHas) {
    const std::string zip = package("orvendale-fs-" + kVersion + "-win64.zip");
    ASSERT_FALSE(zip.empty()) << "no zip in " << kDist << " (scripts/package)";
    testsupport::TempDir folder;
    const auto [code, out] = run({"unzip", "-q", zip, "-d", folder.path()});
    ASSERT_EQ(code, 0) << out;

    std::set<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder.path()))
        if (entry.is_regular_file())
            files.insert(fs::relative(entry.path(), folder.path()).string());
    EXPECT_EQ(files, (std::set<std::string>{
                         "orvendale-fs.exe", "README.html", "LICENSE", "examples/rack_config.json",
                         "examples/syntax_config.txt", "examples/SimConnect.cfg", "firmware/joystick.hex",
                         "firmware/pedals.hex", "firmware/efis.hex", "firmware/fcu.hex"}));
    EXPECT_EQ(folder.read("firmware/fcu.hex").rfind(":", 0), 0u) << "an Intel HEX image";
    const std::string readme = folder.read("README.html");
    EXPECT_EQ(readme.rfind("<!DOCTYPE html>", 0), 0u);
    EXPECT_NE(readme.find("<h2 id=\"install\">"), std::string::npos)
        << "the README's links need its headings' ids";

    const auto [dumped, dump] =
        run({"x86_64-w64-mingw32-objdump", "-p", folder.file("orvendale-fs.exe")});
    ASSERT_EQ(dumped, 0) << dump;
    const std::set<std::string> everyWindows = {"advapi32.dll", "kernel32.dll", "msvcrt.dll",
                                                "shell32.dll",  "shlwapi.dll",  "user32.dll",
                                                "ws2_32.dll"};
    const std::regex dllName(R"(DLL Name: (\S+))");
    std::set<std::string> imports;
    for (std::sregex_iterator it(dump.begin(), dump.end(), dllName), end; it != end; ++it) {
        std::string name = (*it)[1];
        std::transform(name.begin(), name.end(), name.begin(),
                       [](unsigned char c) { return std::tolower(c); });
        imports.insert(name);
        EXPECT_TRUE(everyWindows.count(name)) << "imports " << name;
    }
    EXPECT_TRUE(imports.count("kernel32.dll")) << dump;
}

// The unit names the installed program, which verify wants to find: here it is the
// unpacked one.
// Both packages carry the racks' four images, the same bytes, for avrdude.
TEST(DebianPackages, CarryTheFirmwareImages) {
    testsupport::TempDir amd64, arm64;
    ASSERT_NO_FATAL_FAILURE(unpackDeb(debPackage("amd64"), amd64));
    ASSERT_NO_FATAL_FAILURE(unpackDeb(debPackage("arm64"), arm64));
    for (const char* image : {"joystick", "pedals", "efis", "fcu"}) {
        const std::string path = std::string("usr/share/orvendale-fs/firmware/") + image + ".hex";
        const std::string hex = amd64.read(path);
        EXPECT_EQ(hex.rfind(":", 0), 0u) << path << " is no Intel HEX image";
        EXPECT_EQ(arm64.read(path), hex) << path;
    }
}

TEST(DebianPackages, UnitPassesSystemdVerify) {
    if (run({"sh", "-c", "command -v systemd-analyze"}).first != 0)
        GTEST_SKIP() << "no systemd here";
    testsupport::TempDir root;
    ASSERT_NO_FATAL_FAILURE(unpackDeb(debPackage("amd64"), root));
    std::string unit = root.read("lib/systemd/system/orvendale-fs.service");
    ASSERT_NO_FATAL_FAILURE(editLine(unit, "ExecStart=/usr/bin/orvendale-fs",
                                     "ExecStart=" + root.file("usr/bin/orvendale-fs")));
    testsupport::TempDir units;
    units.write("orvendale-fs.service", unit);
    EXPECT_EQ(run({"systemd-analyze", "verify", units.file("orvendale-fs.service")}),
              std::make_pair(0, std::string()));
}

// The unpacked package's service, started through `launcher` (nothing, or qemu-user), in
// its /etc/orvendale with SimConnect.cfg and rack_config.json edited as the README says:
// the stand-in over TCP, and a virtual pedals rack whose brake reaches the simulator. The
// requests the stand-in received, each once, in the order first seen.
void servePedals(const testsupport::TempDir& root, const std::vector<std::string>& launcher,
                 std::vector<Json>& requests) {
    testsupport::TempDir standinHome, serviceHome, racks;
    testsupport::StandinRun standin = testsupport::startStandin(standinHome, {"--no-pipe"});
    ASSERT_TRUE(standin.ready) << standin.process->output();
    ChildProcess emulator({{testsupport::binaryPath("rack-emulator"), "--pedals", "--control",
                            racks.file("control"), "--log", racks.file("racks.jsonl")}});
    const auto devices = testsupport::RackLog(racks.file("racks.jsonl")).waitForDevices(10s);
    ASSERT_EQ(devices.count("pedals"), 1u) << emulator.output();

    std::string cfg = root.read("etc/orvendale/SimConnect.cfg");
    ASSERT_NO_FATAL_FAILURE(editLine(cfg, ";Protocol=IPv4", "Protocol=IPv4"));
    ASSERT_NO_FATAL_FAILURE(editLine(cfg, ";Address=192.168.1.20", "Address=127.0.0.1"));
    ASSERT_NO_FATAL_FAILURE(
        editLine(cfg, ";Port=500", "Port=" + std::to_string(standin.endpoints.ipv4)));
    root.write("etc/orvendale/SimConnect.cfg", cfg);
    root.write("etc/orvendale/rack_config.json",
               "{\"" + devices.at("pedals") + "\": \"pedals_rack\"}\n");

    std::vector<std::string> args = launcher;
    args.push_back(root.file("usr/bin/orvendale-fs"));
    ChildProcess service({args, root.file("etc/orvendale"), {{"HOME", serviceHome.path()}}});
    testsupport::StandinLog log(standin.logPath);
    const auto brake = [](int value) {
        return [value](const Json& f) {
            return f.value("event", "") == "AXIS_RIGHT_BRAKE_SET" && f.value("data", -1) == value;
        };
    };
    ASSERT_TRUE(log.waitForRequest("TransmitClientEvent", brake(0), 30s)) << service.output();
    ASSERT_TRUE(
        testsupport::sendRackActions(racks.file("control"), "set pedals brake_position 12.7"));
    EXPECT_TRUE(log.waitForRequest("TransmitClientEvent", brake(12), 15s)) << service.output();
    standin.process->signal(SIGINT);
    EXPECT_EQ(service.waitExit(15s), 0) << service.output();

    for (const Json& entry : log.select([](const Json& e) { return e.contains("request"); })) {
        Json request = {{"request", entry["request"]}, {"fields", entry["fields"]}};
        if (entry.contains("exception")) request["exception"] = entry["exception"];
        if (std::find(requests.begin(), requests.end(), request) == requests.end())
            requests.push_back(request);
    }
}

TEST(DebianPackages, Arm64ServiceUnderQemuMakesTheNativeServicesRequests) {
    testsupport::TempDir amd64, arm64;
    ASSERT_NO_FATAL_FAILURE(unpackDeb(debPackage("amd64"), amd64));
    ASSERT_NO_FATAL_FAILURE(unpackDeb(debPackage("arm64"), arm64));
    // An ELF file's machine: 183 is AArch64.
    const std::string elf = arm64.read("usr/bin/orvendale-fs");
    ASSERT_GT(elf.size(), 20u);
    EXPECT_EQ(static_cast<unsigned char>(elf[18]) | static_cast<unsigned char>(elf[19]) << 8, 183);

    std::vector<Json> native, emulated;
    ASSERT_NO_FATAL_FAILURE(servePedals(amd64, {}, native));
    ASSERT_NO_FATAL_FAILURE(
        servePedals(arm64, {"qemu-aarch64", "-L", "/usr/aarch64-linux-gnu"}, emulated));
    EXPECT_GT(native.size(), 10u);
    EXPECT_EQ(Json(emulated).dump(1), Json(native).dump(1));
}

}  // namespace
