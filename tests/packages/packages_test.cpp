// The packages in dist/ (scripts/package), unpacked and used as a user would. The Windows
// zip's files and imports are checked here; its service runs under Wine in
// tests/windows. The Debian packages' service runs from their own /etc/orvendale, edited
// as the README says, against the stand-in over TCP with a virtual rack: the amd64 one
// natively, the arm64 one under qemu-user, and both must make the same requests. Their
// file names carry their Version and Architecture fields, and lintian holds every file
// in /etc to be a conffile and every program to have its manual page. Also: the unit's
// exposure and system calls, the dependencies the programs really have, and an install,
// remove and purge on a copy of this machine.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "base/little_endian.h"
#include "testing/rack_log.h"
#include "testing/standin_log.h"

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
                         "orvendale-fs.exe", "sim-standin.exe", "README.html", "LICENSE",
                         "THIRD-PARTY-NOTICES.txt", "examples/rack_config.json",
                         "examples/syntax_config.txt", "examples/SimConnect.cfg",
                         "examples/exe.xml", "firmware/joystick.hex", "firmware/pedals.hex",
                         "firmware/efis.hex", "firmware/fcu.hex"}));
    EXPECT_EQ(folder.read("firmware/fcu.hex").rfind(":", 0), 0u) << "an Intel HEX image";
    const std::string notices = folder.read("THIRD-PARTY-NOTICES.txt");
    for (const char* notice : {"Niels Lohmann", "University of Cincinnati", "mingw-w64 project",
                               "GCC RUNTIME LIBRARY EXCEPTION"})
        EXPECT_NE(notices.find(notice), std::string::npos) << notice;
    const std::string readme = folder.read("README.html");
    EXPECT_EQ(readme.rfind("<!DOCTYPE html>", 0), 0u);
    EXPECT_NE(readme.find("<h2 id=\"install\">"), std::string::npos)
        << "the README's links need its headings' ids";

    // The system's own libraries; mswsock.dll is the Windows Sockets extension the monitor's
    // network code uses, part of every Windows since NT 4.
    const std::set<std::string> everyWindows = {"advapi32.dll", "kernel32.dll", "msvcrt.dll",
                                                "mswsock.dll",  "shell32.dll",  "shlwapi.dll",
                                                "user32.dll",   "ws2_32.dll"};
    const std::regex dllName(R"(DLL Name: (\S+))");
    for (const char* program : {"orvendale-fs.exe", "sim-standin.exe"}) {
        const auto [dumped, dump] = run({"x86_64-w64-mingw32-objdump", "-p", folder.file(program)});
        ASSERT_EQ(dumped, 0) << dump;
        std::set<std::string> imports;
        for (std::sregex_iterator it(dump.begin(), dump.end(), dllName), end; it != end; ++it) {
            std::string name = (*it)[1];
            std::transform(name.begin(), name.end(), name.begin(),
                           [](unsigned char c) { return std::tolower(c); });
            imports.insert(name);
            EXPECT_TRUE(everyWindows.count(name)) << program << " imports " << name;
        }
        EXPECT_TRUE(imports.count("kernel32.dll")) << dump;
    }
}

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

// The unit names the installed program, which verify wants to find: here it is the
// unpacked one. Its manual page is not installed here; the install test finds it.
TEST(DebianPackages, UnitPassesSystemdVerify) {
    if (run({"sh", "-c", "command -v systemd-analyze"}).first != 0)
        GTEST_SKIP() << "no systemd here";
    testsupport::TempDir root;
    ASSERT_NO_FATAL_FAILURE(unpackDeb(debPackage("amd64"), root));
    std::string unit = root.read("lib/systemd/system/orvendale-fs.service");
    const std::string options = " $ORVENDALE_FS_OPTIONS";
    ASSERT_NO_FATAL_FAILURE(editLine(unit, "ExecStart=/usr/bin/orvendale-fs" + options,
                                     "ExecStart=" + root.file("usr/bin/orvendale-fs") + options));
    testsupport::TempDir units;
    units.write("orvendale-fs.service", unit);
    EXPECT_EQ(run({"systemd-analyze", "verify", "--man=no", units.file("orvendale-fs.service")}),
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

// The package's unit, hardened, stays at an exposure of 3.0 or less while it still opens
// the serial ports (DeviceAllow) and reaches the simulator.
TEST(DebianPackages, UnitExposureIsLow) {
    if (run({"sh", "-c", "command -v systemd-analyze"}).first != 0)
        GTEST_SKIP() << "no systemd-analyze here";
    testsupport::TempDir root;
    ASSERT_NO_FATAL_FAILURE(unpackDeb(debPackage("amd64"), root));
    const std::string unit = root.file("lib/systemd/system/orvendale-fs.service");
    const auto [code, out] = run({"systemd-analyze", "security", "--offline=yes", "--threshold=30", unit});
    EXPECT_EQ(code, 0) << out;
    std::smatch level;
    ASSERT_TRUE(std::regex_search(out, level, std::regex(R"(exposure level for \S+: (\d+\.\d))"))) << out;
    std::cout << "unit exposure: " << level[1] << "\n";
    EXPECT_LE(std::stod(level[1]), 3.0) << out;
    for (const char* device : {"char-ttyUSB", "char-ttyACM", "char-ttyAMA", "char-ttyS"})
        EXPECT_NE(root.read("lib/systemd/system/orvendale-fs.service").find(std::string("DeviceAllow=") + device + " rw"),
                  std::string::npos) << device;
}

// Every call of a systemd system-call group, its nested groups opened up.
std::set<std::string> systemCallGroup(const std::string& group) {
    const auto [code, out] = run({"systemd-analyze", "syscall-filter", group});
    std::set<std::string> calls;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("    ", 0) != 0) continue;
        const std::string name = line.substr(4);
        if (name.empty() || name[0] == '#') continue;
        if (name[0] == '@') {
            const auto nested = systemCallGroup(name);
            calls.insert(nested.begin(), nested.end());
        } else {
            calls.insert(name);
        }
    }
    return calls;
}

