// loadRackConfig on real pseudo-terminals: what it keeps in RackConfig, which ports stay
// open, and which documents it refuses.
#include "app/rack_config.h"

#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include "tests/unit/racks/rack_pty.h"

namespace {

// Whether a port is free: the service holds an exclusive lock on the ports it has open.
bool portFree(const racktest::RackPty& pty) {
    const int fd = ::open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    const bool free = fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0;
    if (fd >= 0) ::close(fd);
    return free;
}

class RackConfigLoad : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(chdir(dir.path().c_str()), 0);
        // The started threads see quit at once and end, so the test can join them.
        session.quit = 1;
        config.fileName = "rack_config.json";
        config.baudRate = 115200;
        config.session = &session;
        config.rackMutexPtr = &rackMutex;
        config.stateLockPtr = &stateLock;
    }
    void TearDown() override {
        for (std::thread& thread : config.threads) thread.join();
        ASSERT_EQ(chdir("/"), 0);
    }
    void load(const nlohmann::json& document) {
        dir.write("rack_config.json", document.dump());
        loadRackConfig(config);
    }

    testsupport::TempDir dir;
    RackMutex rackMutex;
    StateLock stateLock;
    SimSession session{&stateLock};
    RackConfig config;
};

TEST_F(RackConfigLoad, KeepsTheFirstHandlerOfEachRack) {
    racktest::RackPty first, second, efis;
    // Keys sort byte-wise: "/dev/pts/..." before "COM10" before "COM9".
    load({{"COM9", "radio_rack"},        {"COM10", {{"joystick_rack", 1}}},
          {first.slavePath(), "pedals_rack"}, {second.slavePath(), "pedals_rack"},
          {efis.slavePath(), "efis_rack"}});
    ASSERT_EQ(config.handlers.size(), 2u);
    EXPECT_EQ(config.threads.size(), 2u);
    EXPECT_EQ(config.handlers.at("pedals_rack")->getPortName(),
              "\\\\.\\" + std::min(first.slavePath(), second.slavePath()));
    EXPECT_EQ(config.handlers.at("efis_rack")->getPortName(), efis.portPath());
    ASSERT_EQ(config.portPaths.size(), 5u);
    EXPECT_EQ(config.portPaths[3], "\\\\.\\COM10");
    EXPECT_EQ(config.portPaths[4], "\\\\.\\COM9");
    // The duplicate gave its port back; the kept handlers hold theirs.
    const bool firstKept = first.slavePath() < second.slavePath();
    EXPECT_EQ(portFree(first), !firstKept);
    EXPECT_EQ(portFree(second), firstKept);
    EXPECT_FALSE(portFree(efis));
}

TEST_F(RackConfigLoad, WalksNullAndEmptyArraysAsNoMembers) {
    for (const char* document : {"null", "[]", "{}"}) {
        dir.write("rack_config.json", document);
        EXPECT_NO_THROW(loadRackConfig(config)) << document;
    }
    EXPECT_TRUE(config.handlers.empty());
    EXPECT_TRUE(config.portPaths.empty());
    for (const char* document : {"[\"efis_rack\"]", "\"efis_rack\"", "true"}) {
        dir.write("rack_config.json", document);
        EXPECT_THROW(loadRackConfig(config), nlohmann::json::invalid_iterator) << document;
    }
    for (const char* document : {"", "{\"COM3\": \"efis_rack\",}", "// comment\n{}"}) {
        dir.write("rack_config.json", document);
        EXPECT_THROW(loadRackConfig(config), nlohmann::json::parse_error) << document;
    }
    EXPECT_TRUE(config.handlers.empty());
}

}  // namespace
