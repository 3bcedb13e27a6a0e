// The connection settings' Windows backend: SimConnect.cfg in the current folder through
// the private-profile functions, and text values of the current user's registry.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "connection_settings.h"
#include "connection_settings_os.h"
#include "own_folder.h"

namespace {

// A registry key of the test's own, removed at the end.
struct OwnKey {
    ~OwnKey() { RegDeleteTreeA(HKEY_CURRENT_USER, path.c_str()); }
    void text(const char* name, const std::string& value) const {
        RegSetKeyValueA(HKEY_CURRENT_USER, path.c_str(), name, REG_SZ, value.c_str(),
                        static_cast<DWORD>(value.size() + 1));
    }
    const std::string path = "SOFTWARE\\Orvendale\\" + wintest::ownName("settings");
};

}  // namespace

TEST(WindowsSettings, RegistryTextMustFitTwentyBytesWithItsTerminator) {
    OwnKey key;
    key.text("port", "500");
    key.text("nineteen", std::string(19, '9'));
    key.text("twenty", std::string(20, '2'));
    EXPECT_EQ(settings_os::ReadUserRegistryText(key.path, "port", 20), "500");
    EXPECT_EQ(settings_os::ReadUserRegistryText(key.path, "nineteen", 20), std::string(19, '9'));
    EXPECT_EQ(settings_os::ReadUserRegistryText(key.path, "twenty", 20), "");
    EXPECT_EQ(settings_os::ReadUserRegistryText(key.path, "missing", 20), "");
    EXPECT_EQ(settings_os::ReadUserRegistryText(key.path + "\\none", "port", 20), "");
}

TEST(WindowsSettings, CurrentFolderConfigurationIsReadWithTheProfileFunctions) {
    wintest::OwnFolder folder(
        "[SimConnect]\r\nProtocol = ipv6\r\nAddress=::1\r\nPort=600\r\nMaxReceiveSize=100000\r\n"
        "DisableNagle=1\r\n[SimConnect.7]\r\n[SimConnect.8]\r\nPort=700\r\n");
    const ConnectionSettings settings = LoadConnectionSettings(0);
    EXPECT_EQ(settings.protocol, kFamilyIPv6);
    EXPECT_EQ(settings.address, "::1");
    EXPECT_EQ(settings.port, "600");
    EXPECT_EQ(settings.maxReceiveSize, 100000u);
    EXPECT_TRUE(settings.disableNagle);
    // A section without entries counts as missing.
    EXPECT_FALSE(ConfigSectionExists(7));
    EXPECT_TRUE(ConfigSectionExists(8));
    EXPECT_EQ(LoadConnectionSettings(kDefaultsOnlyIndex).port, "");
}