// What the unit's SystemCallFilter= lines let through: the allow list, less the "~" lists.
std::set<std::string> allowedSystemCalls(const std::string& unit) {
    std::set<std::string> allowed, denied;
    std::istringstream lines(unit);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("SystemCallFilter=", 0) != 0) continue;
        std::string list = line.substr(std::string("SystemCallFilter=").size());
        std::set<std::string>& into = list[0] == '~' ? denied : allowed;
        std::istringstream names(list[0] == '~' ? list.substr(1) : list);
        for (std::string name; names >> name;) {
            const auto calls = name[0] == '@' ? systemCallGroup(name) : std::set<std::string>{name};
            into.insert(calls.begin(), calls.end());
        }
    }
    for (const std::string& call : denied) allowed.erase(call);
    return allowed;
}

// The unit's filter answers a call it does not allow with EPERM: the service would not
// crash, it would fail where it least should. So the service serves a rack under strace
// and every call it made must be on the list.
TEST(DebianPackages, ServiceMakesOnlySystemCallsItsUnitAllows) {
    if (run({"sh", "-c", "command -v systemd-analyze && command -v strace"}).first != 0)
        GTEST_SKIP() << "needs systemd-analyze and strace";
    testsupport::TempDir root, traces;
    ASSERT_NO_FATAL_FAILURE(unpackDeb(debPackage("amd64"), root));
    const std::set<std::string> allowed =
        allowedSystemCalls(root.read("lib/systemd/system/orvendale-fs.service"));
    ASSERT_GT(allowed.size(), 100u);
    std::vector<Json> requests;
    ASSERT_NO_FATAL_FAILURE(
        servePedals(root, {"strace", "-f", "-qq", "-o", traces.file("calls")}, requests));
    std::istringstream trace(traces.read("calls"));
    const std::regex call(R"(^\d+\s+(?:<\.\.\. )?([a-z0-9_]+)[( ])");
    std::set<std::string> made;
    for (std::string line; std::getline(trace, line);) {
        std::smatch name;
        if (std::regex_search(line, name, call)) made.insert(name[1]);
    }
    ASSERT_GT(made.size(), 10u);
    for (const std::string& name : made) EXPECT_TRUE(allowed.count(name)) << name << " is filtered out";
}

// A program's needs from its shared libraries: each library's name with the newest
// symbol version it asks for of each kind (GLIBC_2.34, GLIBCXX_3.4.29, ...).
using Needs = std::map<std::string, std::vector<int>>;
std::vector<int> versionNumbers(const std::string& text) {
    std::vector<int> numbers;
    std::istringstream parts(text);
    for (std::string part; std::getline(parts, part, '.');) numbers.push_back(std::stoi(part));
    return numbers;
}
Needs programNeeds(const std::string& program, std::set<std::string>& libraries) {
    const auto [code, out] = run({"readelf", "-W", "-V", "-d", program});
    EXPECT_EQ(code, 0) << out;
    Needs needs;
    const std::regex library(R"(\(NEEDED\)\s+Shared library: \[(\S+)\])");
    for (std::sregex_iterator it(out.begin(), out.end(), library), end; it != end; ++it)
        libraries.insert((*it)[1]);
    const std::regex version(R"(Name: ([A-Z]+)_(\d+(?:\.\d+)*))");
    for (std::sregex_iterator it(out.begin(), out.end(), version), end; it != end; ++it) {
        std::vector<int>& newest = needs[(*it)[1]];
        newest = std::max(newest, versionNumbers((*it)[2]));
    }
    return needs;
}

