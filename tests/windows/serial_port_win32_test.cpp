// The serial port's Windows backend under Wine or Windows: a missing COM device, with the
// system's reason, and a device that another program holds, which only a real Windows
// machine refuses.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "serial/serial_port.h"

namespace {

using Clock = std::chrono::steady_clock;

bool underWine() {
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

}  // namespace

TEST(WindowsSerialPort, MissingDeviceWarnsWithItsFullPathAndIdles) {
    testing::internal::CaptureStdout();
    SerialPort port("\\\\.\\COM97", 115200, "json");
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Warning: Handle was not attached. Reason: \\\\.\\COM97 not available\n");
    EXPECT_FALSE(port.isConnected());
    // The reason the rack handler prints after its line is the system's own text, ended
    // without the line end FormatMessage gives it.
    EXPECT_FALSE(port.openFailure().empty());
    EXPECT_EQ(port.openFailure().find("system error"), std::string::npos) << port.openFailure();
    EXPECT_EQ(port.openFailure().find('\n'), std::string::npos) << port.openFailure();
    unsigned char received = 0;
    std::uint32_t got = 7;
    const auto start = Clock::now();
    EXPECT_FALSE(port.readBytes(&received, 1, got));
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(990));
    EXPECT_EQ(got, 0u);
    port.close();
    port.close();
    EXPECT_FALSE(port.isConnected());
}

// Share mode 0 makes Windows refuse a second open of a COM port, silently for the service.
// Wine opens the device again, so there the case is left to a real Windows machine, on
// the port named by ORVENDALE_TEST_COM_PORT.
TEST(WindowsSerialPort, SecondOpenOfAHeldDeviceIsRefusedSilently) {
    if (underWine()) {
        GTEST_SKIP() << "Wine does not refuse a second open of a COM port; this case runs on a "
                        "real Windows machine (set ORVENDALE_TEST_COM_PORT, e.g. COM3)";
    }
    const char* name = std::getenv("ORVENDALE_TEST_COM_PORT");
    if (name == nullptr || *name == '\0') GTEST_SKIP() << "ORVENDALE_TEST_COM_PORT names no port";
    const std::string path = std::string("\\\\.\\") + name;
    SerialPort first(path.c_str(), 115200, "json");
    ASSERT_TRUE(first.isConnected()) << path << " cannot be opened at all";
    testing::internal::CaptureStdout();
    SerialPort second(path.c_str(), 115200, "json");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_FALSE(second.isConnected());
    EXPECT_FALSE(second.openFailure().empty());
}
