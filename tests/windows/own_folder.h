// Helpers of the Windows test programs: names of their own, bounded waits, and a current
// folder of their own with a SimConnect.cfg in it.
#pragma once

#include <windows.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

namespace wintest {

// A name unique to this process: "orvendale-<what>-<pid>".
inline std::string ownName(const std::string& what) {
    return "orvendale-" + what + "-" + std::to_string(GetCurrentProcessId());
}

// Polls `done` every millisecond until it is true or `limit` has passed.
inline bool waitFor(const std::function<bool()>& done,
                    std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return done();
}

// A folder of the test's own as the current folder while it lives, with `config` as its
// SimConnect.cfg.
class OwnFolder {
public:
    explicit OwnFolder(const std::string& config) {
        std::filesystem::create_directory(folder_);
        std::ofstream(folder_ / "SimConnect.cfg", std::ios::binary) << config;
        std::filesystem::current_path(folder_);
    }
    ~OwnFolder() {
        std::error_code ignored;
        std::filesystem::current_path(previous_, ignored);
        std::filesystem::remove_all(folder_, ignored);
    }
    OwnFolder(const OwnFolder&) = delete;
    OwnFolder& operator=(const OwnFolder&) = delete;

private:
    std::filesystem::path previous_ = std::filesystem::current_path();
    std::filesystem::path folder_ = std::filesystem::temp_directory_path() / ownName("cfg");
};

}  // namespace wintest