// The Depends field is written by hand from what dpkg-shlibdeps finds for the amd64
// programs; it must stay so, and the arm64 programs, from the same compiler and C
// library, must need no library and no symbol version that the amd64 ones do not.
TEST(DebianPackages, DependsCoverWhatTheProgramsNeed) {
    const std::string amd64Deb = debPackage("amd64"), arm64Deb = debPackage("arm64");
    testsupport::TempDir amd64, arm64, shlibs;
    ASSERT_NO_FATAL_FAILURE(unpackDeb(amd64Deb, amd64));
    ASSERT_NO_FATAL_FAILURE(unpackDeb(arm64Deb, arm64));
    const std::vector<std::string> programs = {"orvendale-fs", "sim-standin", "rack-emulator", "demo-summary"};

    shlibs.write("debian/control", "Source: orvendale-fs\n\nPackage: orvendale-fs\nArchitecture: any\n");
    std::string command = "cd " + shlibs.path() + " && dpkg-shlibdeps -O";
    for (const std::string& program : programs) command.append(" ").append(amd64.file("usr/bin/" + program));
    const auto [code, found] = run({"sh", "-c", command + " 2>/dev/null"});
    ASSERT_EQ(code, 0) << found;
    const std::string prefix = "shlibs:Depends=";
    ASSERT_EQ(found.rfind(prefix, 0), 0u) << found;
    const std::string computed = found.substr(prefix.size(), found.find('\n') - prefix.size());
    for (const std::string& deb : {amd64Deb, arm64Deb}) {
        const auto [read, depends] = run({"dpkg-deb", "-f", deb, "Depends"});
        EXPECT_EQ(depends, "adduser, " + computed + "\n") << deb;
    }

    std::set<std::string> amd64Libraries, arm64Libraries;
    Needs amd64Needs;
    for (const std::string& program : programs)
        for (const auto& [kind, version] : programNeeds(amd64.file("usr/bin/" + program), amd64Libraries))
            amd64Needs[kind] = std::max(amd64Needs[kind], version);
    for (const std::string& program : programs) {
        for (const auto& [kind, version] : programNeeds(arm64.file("usr/bin/" + program), arm64Libraries)) {
            ASSERT_TRUE(amd64Needs.count(kind)) << program << " needs " << kind;
            EXPECT_LE(version, amd64Needs.at(kind)) << program << " needs a newer " << kind;
        }
    }
    arm64Libraries.erase("ld-linux-aarch64.so.1");
    for (const std::string& library : arm64Libraries)
        EXPECT_TRUE(amd64Libraries.count(library)) << "arm64 programs need " << library;
}

// On a copy of this machine (an overlay over its root, in a mount namespace of the
// test's own), the package goes in as a user installs it, its unit is enabled, and it is
// removed, installed again and purged: no enabled unit is left behind either way, the
// configuration is kept on remove and gone on purge.
TEST(DebianPackages, RemoveAndPurgeLeaveNoEnabledUnit) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root for an overlay of the machine's root";
    testsupport::TempDir layers;
    for (const char* folder : {"upper", "work", "root"}) fs::create_directories(layers.file(folder));
    const std::string deb = debPackage("amd64");
    ASSERT_FALSE(deb.empty());
    const std::string steps =
        "set -e; W=/etc/systemd/system/multi-user.target.wants/orvendale-fs.service; "
        "dpkg -i " + deb + " >/dev/null; id -nG orvendale | grep -qw dialout; "
        "test -f /usr/share/man/man1/orvendale-fs.1.gz; "
        "systemctl enable orvendale-fs >/dev/null 2>&1; test -L $W; "
        "dpkg -r orvendale-fs >/dev/null; test ! -L $W; test -f /etc/orvendale/rack_config.json; "
        "dpkg -i " + deb + " >/dev/null; systemctl enable orvendale-fs >/dev/null 2>&1; test -L $W; "
        "dpkg -P orvendale-fs >/dev/null; test ! -L $W; test ! -e /etc/orvendale/rack_config.json; "
        "echo every-step-passed";
    const std::string root = layers.file("root");
    const std::string script =
        "set -e; mount -t overlay overlay -o lowerdir=/,upperdir=" + layers.file("upper") +
        ",workdir=" + layers.file("work") + " " + root + "; mount -t proc proc " + root +
        "/proc; mount --bind /dev " + root + "/dev; exec chroot " + root + " sh -c '" + steps + "'";
    const auto [code, out] = run({"unshare", "--mount", "--propagation", "private", "sh", "-c", script});
    EXPECT_EQ(code, 0) << out;
    EXPECT_NE(out.find("every-step-passed"), std::string::npos) << out;
}

TEST(DebianPackages, Arm64ServiceUnderQemuMakesTheNativeServicesRequests) {
    testsupport::TempDir amd64, arm64;
    ASSERT_NO_FATAL_FAILURE(unpackDeb(debPackage("amd64"), amd64));
    ASSERT_NO_FATAL_FAILURE(unpackDeb(debPackage("arm64"), arm64));
    // An ELF file's machine: 183 is AArch64.
    const std::string elf = arm64.read("usr/bin/orvendale-fs");
    ASSERT_GT(elf.size(), 20u);
    EXPECT_EQ(LoadU16(reinterpret_cast<const unsigned char*>(&elf[18])), 183);

    std::vector<Json> native, emulated;
    ASSERT_NO_FATAL_FAILURE(servePedals(amd64, {}, native));
    ASSERT_NO_FATAL_FAILURE(
        servePedals(arm64, {"qemu-aarch64", "-L", "/usr/aarch64-linux-gnu"}, emulated));
    EXPECT_GT(native.size(), 10u);
    EXPECT_EQ(Json(emulated).dump(1), Json(native).dump(1));
}

}  // namespace
